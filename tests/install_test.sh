#!/usr/bin/env bash
# Installs the build into a temporary prefix, and again under DESTDIR, and
# runs the installed command with nothing of this environment.
# Usage: install_test.sh CMAKE BUILD_FOLDER
set -u
cmake=$1 build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0 skipped=0
fail() {
    echo "FAIL: $*"
    status=1
}
# A check that this machine cannot pose is skipped, and the test then ends
# with 77, reported as skipped; with CI=true it fails instead, since CI must
# run every check.
skip() {
    if [ "${CI:-}" = true ]; then
        fail "CI must run every check, but $*"
    else
        echo "SKIP: $*"
        skipped=1
    fi
}

"$cmake" --install "$build" --prefix "$tmp/prefix" >/dev/null || fail "install into a prefix"
DESTDIR="$tmp/stage" "$cmake" --install "$build" --prefix /opt/ruvo >/dev/null ||
    fail "install under DESTDIR"

# The command, its plain manual page and its bash completion, and nothing
# else, nor anything outside the prefix.
expected_files=$'./bin/ruvo\n./share/bash-completion/completions/ruvo\n./share/man/man1/ruvo.1'
outside=$(cd "$tmp/stage" && find . ! -type d ! -path './opt/ruvo/*')
[ -z "$outside" ] || fail "installed outside the prefix:"$'\n'"$outside"
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
# Completing the one parameter offers the exported names that ruvo shows as
# they are, matched as ruvo would upper-case the word, a to z only in every
# locale; a second parameter gets nothing. A row's environment comes on top of
# the probe variables; a row whose environment bash cannot set up (a locale
# this machine lacks) is skipped. A word list ending in a blank completes an
# empty word.
completion="$tmp/prefix/share/bash-completion/completions/ruvo"
while IFS='|' read -r words row_env expected; do
    why=$(env -i $row_env bash --norc -c : 2>&1)
    if [ -n "$why" ]; then
        skip "completing \"$words\" in $row_env: $why"
        continue
    fi
    offered=$(env -i RUVO_PROBE_A=1 RUVO_PROBE_B=2 ruvo_probe_c=3 $row_env bash --norc -c '
        source "$1" && read -ra COMP_WORDS <<<"$2" && if [[ $2 == *" " ]]; then COMP_WORDS+=(""); fi &&
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) &&
            $(complete -p ruvo | sed "s/.*-F \([^ ]*\) .*/\1/") ruvo "${COMP_WORDS[-1]}" &&
            echo "${COMPREPLY[*]}"' completion "$completion" "$words")
    [ "$offered" = "$expected" ] || fail "completing \"$words\" ($row_env) offered \"$offered\""
done <<'CASES'
ruvo RUVO_PROBE_||RUVO_PROBE_A RUVO_PROBE_B
ruvo ruvo_probe_a||RUVO_PROBE_A
ruvo RUVO_PROBE_A ruvo_||
ruvo |P=1 C=2|PWD RUVO_PROBE_A RUVO_PROBE_B SHLVL
ruvo ruvo_probe_c||
ruvo r|Ruvo_Probe_D=4|RUVO_PROBE_A RUVO_PROBE_B
ruvo edi|LC_ALL=tr_TR.UTF-8 EDITOR=vi|EDITOR
CASES
[ $status = 0 ] && [ $skipped = 1 ] && exit 77
exit $status
