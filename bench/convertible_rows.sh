#!/usr/bin/env bash
# Convertible constraints, pushed, on two binaries in turn (bench/alternate.sh
# per row): the rows of the dense data where their pruning shows, each
# constraint alone and one with a prefix item, plus the same data without
# constraints. Attribute row 0: value (id * 61) mod 100, as bench/constrained.sh's
# cache holds it. Not a test: it prints one markdown table per row.
#
# Usage: bench/convertible_rows.sh --base PATH --new PATH [--pairs N] [-- extra arguments]
set -u
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BASE=""; NEW=""; PAIRS=3
while [ $# -gt 0 ]; do
  case "$1" in
    --base) BASE="${2:?}"; shift 2 ;;
    --new) NEW="${2:?}"; shift 2 ;;
    --pairs) PAIRS="${2:?}"; shift 2 ;;
    --) shift; break ;;
    *) echo "bench/convertible_rows.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
CACHE="${KESTREL_BENCH_CACHE:-/tmp/kestrel-bench-cache}"
. "$ROOT/bench/inputs.sh"
attr=$(attribute_row_61) || exit 2
set -f  # the parameters hold brackets: no file name expansion
constraints=("" "avggeq2 [0,60]" "avggeq2 [0,75]" "avgleq2 [0,40]" "medgeq2 [0,60]"
  "medleq2 [0,40]" "minleq2 [0,5]" "maxgeq2 [0,95]" "rangeleq2 [0,50]"
  "supseteq [34] avggeq2 [0,60]")
for row in mushroom:200 chess:1200; do
  for c in "${constraints[@]}"; do
    echo "### $row ${c:-unconstrained}"
    # shellcheck disable=SC2086
    "$ROOT/bench/alternate.sh" --base "$BASE" --new "$NEW" --rows "$row" --pairs "$PAIRS" \
      --markdown -- "$@" ${c:+attributes "$attr" $c} | grep -E '^\|'
  done
done
