#!/usr/bin/env bash
# Where tid-lists stop beating the bit matrix: the in-memory levels of one binary
# forced onto each layout (testing.vertical_layout bits / lists), alternated, on
# generated data whose density (item occurrences over items times transactions,
# as the input holds them) runs from sparse to dense, and on T10I4D100K kept to
# its long transactions (a "lengeq" bound, which drops the short ones before the
# data is loaded). Not a test: it prints a markdown table of median wall seconds.
#
# Usage: bench/layout_crossover.sh [--kestrel PATH] [--generator PATH] [--pairs N]
# Environment: KESTREL_DATA (directory of T10I4D100K.dat.gz; its rows are left
# out without it).
set -u
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
KESTREL="$ROOT/build/kestrel"; GENERATOR=""; PAIRS=3
while [ $# -gt 0 ]; do
  case "$1" in
    --kestrel) KESTREL="${2:?}"; shift 2 ;;
    --generator) GENERATOR="${2:?}"; shift 2 ;;
    --pairs) PAIRS="${2:?}"; shift 2 ;;
    *) echo "bench/layout_crossover.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ -n "$GENERATOR" ] || GENERATOR="$(dirname "$KESTREL")/generate_baskets"
[ -x "$KESTREL" ] && [ -x "$GENERATOR" ] || { echo "needs kestrel and generate_baskets" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
set -f  # constraint parameters hold brackets

density() {  # $1 = input, $2 = least transaction length kept: "1 in N" cells
  awk -v k="$2" 'NF >= k { n++; o += NF; for (i = 1; i <= NF; i++) seen[$i] = 1 }
    END { m = length(seen); printf "%.0f", (o ? m * n / o : 0) }' "$1"
}
seconds() {  # kestrel arguments: wall seconds of one run, "fail" when it fails
  local start end
  start=$(date +%s%N)
  (cd "$work" && "$KESTREL" "$@" output out.txt > /dev/null 2>&1) || { echo fail; return; }
  end=$(date +%s%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / 1e9 }'
}
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

row() {  # $1 label, $2 input, $3 least length, then kestrel arguments
  local label="$1" input="$2" k="$3" b="" l="" rep
  shift 3
  for ((rep = 0; rep < PAIRS; rep++)); do
    b="$b $(seconds input "$input" "$@" testing.vertical_layout bits)"
    l="$l $(seconds input "$input" "$@" testing.vertical_layout lists)"
  done
  b=$(median <<< "$b"); l=$(median <<< "$l")
  echo "| $label | 1 in $(density "$input" "$k") | $b | $l | $(awk -v b="$b" -v l="$l" 'BEGIN { printf "%.2f", l / b }') |"
}

echo "| data | density (cells per occurrence) | bits s | lists s | lists / bits |"
echo "|---|---|---|---|---|"
# T10 I4 D50000 over N items: density about 1 in N/10.
for shape in 100:40 160:25 160:10 240:8 320:5 480:4 640:8 960:5; do
  n=${shape%%:*}; sigma=${shape#*:}
  "$GENERATOR" T 10 I 4 D 50000 N "$n" L 2000 seed 7 output "$work/g$n.dat" || exit 2
  row "T10I4D50K N$n, sigma $sigma" "$work/g$n.dat" 1 sigma "$sigma"
done
if [ -n "${KESTREL_DATA:-}" ] && [ -f "$KESTREL_DATA/T10I4D100K.dat.gz" ]; then
  zcat "$KESTREL_DATA/T10I4D100K.dat.gz" > "$work/t10.dat"
  for k in 1 8 11 14; do
    row "T10I4D100K 2, lengeq [$k]" "$work/t10.dat" "$k" sigma 2 lengeq "[$k]"
  done
fi
