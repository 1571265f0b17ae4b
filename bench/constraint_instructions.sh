#!/usr/bin/env bash
# Instructions of two binaries (valgrind's cachegrind, as bench/instructions.sh
# counts them) on the constrained rows whose tests run once per itemset, and on
# the same data without constraints, one thread each. Attribute row 0: value
# (id * 61) mod 100, as bench/convertible_rows.sh writes it. A run that fails
# under valgrind (on mushroom 200 the heap outgrows what valgrind gives it:
# "out of memory") prints "failed" instead of a count, and the two outputs
# must be the same. Not a test: it prints one markdown line per row.
#
# Usage: bench/constraint_instructions.sh --base PATH --new PATH [--rows LIST] [-- extra arguments]
#   --rows LIST   rows separated by ";", each data:sigma:constraint words (none
#                 for an unconstrained row), e.g. "chess:1500:;chess:1500:medgeq [0,60]"
set -u
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BASE=""; NEW=""; ROWS=""
while [ $# -gt 0 ]; do
  case "$1" in
    --base) BASE="${2:?}"; shift 2 ;;
    --new) NEW="${2:?}"; shift 2 ;;
    --rows) ROWS="${2:?}"; shift 2 ;;
    --) shift; break ;;
    *) echo "bench/constraint_instructions.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
CACHE="${KESTREL_BENCH_CACHE:-/tmp/kestrel-bench-cache}"
set -f  # the parameters hold brackets: no file name expansion
rows=("mushroom:400:" "mushroom:400:avggeq [0,50]" "mushroom:400:sumgeq [0,300]"
  "mushroom:400:avggeq2 [0,0]" "mushroom:400:sumleq [0,100000]" "chess:1500:"
  "chess:1500:varleq [0,600]")
[ -n "$ROWS" ] && IFS=';' read -r -a rows <<< "$ROWS"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
WORK="$work"; MILLION_LINES=200000
. "$ROOT/bench/inputs.sh"
attr=$(attribute_row_61) || exit 2
# count BIN TAG ARGS...: the instructions of one completed run, or "failed".
count() {
  (cd "$work" && valgrind --tool=cachegrind --cache-sim=no --cachegrind-out-file=cg.out "$1" \
    input "$input" output "$2.out" sigma "$sigma" "${@:3}" > /dev/null 2> cg.err) ||
    { echo failed; return; }
  grep -E 'I\s+refs' "$work/cg.err" | awk '{ gsub(",", "", $NF); print $NF }'
}
echo "| data | sigma | constraint | base | new | change |"
echo "|---|---|---|---|---|---|"
for row in "${rows[@]}"; do
  IFS=: read -r data sigma c <<< "$row"
  input=$(DATA="$(find_data)" input_of "$data") || exit 2
  rm -f "$work/base.out" "$work/new.out"
  # shellcheck disable=SC2086
  base=$(count "$BASE" base threads 1 "$@" ${c:+attributes "$attr" $c})
  # shellcheck disable=SC2086
  new=$(count "$NEW" new threads 1 "$@" ${c:+attributes "$attr" $c})
  change=$(python3 -c "import sys; b, n = sys.argv[1:]; print(f'{(int(n) - int(b)) / int(b):+.2%}')" \
    "$base" "$new" 2> /dev/null || echo "-")
  cmp -s "$work/base.out" "$work/new.out" || change="$change (outputs differ)"
  echo "| $data | $sigma | ${c:-none} | $base | $new | $change |"
done
