#!/usr/bin/env bash
# Two KESTREL binaries must behave the same: each row is run by both, under each
# set of options, and the standard output (the seconds of the progress rows and
# the total time masked), the standard error, the exit status and the output
# file are compared byte for byte. Prints a table and exits with status 1 when
# anything differs (2: the script could not run).
#
# Usage: bench/compare.sh --base PATH --new PATH [options]
#   --rows LIST     comma-separated rows (default: every row below); --small: the
#                   rows that take seconds (basket*, chess-small, mushroom-small,
#                   retail-small, T10-small, million-small and the constrained
#                   ones on them)
#   --options LIST  sets of extra arguments separated by ";" (default:
#                   "threads 1;;threads 3;memory 1": one thread, the default,
#                   three threads, and a 1 MiB memory cap)
#   --keep DIR      keep every run's files in DIR (default: a temporary directory,
#                   removed at the end unless something differs)
# Rows (data:support, then arguments; the attribute file of the real data and
# the million row is row 0 = (id * 2654435761) mod 100, made into the cache):
#   basket, basket-sumleq       examples/basket.dat at 40, plain and sumleq [0,200]
#   basket-bad                  a malformed constraint: the error must match too
#   chess, mushroom, retail, T10I4D100K, million: the benchmark's lowest supports
#   *-small                     the same data at supports that take seconds
#   chess-small-sumleq, retail-small-maxleq, mushroom-small-minleq,
#   T10-small-avggeq2           constrained: anti-monotone, monotone, convertible
# Environment: KESTREL_DATA and KESTREL_BENCH_CACHE as for bench/run.sh.
set -u

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BASE=""; NEW=""; ROWS=""; KEEP=""
OPTIONS="threads 1;;threads 3;memory 1"
die() { echo "bench/compare.sh: $*" >&2; exit 2; }

ALL_ROWS="basket basket-sumleq basket-bad chess-small mushroom-small retail-small T10-small
million-small chess-small-sumleq retail-small-maxleq mushroom-small-minleq T10-small-avggeq2
chess mushroom retail T10I4D100K million"
SMALL_ROWS="basket basket-sumleq basket-bad chess-small mushroom-small retail-small T10-small
million-small chess-small-sumleq retail-small-maxleq mushroom-small-minleq T10-small-avggeq2"

while [ $# -gt 0 ]; do
  case "$1" in
    --base) BASE="${2:?}"; shift 2 ;;
    --new) NEW="${2:?}"; shift 2 ;;
    --rows) ROWS="${2:?}"; shift 2 ;;
    --small) ROWS="$(echo $SMALL_ROWS | tr ' ' ,)"; shift ;;
    --options) OPTIONS="${2?}"; shift 2 ;;
    --keep) KEEP="${2:?}"; shift 2 ;;
    -h|--help) sed -n '2,/^set -u/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown option $1 (see --help)" ;;
  esac
done
[ -n "$BASE" ] && [ -n "$NEW" ] || die "--base and --new are both needed"
BASE="$(readlink -f "$BASE")"; NEW="$(readlink -f "$NEW")"
[ -x "$BASE" ] || die "no binary at $BASE"
[ -x "$NEW" ] || die "no binary at $NEW"
[ -n "$ROWS" ] || ROWS="$(echo $ALL_ROWS | tr ' ' ,)"

CACHE="${KESTREL_BENCH_CACHE:-${TMPDIR:-/tmp}/kestrel-bench-cache}"
mkdir -p "$CACHE" || die "cannot create $CACHE"
if [ -n "$KEEP" ]; then
  WORK="$KEEP"; mkdir -p "$WORK" || die "cannot create $WORK"
else
  WORK="$(mktemp -d "${TMPDIR:-/tmp}/kestrel-compare-XXXXXX")" || die "no temporary directory"
fi
. "$ROOT/bench/inputs.sh"
DATA="$(cd "$(find_data)" 2>/dev/null && pwd)" || DATA=""

# The attribute file of an input: row 0 = (id * 2654435761) mod 100 up to its largest id.
attributes_of() {
  local input="$1" attrs largest
  attrs="$CACHE/$(basename "$input" .dat).attr"
  if [ ! -s "$attrs" ] || [ "$input" -nt "$attrs" ]; then
    largest=$(tr -cs '0-9' '\n' < "$input" | sort -n | tail -1)
    awk -v n="$largest" 'BEGIN { for (i = 0; i <= n; i++) printf "%d%s", (i * 2654435761) % 100, (i < n ? " " : "\n") }' > "$attrs"
  fi
  echo "$attrs"
}

# The arguments of a row (input and attributes as absolute paths), or status 1
# with the reason on stderr.
row_arguments() {
  local row="$1" data sigma input extra=""
  case "$row" in
    basket) echo "input $ROOT/examples/basket.dat sigma 40"; return ;;
    basket-sumleq) echo "input $ROOT/examples/basket.dat sigma 40 attributes $ROOT/examples/prices.txt sumleq [0,200]"; return ;;
    basket-bad) echo "input $ROOT/examples/basket.dat sigma 40 attributes $ROOT/examples/prices.txt sumleq [0,x]"; return ;;
    chess) data=chess; sigma=1000 ;;
    mushroom) data=mushroom; sigma=100 ;;
    retail) data=retail; sigma=3 ;;
    T10I4D100K) data=T10I4D100K; sigma=2 ;;
    million) data=million; sigma=2; MILLION_LINES=200000 ;;
    chess-small) data=chess; sigma=2000 ;;
    mushroom-small) data=mushroom; sigma=800 ;;
    retail-small) data=retail; sigma=50 ;;
    T10-small) data=T10I4D100K; sigma=100 ;;
    million-small) data=million; sigma=2; MILLION_LINES=2000 ;;
    chess-small-sumleq) data=chess; sigma=2000; extra="sumleq [0,200] lengeq [4]" ;;
    retail-small-maxleq) data=retail; sigma=50; extra="maxleq [0,20]" ;;
    mushroom-small-minleq) data=mushroom; sigma=800; extra="minleq [0,3]" ;;
    T10-small-avggeq2) data=T10I4D100K; sigma=100; extra="avggeq2 [0,70]" ;;
    *) echo "unknown row" >&2; return 1 ;;
  esac
  [ -n "$DATA" ] || [ "$data" = million ] || { echo "no data directory (set KESTREL_DATA)" >&2; return 1; }
  input="$(input_of "$data")" || return 1
  [ -n "$extra" ] && extra="attributes $(attributes_of "$input") $extra"
  echo "input $input sigma $sigma $extra"
}

# Runs binary $1 in a fresh directory $2 with the arguments after them.
run_in() {
  local bin="$1" dir="$2"
  shift 2
  rm -rf "$dir" && mkdir -p "$dir"
  ( cd "$dir" && "$bin" "$@" output out.txt > stdout.txt 2> stderr.txt; echo $? > status.txt )
  # The seconds of each progress row (the last number before an optional
  # passes column) and the total time are the only figures that may move.
  sed -E '/^ ?[0-9]+: \t/ s/(\t +)[0-9]+\.[0-9]+(( \t [0-9]+ passes)?)$/\1S\2/; s/Total time: .*/Total time: S/' \
    "$dir/stdout.txt" > "$dir/stdout.masked"
}

same() { cmp -s "$1" "$2" && echo same || echo DIFFERENT; }

differences=0
printf '%-24s %-10s %-9s %-9s %-9s %-9s\n' row options stdout stderr status output
IFS=';' read -r -a option_sets <<<"$OPTIONS"
[ "${OPTIONS: -1}" = ";" ] && option_sets+=("")
for row in ${ROWS//,/ }; do
  if ! args="$(row_arguments "$row" 2> "$WORK/row.err")"; then
    printf '%-24s %s\n' "$row" "skipped: $(head -1 "$WORK/row.err")"
    continue
  fi
  n=0
  for opts in "${option_sets[@]}"; do
    n=$((n + 1))
    dir="$WORK/$row.$n"
    # shellcheck disable=SC2086  # the row's words are the arguments
    run_in "$BASE" "$dir/base" $args $opts
    # shellcheck disable=SC2086
    run_in "$NEW" "$dir/new" $args $opts
    out_b="$dir/base/out.txt"; out_n="$dir/new/out.txt"
    if [ -e "$out_b" ] || [ -e "$out_n" ]; then
      output=$(cmp -s "$out_b" "$out_n" 2>/dev/null && echo same || echo DIFFERENT)
    else
      output="none"
    fi
    cols=("$(same "$dir/base/stdout.masked" "$dir/new/stdout.masked")"
          "$(same "$dir/base/stderr.txt" "$dir/new/stderr.txt")"
          "$(same "$dir/base/status.txt" "$dir/new/status.txt")" "$output")
    case " ${cols[*]} " in
      *DIFFERENT*) differences=$((differences + 1)) ;;
      *) [ -z "$KEEP" ] && rm -rf "$dir" ;;
    esac
    printf '%-24s %-10s %-9s %-9s %-9s %-9s\n' "$row" "${opts:-default}" "${cols[@]}"
  done
done
[ -s "$WORK/notes.txt" ] && cat "$WORK/notes.txt" >&2
if [ "$differences" -gt 0 ]; then
  echo "$differences run(s) differ; their files are in $WORK"
  exit 1
fi
[ -z "$KEEP" ] && rm -rf "$WORK"
echo "no difference"
exit 0
