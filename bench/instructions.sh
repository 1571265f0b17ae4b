#!/usr/bin/env bash
# Instructions two KESTREL binaries run on one row (valgrind's cachegrind, no
# cache simulation): a figure a shared machine does not move, for changes
# too small for wall times to show. Not a test: it prints one line per binary
# and the change.
#
# Usage: bench/instructions.sh --base PATH --new PATH --data NAME --sigma N [-- extra arguments]
#   NAME is one of chess, mushroom, retail, T10I4D100K (unpacked as run.sh does).
# Example: bench/instructions.sh --base ../base/build/kestrel --new build/kestrel
#          --data mushroom --sigma 400 -- threads 1
set -u
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BASE=""; NEW=""; DATA=""; SIGMA=""
die() { echo "bench/instructions.sh: $*" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --base) BASE="${2:?}"; shift 2 ;;
    --new) NEW="${2:?}"; shift 2 ;;
    --data) DATA="${2:?}"; shift 2 ;;
    --sigma) SIGMA="${2:?}"; shift 2 ;;
    --) shift; break ;;
    *) die "unknown option $1 (see the header)" ;;
  esac
done
[ -x "$BASE" ] && [ -x "$NEW" ] || die "--base and --new must name binaries"
command -v valgrind >/dev/null || die "valgrind is needed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
CACHE="${KESTREL_BENCH_CACHE:-/tmp/kestrel-bench-cache}"; WORK="$work"; MILLION_LINES=200000
mkdir -p "$CACHE"
. "$ROOT/bench/inputs.sh"
input=$(DATA="$(find_data)" input_of "$DATA") || die "no input for $DATA"
# A run that fails under valgrind (a large row can outgrow the heap valgrind
# gives it: "out of memory" after some levels) counts fewer instructions: the
# script stops there rather than print that figure.
count() {
  valgrind --tool=cachegrind --cache-sim=no --cachegrind-out-file="$work/cg.out" "$1" \
    input "$input" output "$work/out.txt" sigma "$SIGMA" "${@:2}" > /dev/null 2> "$work/cg.err" ||
    die "$1 failed under valgrind: $(grep -v -E '^(==|--)[0-9]+(==|--)' "$work/cg.err" | head -1)"
  grep -E 'I\s+refs' "$work/cg.err" | awk '{ gsub(",", "", $NF); print $NF }'
}
base=$(count "$BASE" "$@") || exit 2
new=$(count "$NEW" "$@") || exit 2
echo "base $base instructions ($BASE)"
echo "new  $new instructions ($NEW)"
python3 -c "print(f'change {($new - $base) / $base:+.2%}')"
