#!/usr/bin/env bash
# One step in the life of ruvo's .msi under Wine. package makes the .msi;
# then two chains run side by side, each in a Wine prefix of its own:
# - install: the tables that Wine cannot judge (File, MsiFileHash,
#   MsiLockPermissionsEx, Environment, SecureCustomProperties); then ruvo
#   into C:\tools\ruvo\;
# - run_from_path: cmd finds ruvo on PATH (the 32-bit path only);
# - repair: a lost file comes back, with REINSTALL=ALL, since Wine's
#   msiexec /f cannot repair; neither it nor a second install moves ruvo;
# - upgrade: to the next major version, in the same folder, once on PATH;
# - uninstall: and the folder is forgotten; a given folder wins over a kept
#   one; without the kept folder PATH keeps every other entry;
# and, beside them,
# - folders: folders that the launch conditions refuse, with nothing
#   installed; folders installed and uninstalled on drives of the prefix,
#   with PATH holding the folder before or not.
# Making a prefix takes Wine seconds of waiting, which the two chains share.
# Status 77 reports a step as skipped.
# Usage: msi_test.sh STEP ARCH BUILD_FOLDER VERSION CMAKE WINE WINESERVER [MISSING]
set -u
step=$1 arch=$2 build=$3 version=$4 cmake=$5 wine=$6 wineserver=$7 missing=${8:-}
# A helper that fails inside $(...) ends the step as well, and its message goes to standard
# error: it never becomes the text that the substitution returns.
step_shell=$$
trap 'exit 1' USR1
fail() {
    echo "FAIL: $*" >&2
    [ "$BASHPID" = "$step_shell" ] || kill -USR1 "$step_shell"
    exit 1
}
command -v wixl >/dev/null && command -v msibuild >/dev/null && command -v msiinfo >/dev/null ||
    missing=${missing:-no wixl, msibuild or msiinfo (packages wixl and msitools)}
if [ -n "$missing" ]; then
    [ "${CI:-}" = true ] && fail "CI must run every step, but $missing"
    echo "SKIP: $missing" && exit 77
fi
prefix=$build/wineprefix-msi
[ "$step" = folders ] && prefix=$build/wineprefix-msi-folders
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
out=$WINEPREFIX.out files=$build/windows/msi-files msi=$build/windows/ruvo-$version-win32.msi
# The upgrade step packs the next major version from the files in $new.
new=$build/msi-upgrade next=$((${version%%.*} + 1)).0.0
# Wine's output goes to a file: the processes that it leaves running would hold a pipe open.
w() { "$wine" "$@" >"$out" 2>&1 || fail "$* ended with $?: $(cat "$out")"; }
if [ "$step" = package ]; then
    "$cmake" --build "$build/windows" --target msi >"$out" 2>&1 || fail "the .msi: $(cat "$out")"
    exit 0
elif [ "$step" = install ] || [ "$step" = folders ]; then
    rm -rf "$WINEPREFIX" && mkdir "$WINEPREFIX" && "$wineserver" -p60 >"$out" 2>&1 && w wineboot -i
fi
# The last step of a chain stops its prefix's server, which started with -p60 and may have
# exited on its own; wineserver -k then exits 1 and says nothing.
stop_server() {
    "$wineserver" -k >"$out" 2>&1 && exit 0
    status=$?
    [ $status = 1 ] && [ ! -s "$out" ] || fail "wineserver -k ended with $status: $(cat "$out")"
    echo "wineserver -k: the server had already exited"
}
# The install step chooses a folder, which repair and upgrade keep. Without one, the package
# goes into Program Files; in a 64-bit prefix, into Program Files (x86).
chosen='C:\tools\ruvo\'
default='C:\Program Files\ruvo\'
[ -d "$WINEPREFIX/drive_c/Program Files (x86)" ] && default='C:\Program Files (x86)\ruvo\'
unix() {
    drive=${1:0:1}
    echo "$WINEPREFIX/dosdevices/${drive,,}:/$(echo "${1:3:-1}" | tr '\\' /)"
}
# The machine's PATH as it is written, and its entries, one a line, while it is REG_EXPAND_SZ.
# Empty entries are left out: Wine's RemoveEnvironmentStrings leaves the ; before the entry that
# it removes, where Windows takes both away.
environment='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
machine_path() {
    w reg query "$environment" /v PATH
    sed -n 's/.* PATH    REG_EXPAND_SZ    //p' "$out" | tr -d '\r'
}
entries() { machine_path | tr ';' '\n' | grep -v '^$'; }
# "{product code} ruvo version folder publisher" of each program in Programs
# and Features, all of them ruvo in this prefix. A 64-bit prefix has no such
# key in the 32-bit view until a 32-bit program is installed: then none is.
programs() {
    key='HKLM\Software\Microsoft\Windows\CurrentVersion'
    if ! "$wine" reg query "$key\Uninstall" /s /reg:32 >"$out" 2>&1; then
        error=$(cat "$out")
        w reg query "$key" /reg:32
        tr -d '\r' <"$out" | grep -qixF "HKEY_LOCAL_MACHINE${key#HKLM}\\Uninstall" &&
            fail "reg query $key\\Uninstall /s /reg:32: $error"
        return 0
    fi
    tr -d '\r' <"$out" | sed -n 's/.*\\Uninstall\\//p
        s/ *\(DisplayName\|DisplayVersion\|InstallLocation\|Publisher\) *REG_SZ *//p' |
        paste -d ' ' - - - - -
}
# Once ruvo VERSION in FOLDER, the files of FILES, and PATH as before with ADDED (FOLDER unless
# given) once at the end.
installed_once() {
    [[ $(programs) =~ ^\{[-0-9A-F]+\}\ ruvo\ "$1 $3 "[^{]+$ ]] || fail "programs: $(programs)"
    diff -r "$2" "$(unix "$3")" || fail "the installed files differ"
    [ "$(entries)" = "$(cat "$WINEPREFIX.path" && echo "${4-$3}" | grep .)" ] ||
        fail "PATH with $3 installed: $(entries)"
}
# Uninstalled from FOLDER, though given another: no program, no files, and PATH as before.
uninstalled() {
    product=$(programs | cut -d ' ' -f 1) && [ -n "$product" ] || fail "ruvo is not installed"
    w msiexec /x "$product" 'INSTALLDIR=C:\elsewhere\' /qn
    [ ! -e "$(unix "$1")" ] && [ -z "$(programs)" ] &&
        [ "$(entries)" = "$(cat "$WINEPREFIX.path")" ] ||
        fail "left: $(ls "$(unix "$1")") $(programs); PATH: $(entries)"
}
table() { msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r'; }

case $step in
install)
    # Every file name 8.3, or short|long; ruvo.exe with the version and language of its version
    # resource, and a hash row for each file without a version, as Windows Installer wants them.
    long=$(table File | cut -f 3 | grep -Ev '^[^]|. +,;=[]{1,8}(\.[^]|. +,;=[]{1,3})?(\|.+)?$')
    exe=$(table File | awk -F '\t' '$1 == "ruvo.exe" { print $5, $6 }')
    unversioned=$(table File | awk -F '\t' '$5 == "" { print $1 }' | sort)
    [ -z "$long" ] && [ "$exe" = "$version.0 1033" ] &&
        [ "$(table MsiFileHash | cut -f 1 | sort)" = "$unversioned" ] ||
        fail "File and MsiFileHash tables: $(table File; table MsiFileHash)"
    # The folder's permissions locked (Wine ignores the table): a protected DACL that lets
    # Users, Authenticated Users and Everyone read and execute at most.
    sddl=$(table MsiLockPermissionsEx | awk -F '\t' '$2 == "INSTALLDIR" && $3 == "CreateFolder" { print $4 }')
    [ "$(table CreateFolder)" = $'INSTALLDIR\truvo' ] && [[ $sddl == D:P* ]] &&
        ! grep -Eq '\(A;[^;]*;([^;]*[^FRX;][^;]*)?;;;(BU|AU|WD)\)' <<<"$sddl" ||
        fail "MsiLockPermissionsEx: $(table MsiLockPermissionsEx)"
    # What Wine cannot tell: without "-", Windows would leave the entry on PATH at uninstall, and
    # an elevated install takes INSTALLDIR only as a secure property.
    secure=$(table Property | awk -F '\t' '$1 == "SecureCustomProperties" { print $2 }')
    [ "$(table Environment | cut -f 2)" = '=-*PATH' ] && [[ ";$secure;" == *";INSTALLDIR;"* ]] ||
        fail "Environment and SecureCustomProperties: $(table Environment); $secure"
    entries >"$WINEPREFIX.path"
    w msiexec /i "$msi" "INSTALLDIR=$chosen" /qn
    installed_once "$version" "$files" "$chosen" ;;
run_from_path)
    [ "$arch" = i686 ] || { echo "SKIP: the installed ruvo.exe is 32-bit, and 64-bit Wine runs the steps" && exit 77; }
    w cmd /c 'cd /d C:\windows && ruvo P'
    [ "$(tail -n 1 "$out" | tr -d '\r')" = "$chosen" ] || fail "ruvo P printed: $(cat "$out")" ;;
repair) # a lost file back in the chosen folder; neither it nor a second install adds to PATH,
    # nor moves ruvo to a folder that either is given
    rm "$(unix "$chosen")/ruvo.exe"
    w msiexec /i "$msi" REINSTALL=ALL REINSTALLMODE=vamus 'INSTALLDIR=C:\other\ruvo\' /qn
    w msiexec /i "$msi" 'INSTALLDIR=C:\third\ruvo\' /qn
    installed_once "$version" "$files" "$chosen"
    [ ! -e "$WINEPREFIX/drive_c/other" ] && [ ! -e "$WINEPREFIX/drive_c/third" ] ||
        fail "files in the folders given: $(ls "$WINEPREFIX/drive_c")" ;;
upgrade) # to the next major version, whose ruvo.exe ends in one more byte, in the same folder.
    # The same version with that ruvo.exe is another package, with a package code of its own.
    rm -rf "$new" && cp -r "$files" "$new" && echo >>"$new/ruvo.exe"
    summary=$(msiinfo suminfo "$msi")
    for v in "$version" "$next"; do
        "$cmake" "-DVERSION=$v" "-DFILES=$new" "-DOUTPUT=$new-$v.msi" \
            "-DMANUFACTURER=$(sed -n 's/^Author: //p' <<<"$summary")" \
            "-DDESCRIPTION=$(sed -n 's/^Comments: //p' <<<"$summary")" \
            -P "$(dirname "$0")/../cmake/msi.cmake" || fail "no .msi for $v"
    done
    code=$(grep '^Revision number' <<<"$summary") # the package code
    [ "$(msiinfo suminfo "$new-$version.msi" | grep '^Revision number')" != "$code" ] ||
        fail "two packages of $version have one package code: $code"
    w msiexec /i "$new-$next.msi" /qn
    installed_once "$next" "$new" "$chosen" ;;
uninstall) # and forgets the folder, so ruvo goes into Program Files; one given wins over one kept
    uninstalled "$chosen"
    w msiexec /i "$msi" /qn
    installed_once "$version" "$files" "$default"
    w msiexec /i "$new-$next.msi" "INSTALLDIR=$chosen" /qn
    installed_once "$next" "$new" "$chosen"
    uninstalled "$chosen"
    # Without the folder kept in the registry, the uninstall takes the default for it: the
    # entry of the folder installed to may stay, but PATH keeps every other entry, never
    # emptied by an entry that resolved to nothing.
    w msiexec /i "$msi" "INSTALLDIR=$chosen" /qn
    w reg delete 'HKLM\Software\ruvo' /v InstallDir /f /reg:32
    w msiexec /x "$(programs | cut -d ' ' -f 1)" /qn
    [ "$(entries | grep -vxF "$chosen")" = "$(cat "$WINEPREFIX.path")" ] || fail "PATH: $(entries)"
    stop_server ;;
folders) # which folders an install takes
    entries >"$WINEPREFIX.path"
    # A folder with a semicolon would be two PATH entries, one with a percent sign would expand
    # into others, and one that is no local full path written with "\" an entry searched from
    # the current folder or over the network: each refused by a launch condition, nothing
    # installed, here or on Wine's Z: (\\server\share\ruvo\ would be /server/share/ruvo). Wine's
    # CreateFolders never ends for C:\tools/ruvo/, so a refusal that came later ends in time.
    for folder in 'C:\a;b\ruvo\' 'C:\x%PATHEXT%y\' 'relative\ruvo\' '\ruvo\' 'C:ruvo\' \
        '\\server\share\ruvo\' 'C:\tools/ruvo/'; do
        : >"$out" && timeout 60 "$wine" msiexec /i "$msi" "INSTALLDIR=$folder" /qn /l*v "$out" \
            >/dev/null 2>&1 && fail "INSTALLDIR=$folder was accepted"
        last=$(tr -d '\r' <"$out" | sed -n 's/^Action start [^ ]* //p' | tail -n 1)
        [ "$last" = LaunchConditions. ] || fail "INSTALLDIR=$folder was refused after $last"
    done
    [ -z "$(programs)" ] && [ -z "$(find "$WINEPREFIX" /server -iname ruvo.exe 2>/dev/null)" ] &&
        [ "$(entries)" = "$(cat "$WINEPREFIX.path")" ] || fail "after a refused folder: $(programs); PATH: $(entries)"
    # Installed and uninstalled: folder|entry on PATH before|entry added, on drives of this
    # prefix, one of each custom action's letters, the first in lower case. A folder that PATH
    # holds already, in any case, with a final "\" or without, is not added, so that the
    # uninstall leaves the entry; one beside an entry that only starts like it is added.
    # PATH is written as it was before each, and after: Wine's uninstalls leave empty entries,
    # and Wine's cmd searches no entry after an empty one.
    for drive in g q s; do
        mkdir -p "$WINEPREFIX/drive_$drive" &&
            ln -sfn "../drive_$drive" "$WINEPREFIX/dosdevices/$drive:"
    done
    before=$(machine_path)
    while IFS='|' read -r folder held added; do
        w reg add "$environment" /v PATH /t REG_EXPAND_SZ /d "$before${held:+;$held}" /f
        entries >"$WINEPREFIX.path"
        w msiexec /i "$msi" "INSTALLDIR=$folder" /qn
        installed_once "$version" "$files" "$folder" "$added"
        uninstalled "$folder"
    done <<'EOF'
g:\tools\|g:\tools\|
Q:\tools\ruvo\|q:\TOOLS\RUVO|
S:\tools\ruvo\|S:\tools\ruvo\bin|S:\tools\ruvo\
EOF
    stop_server ;;
esac
