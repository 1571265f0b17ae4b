#!/usr/bin/env bash
# The progress rows of two KESTREL binaries side by side: per level the
# candidates (Ck), frequent itemsets (Lk), written itemsets (Rk) and seconds
# of each, and the share of candidates the new one no longer generates. Not a
# test: it prints a markdown table. Each binary runs --runs times (default 3)
# and the row times are the medians; the outputs must hold the same lines.
#
# Usage: bench/levels.sh --base PATH --new PATH --data NAME --sigma N [--runs N]
#                        [-- extra kestrel arguments]
#   NAME is one of chess, mushroom, retail, T10I4D100K (unpacked as run.sh does).
# Example: bench/levels.sh --base ../main/build/kestrel --new build/kestrel
#          --data mushroom --sigma 200 -- threads 1 attributes A avggeq2 '[0,60]'
# Environment: KESTREL_DATA and KESTREL_BENCH_CACHE as for run.sh.
set -u

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BASE=""; NEW=""; DATA=""; SIGMA=""; RUNS=3
die() { echo "bench/levels.sh: $*" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --base) BASE="${2:?}"; shift 2 ;;
    --new) NEW="${2:?}"; shift 2 ;;
    --data) DATA="${2:?}"; shift 2 ;;
    --sigma) SIGMA="${2:?}"; shift 2 ;;
    --runs) RUNS="${2:?}"; shift 2 ;;
    --) shift; break ;;
    -h|--help) sed -n '2,/^set -u/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown option $1 (see --help)" ;;
  esac
done
[ -x "$BASE" ] && [ -x "$NEW" ] || die "--base and --new must name binaries"
[ -n "$DATA" ] && [ -n "$SIGMA" ] || die "--data and --sigma are needed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
CACHE="${KESTREL_BENCH_CACHE:-/tmp/kestrel-bench-cache}"; WORK="$work"; MILLION_LINES=200000
mkdir -p "$CACHE"
. "$ROOT/bench/inputs.sh"
DATA_DIR="$(find_data)"
input=$(DATA="$DATA_DIR" input_of "$DATA") || die "no input for $DATA"

# rows BIN TAG: runs BIN RUNS times, keeps "k Ck Lk Rk seconds" per run.
rows() {
  for r in $(seq "$RUNS"); do
    "$1" input "$input" output "$work/$2.out" sigma "$SIGMA" "${@:3}" |
      awk -v r="$r" '/^ *[0-9]+:/ { sub(":", "", $1); a = ($2 ~ /^[0-9]+$/) ? 2 : 3;
        t = (NF >= 8) ? $NF : 0; print r, $1, $a, $(a + 1), $(a + 2), t }'
  done > "$work/$2.rows"
}
rows "$BASE" base "$@"
rows "$NEW" new "$@"
same=same
cmp -s <(sort "$work/base.out") <(sort "$work/new.out") || same=DIFFERENT
python3 - "$work/base.rows" "$work/new.rows" "$same" <<'PY'
import sys, statistics
def load(path):
    rows = {}
    for line in open(path):
        r, k, ck, lk, rk, t = line.split()
        rows.setdefault(int(k), []).append((int(ck), int(lk), int(rk), float(t)))
    return rows
base, new = load(sys.argv[1]), load(sys.argv[2])
print("| k | base Ck | new Ck | Ck gone | base Lk | new Lk | Rk | base s | new s |")
print("|---|---|---|---|---|---|---|---|---|")
tb = tn = 0.0
for k in sorted(set(base) | set(new)):
    b = base.get(k, [(0, 0, 0, 0.0)]); n = new.get(k, [(0, 0, 0, 0.0)])
    sb = statistics.median(x[3] for x in b); sn = statistics.median(x[3] for x in n)
    tb += sb; tn += sn
    gone = 1 - n[0][0] / b[0][0] if b[0][0] else 0
    print(f"| {k} | {b[0][0]} | {n[0][0]} | {gone:.0%} | {b[0][1]} | {n[0][1]} | {n[0][2]} | {sb:.2f} | {sn:.2f} |")
print(f"| all | | | | | | | {tb:.2f} | {tn:.2f} |")
print(f"\noutputs: {sys.argv[3]}")
PY
