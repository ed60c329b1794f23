#!/usr/bin/env bash
# Installs the build into a temporary prefix, and again under DESTDIR, and
# runs the installed command with nothing of this environment.
# Usage: install_test.sh CMAKE BUILD_FOLDER
set -u
cmake=$1 build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

"$cmake" --install "$build" --prefix "$tmp/prefix" >/dev/null || fail "install into a prefix"
DESTDIR="$tmp/stage" "$cmake" --install "$build" --prefix /opt/ruvo >/dev/null ||
    fail "install under DESTDIR"

# The command and its plain manual page, and nothing else.
expected_files=$'./bin/ruvo\n./share/man/man1/ruvo.1'
for root in "$tmp/prefix" "$tmp/stage/opt/ruvo"; do
    files=$(cd "$root" 2>/dev/null && find . ! -type d | sort)
    [ "$files" = "$expected_files" ] || fail "$root holds:"$'\n'"$files"
    cmp -s "$root/share/man/man1/ruvo.1" "$build/ruvo.1" || fail "$root: manual page differs"
done

expected='------------------------------------------------
Content of environment variable CLASSPATH
------------------------------------------------
a.jar;
b.jar
status 0'
for ruvo in "$tmp/prefix/bin/ruvo" "$tmp/stage/opt/ruvo/bin/ruvo"; do
    actual=$(env -i CLASSPATH='a.jar;b.jar' "$ruvo" c; echo "status $?")
    [ "$actual" = "$expected" ] || fail "$ruvo c printed:"$'\n'"$actual"
done
exit $status
