#!/usr/bin/env bash
# The manual page names the version, renders without a warning, and every
# example in it shows what the command really prints.
# Usage: manual_page_test.sh PAGE PROGRAM_FOLDER VERSION
set -u
page=$1 bin=$2 version=$3
command -v groff >/dev/null || {
    echo "groff is not installed: the manual page cannot be checked"
    exit 77
}
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

grep -q "^\.TH RUVO 1 .* \"ruvo $version\"" "$page" || fail "the title line does not name ruvo $version"

warnings=$(groff -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "groff warns:"$'\n'"$warnings"
if command -v man >/dev/null; then
    warnings=$(man --warnings -l -P cat "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns:"$'\n'"$warnings"
fi

# An example is a paragraph of the rendered page whose first line is
# "$ command"; the lines after it are its output. It runs in an empty
# environment. The renderer drops blanks at the ends of lines, so the
# output is compared without them.
run_example() {
    local actual
    actual=$(env -i PATH="$bin:/usr/bin:/bin" sh -c "$command" 2>&1 | sed 's/ *$//')
    [ "$actual" = "$shown" ] || fail "\$ $command"$'\nprints:\n'"$actual"$'\nthe page shows:\n'"$shown"
    examples=$((examples + 1))
}
examples=0 command= shown= indent= previous=
while IFS= read -r line; do
    if [ -n "$command" ]; then
        if [ -z "$line" ]; then
            run_example
            command=
        else
            shown+="${shown:+$'\n'}${line:$indent}"
        fi
    elif [[ $previous == "" && $line =~ ^(\ +)\$\ (.*)$ ]]; then
        indent=${#BASH_REMATCH[1]} command=${BASH_REMATCH[2]} shown=
    fi
    previous=$line
done < <(groff -man -Tascii -P-cbou "$page")
# Every example block of the source opens with its command.
written=$(awk 'previous == ".EX" && /^\$ / { n++ } { previous = $0 } END { print n + 0 }' "$page")
[ "$examples" -gt 0 ] && [ "$examples" -eq "$written" ] ||
    fail "ran $examples examples of the $written that the page holds"
exit $status
