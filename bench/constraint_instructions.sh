#!/usr/bin/env bash
# Instructions of two binaries (bench/instructions.sh per row) on the
# constrained rows whose tests run once per itemset, and on the same data
# without constraints, one thread each. Attribute row 0: value (id * 61) mod
# 100, as bench/convertible_rows.sh writes it. Not a test: it prints one
# markdown line per row.
#
# Usage: bench/constraint_instructions.sh --base PATH --new PATH [-- extra arguments]
set -u
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BASE=""; NEW=""
while [ $# -gt 0 ]; do
  case "$1" in
    --base) BASE="${2:?}"; shift 2 ;;
    --new) NEW="${2:?}"; shift 2 ;;
    --) shift; break ;;
    *) echo "bench/constraint_instructions.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
CACHE="${KESTREL_BENCH_CACHE:-/tmp/kestrel-bench-cache}"
mkdir -p "$CACHE"
attr="$CACHE/attr-61.txt"
python3 -c "print(' '.join(str(i * 61 % 100) for i in range(20000)))" > "$attr"
set -f  # the parameters hold brackets: no file name expansion
rows=("mushroom:200:" "mushroom:200:avggeq [0,50]" "mushroom:200:sumgeq [0,300]"
  "mushroom:200:avggeq2 [0,0]" "mushroom:200:sumleq [0,100000]" "chess:1200:"
  "chess:1200:varleq [0,600]")
echo "| data | sigma | constraint | base | new | change |"
echo "|---|---|---|---|---|---|"
for row in "${rows[@]}"; do
  IFS=: read -r data sigma c <<< "$row"
  # shellcheck disable=SC2086
  out=$("$ROOT/bench/instructions.sh" --base "$BASE" --new "$NEW" --data "$data" \
    --sigma "$sigma" -- threads 1 "$@" ${c:+attributes "$attr" $c})
  base=$(awk '/^base/ { print $2 }' <<< "$out")
  new=$(awk '/^new/ { print $2 }' <<< "$out")
  change=$(awk '/^change/ { print $2 }' <<< "$out")
  echo "| $data | $sigma | ${c:-none} | $base | $new | $change |"
done
