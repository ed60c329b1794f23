#!/usr/bin/env bash
# Compares ruvo with printenv by instructions executed (valgrind's callgrind),
# which repeat exactly from run to run, unlike seconds on a shared machine.
# Every program starts with `env -i` and only the variable under test.
#
#   bench/compare.sh [path/to/ruvo]
#
# Without a path it builds ruvo in build-bench/ (Release). Prints each ratio
# beside its target and exits 1 when one misses.
set -euo pipefail
cd "$(dirname "$0")/.."

ruvo=${1:-}
if [ -z "$ruvo" ]; then
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build build-bench --target ruvo >/dev/null
  ruvo=build-bench/ruvo
fi
ruvo=$(realpath "$ruvo")
printenv_bin=$(command -v printenv)
tr_bin=$(command -v tr)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# instructions VAR=VALUE PROGRAM [ARG...] [< input]: total instructions of one run.
instructions() {
  local assignment=$1
  shift
  env -i "$assignment" valgrind --tool=callgrind --callgrind-out-file="$work/cg" "$@" \
    >"$work/out" 2>/dev/null
  awk '/^summary:/ { print $2 }' "$work/cg"
}

# peak_kib VAR=VALUE PROGRAM [ARG...]: maximum resident set, the median of
# nine runs, since it varies by a few hundred KiB from run to run.
peak_kib() {
  local assignment=$1 i
  shift
  for i in 1 2 3 4 5 6 7 8 9; do
    env -i "$assignment" /usr/bin/time -f %M -o "$work/time" "$@" >/dev/null
    cat "$work/time"
  done | sort -n | sed -n 5p
}

# value COUNT LENGTH: COUNT elements of LENGTH bytes joined by semicolons.
value() {
  local element
  printf -v element '%*s' "$2" ''
  element=${element// /x}
  local result=$element i
  for ((i = 1; i < $1; i++)); do result+=";$element"; done
  printf '%s' "$result"
}

failed=0
# report WHAT RATIO-NUMERATOR DENOMINATOR TARGET
report() {
  local verdict
  verdict=$(awk -v a="$2" -v b="$3" -v t="$4" \
    'BEGIN { r = a / b; printf "%-52s %7.3f  (target <= %s)  %s\n", "'"$1"'", r, t, (r <= t ? "ok" : "MISSED") }')
  echo "$verdict"
  case $verdict in *MISSED) failed=1 ;; esac
}

start_ruvo=$(instructions PATH=/usr/bin "$ruvo")
start_true=$(instructions PATH=/usr/bin /bin/true)
report "start-up: ruvo / true" "$start_ruvo" "$start_true" 1.10

long=$(value 2700 46)
short=$(value 9000 13)
echo "values: ${#long} bytes in 2700 elements, ${#short} bytes in 9000 elements"

long_ruvo=$(instructions "V=$long" "$ruvo" V)
long_printenv=$(instructions "V=$long" "$printenv_bin" V)
report "2700 elements: ruvo / printenv" "$long_ruvo" "$long_printenv" 2.5

short_ruvo=$(instructions "V=$short" "$ruvo" V)
short_printenv=$(instructions "V=$short" "$printenv_bin" V)
report "9000 elements: ruvo / printenv" "$short_ruvo" "$short_printenv" 5.0

printf '%s\n' "$short" >"$work/printed"
short_tr=$(env -i valgrind --tool=callgrind --callgrind-out-file="$work/cg" \
  "$tr_bin" ';' '\n' <"$work/printed" 2>/dev/null >/dev/null && awk '/^summary:/ { print $2 }' "$work/cg")
report "9000 elements: ruvo / (printenv | tr)" "$short_ruvo" "$((short_printenv + short_tr))" 0.7

peak_ruvo=$(peak_kib "V=$short" "$ruvo" V)
peak_printenv=$(peak_kib "V=$short" "$printenv_bin" V)
echo "peak memory (median of 9): ruvo ${peak_ruvo} KiB, printenv ${peak_printenv} KiB (target: ruvo <= printenv + 256)"
[ "$peak_ruvo" -le $((peak_printenv + 256)) ] || { echo "peak memory MISSED"; failed=1; }

printf 'instructions: start-up %s vs %s; 2700 elements %s vs %s; 9000 elements %s vs %s + tr %s\n' \
  "$start_ruvo" "$start_true" "$long_ruvo" "$long_printenv" "$short_ruvo" "$short_printenv" "$short_tr"
exit "$failed"
