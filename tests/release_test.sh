#!/usr/bin/env bash
# The release tooling against the faults it must catch, one step at a time, in
# build folders of their own under BUILD_FOLDER/release-test:
# - make: addresses that configuring refuses, then a release, unsigned, with
#   Make: exactly its eight files, which sha256sum -c accepts;
# - check: that release with one fault at a time, each of which the target
#   release-check must name;
# - signing: a release signed with a throw-away certificate, with Ninja, made
#   twice to the same bytes; then signing that fails (no password, a stand-in
#   osslsigncode that fails, certificates expired or not for code signing)
#   with Ninja and with Make, which must leave no unsigned file behind.
# Status 77 reports the step as skipped.
# Usage: release_test.sh STEP SOURCE_FOLDER BUILD_FOLDER VERSION CMAKE
set -u
step=$1 source=$2 build=$3 version=$4 cmake=$5
fail() {
    echo "FAIL: $*"
    exit 1
}
missing=""
for tool in i686-w64-mingw32-g++:g++-mingw-w64-i686 wixl:wixl msiextract:msitools \
    dpkg-shlibdeps:dpkg-dev file:file osslsigncode:osslsigncode openssl:openssl \
    faketime:faketime ninja:ninja-build; do
    command -v "${tool%:*}" >/dev/null || missing+=" ${tool#*:}"
done
/usr/bin/python3 -c 'import jsonschema, rfc3987, yaml' 2>/dev/null ||
    missing+=" python3-jsonschema python3-rfc3987 python3-yaml"
if [ -n "$missing" ]; then
    [ "${CI:-}" = true ] && fail "CI must run every step, but packages are missing:$missing"
    echo "SKIP: packages are missing:$missing" && exit 77
fi
# A release is unsigned unless a step signs it, whatever the shell that runs the tests holds.
unset RUVO_SIGNING_PFX RUVO_SIGNING_PASSWORD RUVO_SIGNING_CERT
work=$build/release-test
unsigned=$work/unsigned signed=$work/signed log=$work/$step.log
url="https://downloads.example/ruvo/v$version/"
settings=("-DRUVO_DOWNLOAD_URL=$url" -DRUVO_HOMEPAGE=https://ruvo.example/
    -DRUVO_LICENSE_URL=https://ruvo.example/LICENSE -DBUILD_TESTING=OFF)
# Runs a command that must fail and say WHY (a fixed string, wrapped lines joined).
refused() {
    why=$1 && shift
    "$@" >"$log" 2>&1 && fail "$* passed, where it should say \"$why\""
    [[ $(tr -s ' \n' '  ' <"$log") == *"$why"* ]] || fail "$* did not say \"$why\": $(cat "$log")"
}
# The files of a release folder, one name a line.
files() { ls "$1" | sed "s/$version/V/; s/_[a-z0-9]*\.deb$/_A.deb/"; }
eight=$'SHA256SUMS\nruvo-V-win32.msi\nruvo-V-win32.zip\nruvo.json\nruvo.ruvo.installer.yaml
ruvo.ruvo.locale.en-US.yaml\nruvo.ruvo.yaml\nruvo_V_A.deb'

case $step in
make)
    rm -rf "$unsigned" "$work/refused" && mkdir -p "$work"
    # Each refused where it is configured, naming itself, before anything is built.
    while IFS='|' read -r setting value; do
        refused "$setting is \"$value\"" "$cmake" -S "$source" -B "$work/refused" -U"RUVO_*" \
            "-D$setting=$value" -DBUILD_TESTING=OFF
    done <<ROWS
RUVO_DOWNLOAD_URL|http://downloads.example/ruvo/
RUVO_DOWNLOAD_URL|https://downloads.example/ruvo/v0.9.0/
RUVO_DOWNLOAD_URL|https://downloads.example/ruvo/?x=1/
RUVO_DOWNLOAD_URL|https://downloads.example/ruvo/#frag/
RUVO_DOWNLOAD_URL|https://downloads.example/a b/
RUVO_DOWNLOAD_URL|https://downloads.example/ruvo
RUVO_HOMEPAGE|https://ruvo.example/"x
RUVO_LICENSE_URL|https://ruvo.example/a;b
RUVO_TIMESTAMP_URL|http://ts.example/;-pass;x
RUVO_PACKAGE_CONTACT|ruvo; maintainers <ruvo@example.org>
ROWS
    "$cmake" -S "$source" -B "$work/refused" -U"RUVO_*" -DBUILD_TESTING=OFF >"$log" 2>&1 || fail "$(cat "$log")"
    refused "RUVO_DOWNLOAD_URL is empty" "$cmake" --build "$work/refused" --target release
    [ ! -e "$work/refused/release-win32" ] || fail "a refused release built"
    # A release that fails on the way leaves none, not the one made before, for the check.
    "$cmake" -S "$source" -B "$unsigned" "${settings[@]}" >"$log" 2>&1 &&
        "$cmake" --build "$unsigned" --target release >"$log" 2>&1 || fail "$(cat "$log")"
    refused "RUVO_SIGNING_PASSWORD is not" env -u RUVO_SIGNING_PASSWORD RUVO_SIGNING_PFX=none \
        "$cmake" --build "$unsigned" --target release
    refused "No release in $unsigned/release" "$cmake" --build "$unsigned" --target release-check
    "$cmake" --build "$unsigned" --target release >"$log" 2>&1 || fail "$(cat "$log")"
    [ "$(files "$unsigned/release")" = "$eight" ] || fail "the release holds $(ls "$unsigned/release")"
    (cd "$unsigned/release" && sha256sum --quiet -c SHA256SUMS) || fail "sha256sum -c" ;;
check)
    # A fault, made in a fresh copy of the release, that release-check names. Files of the
    # build that a fault changes are put back after.
    rezip() { # the .zip anew, with ruvo/NAME holding TEXT, or without it
        /usr/bin/python3 - "ruvo-$version-win32.zip" "ruvo/$1" "${2:-}" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as old:
    files = {i.filename: old.read(i) for i in old.infolist() if i.filename != sys.argv[2]}
if sys.argv[3]:
    files[sys.argv[2]] = sys.argv[3].encode().decode("unicode_escape")
with zipfile.ZipFile(sys.argv[1], "w") as new:
    for name, data in files.items():
        new.writestr(name, data)
PY
    }
    rm -rf "$work/pristine" && cp -a "$unsigned/release" "$work/pristine"
    cp -a "$unsigned/ruvo" "$unsigned/release-win32/ruvo.exe" "$work"
    while IFS='|' read -r why fault; do
        rm -rf "$unsigned/release" && cp -a "$work/pristine" "$unsigned/release"
        (cd "$unsigned/release" && eval "$fault") >"$log" 2>&1 || fail "$fault: $(cat "$log")"
        refused "$why" "$cmake" --build "$unsigned" --target release-check
        cp -a "$work/ruvo" "$unsigned" && cp -a "$work/ruvo.exe" "$unsigned/release-win32"
    done <<ROWS
no ruvo-$version-win32.msi|for f in *$version*; do mv "\$f" "\${f//$version/0.9.0}"; done; sed -i 's/$version/0.9.0/g' *.yaml *.json SHA256SUMS
ruvo.ruvo.installer.0.9.0.yaml: not a file|cp ruvo.ruvo.installer.yaml ruvo.ruvo.installer.0.9.0.yaml
SHA256SUMS gives 0000|sed -i "/msi\$/s/^[0-9a-f]*/\$(printf %064d 0)/" SHA256SUMS
the ruvo.exe that the build signed|echo >>../release-win32/ruvo.exe
does not hold|objcopy --add-section .stale=SHA256SUMS --set-section-flags .stale=alloc ../ruvo
is not an https:// address|sed -i 's|https://downloads|http://downloads|' *.yaml *.json
names version 0.9.0|sed -i 's|/v$version/ruvo-$version-win32.msi|/v0.9.0/ruvo-$version-win32.msi|' *.yaml
holds a query or a fragment|sed -i 's|/ruvo-$version-win32.msi|/?x=1/ruvo-$version-win32.msi|' *.yaml
holds a query or a fragment|sed -i 's|/ruvo-$version-win32.zip|/#frag/ruvo-$version-win32.zip|' ruvo.json
lacks ruvo/README-windows.txt|rezip README-windows.txt
has a line without CR LF|rezip LICENSE.txt 'MIT\n'
with SHA-256 FFFF|sed -i "s/Sha256: [0-9A-F]*/Sha256: \$(printf %064d 0 | tr 0 F)/" ruvo.ruvo.installer.yaml
not https://downloads.example/ruvo/v$version/ruvo-$version-win32.msi,|sed -i 's/win32\.msi/win32.msi.old/' ruvo.ruvo.installer.yaml
Additional properties are not allowed ('mascot'|sed -i 's/"bin"/"mascot": "ruvo", "bin"/' ruvo.json
which installs per machine|sed -i 's/Scope: machine/Scope: user/' ruvo.ruvo.installer.yaml
reads back as|sed -i "s/^Publisher: .*/Publisher: 'ruvo'/" ruvo.ruvo.locale.en-US.yaml
ROWS
    # Schemas that cannot be read fail the check, which names where it looked.
    "$cmake" -S "$source" -B "$unsigned" -DRUVO_MANIFEST_SCHEMAS="$work/none" >"$log" 2>&1 ||
        fail "$(cat "$log")"
    refused "RUVO_MANIFEST_SCHEMAS ($work/none)" "$cmake" --build "$unsigned" --target release-check
    "$cmake" -S "$source" -B "$unsigned" -URUVO_MANIFEST_SCHEMAS >"$log" 2>&1 || fail "$(cat "$log")"
    rm -rf "$unsigned/release" && mv "$work/pristine" "$unsigned/release" ;;
signing)
    # A throw-away certificate for code signing, which verifies against itself, in a PKCS#12
    # file with a random password; one that expired in 2020, and one for web servers.
    keys=$work/keys && rm -rf "$keys" "$signed" "$work/first" && mkdir -p "$keys/stand-in"
    password=$(openssl rand -hex 16)
    for row in good:codeSigning:now expired:codeSigning:2020-01-01 server:serverAuth:now; do
        IFS=: read -r name usage when <<<"$row"
        clock=() && [ "$when" = now ] || clock=(faketime "$when")
        ("${clock[@]}" openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=ruvo $name" \
            -addext "extendedKeyUsage=$usage" -keyout "$keys/$name.key" -out "$keys/$name.pem" &&
            PASSWORD=$password openssl pkcs12 -export -inkey "$keys/$name.key" \
                -in "$keys/$name.pem" -passout env:PASSWORD -out "$keys/$name.pfx") >"$log" 2>&1 ||
            fail "certificate $name: $(cat "$log")"
    done
    export RUVO_SIGNING_PFX=$keys/good.pfx RUVO_SIGNING_PASSWORD=$password
    export SOURCE_DATE_EPOCH=1700000000
    # Signed, with a publisher that needs quoting in XML, YAML and JSON, and made twice to the
    # same bytes. Every command the build runs is printed, and none holds the password.
    "$cmake" -G Ninja -S "$source" -B "$signed" "${settings[@]}" \
        "-DRUVO_PACKAGE_CONTACT=O'Brien & \"Sons\": #1 <ruvo@example.org>" >"$log" 2>&1 &&
        "$cmake" --build "$signed" --target release --verbose >"$log" 2>&1 &&
        cp -a "$signed/release" "$work/first" &&
        "$cmake" --build "$signed" --target release --verbose >>"$log" 2>&1 ||
        fail "the signed release: $(cat "$log")"
    [ "$(files "$signed/release")" = "$eight" ] && diff -r "$work/first" "$signed/release" ||
        fail "two signed releases differ, or hold $(ls "$signed/release")"
    ! grep -rqF "$password" "$work" --exclude-dir=keys || fail "the password is in what was built"
    osslsigncode verify -CAfile "$keys/good.pem" -in "$signed/release/ruvo-$version-win32.msi" \
        >"$log" 2>&1 || fail "the signed .msi does not verify: $(cat "$log")"
    RUVO_SIGNING_CERT=$keys/good.pem "$cmake" --build "$signed" --target release-check >"$log" ||
        fail "$(cat "$log")"
    refused "is signed, and the build was given no certificate" env -u RUVO_SIGNING_PFX \
        "$cmake" --build "$signed" --target release-check
    # Signing that fails fails the build, and leaves no unsigned ruvo.exe, with Ninja and
    # with Make; nor a .msi. A stand-in osslsigncode first on PATH records what it is given.
    cat >"$keys/stand-in/osslsigncode" <<'STAND_IN'
#!/bin/sh
{ echo "$@" && [ -p /dev/stdin ] && echo "password on a pipe"; } >"${0%/*}/given"
exit 1
STAND_IN
    chmod +x "$keys/stand-in/osslsigncode"
    "$cmake" -S "$source" -B "$work/make-win32" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-i686.cmake" >"$log" 2>&1 ||
        fail "$(cat "$log")"
    for windows in "$signed/release-win32" "$work/make-win32"; do
        while IFS='|' read -r why variables; do
            rm -f "$windows/ruvo.exe"
            refused "$why" env $variables "$cmake" --build "$windows"
            [ ! -e "$windows/ruvo.exe" ] || fail "$windows/ruvo.exe is left after: $why"
        done <<ROWS
RUVO_SIGNING_PFX is set, RUVO_SIGNING_PASSWORD is not|-u RUVO_SIGNING_PASSWORD
cannot be read with RUVO_SIGNING_PASSWORD|RUVO_SIGNING_PASSWORD=wrong
expired at 20|RUVO_SIGNING_PFX=$keys/expired.pfx
not for code signing: its extended key usage is TLS Web Server Authentication|RUVO_SIGNING_PFX=$keys/server.pfx
osslsigncode failed|PATH=$keys/stand-in:$PATH
ROWS
        "$cmake" --build "$windows" >"$log" 2>&1 || fail "$(cat "$log")"
        refused "osslsigncode failed" env "PATH=$keys/stand-in:$PATH" "$cmake" --build "$windows" \
            --target msi
        [ -z "$(find "$windows" -maxdepth 1 -name '*.msi')" ] || fail "a .msi is left in $windows"
    done
    given=$(cat "$keys/stand-in/given")
    [[ $given == *"-readpass /dev/stdin"*"password on a pipe" && $given != *"$password"* ]] ||
        fail "osslsigncode was given: $given" ;;
esac
