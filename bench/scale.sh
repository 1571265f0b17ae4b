#!/usr/bin/env bash
# A run larger than its memory, measured. Not a test: it prints a table and adds
# it to bench/RESULTS.md (section "Larger than memory").
#
# 1. Generates a market-basket dataset with build/generate_baskets (fixed seed;
#    by default 20M transactions of average length 20 over 10,000 items, about
#    2 GB of text), kept in the cache directory for later runs.
# 2. Mines it three times at the same support: without any cap, with the
#    option "memory <cap MiB>", and under "prlimit --as" of <as MiB> (the
#    address-space limit, which the run reads as part of its budget).
# 3. For each run prints wall seconds, peak RSS (GNU time %M), the levels
#    counted out of core ("hop" rows) and in memory (the other rows after
#    level 2), the itemsets written and the canonical hash of the output
#    (items sorted within each line, lines sorted, sha256). The capped runs
#    must complete with the uncapped run's hash: a difference fails the script.
#
# Usage: bench/scale.sh [options]
#   --kestrel PATH        binary (default: <repo>/build/kestrel; generate_baskets beside it)
#   --transactions D      transactions to generate (default 20000000)
#   --length T            average transaction length (default 20)
#   --items N             items (default 10000)
#   --sigma S             absolute support (default D / 400)
#   --memory MIB          the "memory" option's cap (default 512)
#   --as MIB              prlimit --as cap (default 1024)
#   --quick               200,000 transactions, caps 16 and 128 MiB: checks the script
#   --out DIR             where RESULTS.md goes (default bench/; --quick: a temporary directory)
# Environment: KESTREL_BENCH_CACHE (where the dataset is kept; default
# /tmp/kestrel-bench-cache).
set -u

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
KESTREL="$ROOT/build/kestrel"
D=20000000
T=20
N=10000
SIGMA=""
CAP=512
AS_CAP=1024
OUT=""
QUICK=0

die() { echo "bench/scale.sh: $*" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --kestrel) KESTREL="${2:?}"; shift 2 ;;
    --transactions) D="${2:?}"; shift 2 ;;
    --length) T="${2:?}"; shift 2 ;;
    --items) N="${2:?}"; shift 2 ;;
    --sigma) SIGMA="${2:?}"; shift 2 ;;
    --memory) CAP="${2:?}"; shift 2 ;;
    --as) AS_CAP="${2:?}"; shift 2 ;;
    --quick) QUICK=1; shift ;;
    --out) OUT="${2:?}"; shift 2 ;;
    -h|--help) sed -n '2,/^set -u/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown option $1 (see --help)" ;;
  esac
done
if [ "$QUICK" = 1 ]; then D=200000; CAP=16; AS_CAP=128; fi
for v in "$D" "$T" "$N" "$CAP" "$AS_CAP"; do
  case "$v" in ''|*[!0-9]*|0) die "numbers must be whole and at least 1 (got \"$v\")" ;; esac
done
[ -n "$SIGMA" ] || SIGMA=$((D / 400))
KESTREL="$(readlink -f "$KESTREL")"
GENERATOR="$(dirname "$KESTREL")/generate_baskets"
[ -x "$KESTREL" ] || die "no kestrel binary at $KESTREL (cmake --build build --target kestrel generate_baskets)"
[ -x "$GENERATOR" ] || die "no generate_baskets at $GENERATOR"
[ -x /usr/bin/time ] || die "GNU time (/usr/bin/time) is missing (Debian package time)"
command -v prlimit >/dev/null 2>&1 || die "prlimit is missing (Debian package util-linux)"

CACHE="${KESTREL_BENCH_CACHE:-${TMPDIR:-/tmp}/kestrel-bench-cache}"
mkdir -p "$CACHE" || die "cannot create $CACHE"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/kestrel-scale-XXXXXX")" || die "no temporary directory"
trap 'rm -rf "$WORK"' EXIT
if [ -z "$OUT" ]; then
  if [ "$QUICK" = 1 ]; then OUT="$WORK/results"; else OUT="$ROOT/bench"; fi
fi
mkdir -p "$OUT" || die "cannot create $OUT"

DATA="$CACHE/baskets-T${T}-I6-D${D}-N${N}-L2000-seed7.dat"
if [ ! -s "$DATA" ]; then
  echo "generating $DATA"
  "$GENERATOR" T "$T" I 6 D "$D" N "$N" L 2000 seed 7 output "$DATA.part" ||
    die "generate_baskets failed"
  mv "$DATA.part" "$DATA"
fi
DATA_MIB=$(( $(stat -c %s "$DATA") >> 20 ))

canonical_hash() {  # $1 output file
  awk '{ n = NF - 1  # insertion sort of the items, as numbers
         for (i = 1; i <= n; ++i) {
           v = $i + 0; j = i - 1
           while (j >= 1 && a[j] > v) { a[j + 1] = a[j]; --j }
           a[j + 1] = v
         }
         line = ""; for (i = 1; i <= n; ++i) line = line a[i] " "; print line $NF }' "$1" |
    LC_ALL=C sort | sha256sum | cut -c1-16
}

ROWS=""
UNCAPPED_HASH=""
FAILED=0
# $1 label, then the command prefix (may be empty) before kestrel, then "--", then options.
measure() {
  local label="$1"; shift
  local prefix=()
  while [ "$1" != "--" ]; do prefix+=("$1"); shift; done
  shift
  local dir="$WORK/$label"
  mkdir -p "$dir"
  (cd "$dir" && /usr/bin/time -f "%e %M" -o time.txt "${prefix[@]}" "$KESTREL" \
     input "$DATA" output out.txt sigma "$SIGMA" "$@" >stdout.txt 2>stderr.txt)
  local status=$?
  local wall peak hop mem itemsets hash
  read -r wall peak < <(tail -1 "$dir/time.txt")
  if [ $status -ne 0 ]; then
    ROWS+="| $label | failed: $(head -c 120 "$dir/stderr.txt" | tr '\n' ' ') | | | | | |"$'\n'
    echo "$label: exit $status: $(cat "$dir/stderr.txt")"
    FAILED=1
    return
  fi
  hop=$(grep -c '^ *[0-9]*: *	 hop ' "$dir/stdout.txt")
  mem=$(grep -c '^ *[0-9]*: *	 zax' "$dir/stdout.txt")
  itemsets=$(wc -l <"$dir/out.txt")
  hash=$(canonical_hash "$dir/out.txt")
  rm -f "$dir/out.txt"
  if [ -z "$UNCAPPED_HASH" ]; then
    UNCAPPED_HASH="$hash"
  elif [ "$hash" != "$UNCAPPED_HASH" ]; then
    echo "$label: output differs from the uncapped run ($hash vs $UNCAPPED_HASH)"
    FAILED=1
  fi
  ROWS+="| $label | $wall | $((peak / 1024)) | $hop | $mem | $itemsets | $hash |"$'\n'
  printf '%-28s %8s s %7s MiB  %2s out of core, %2s in memory  %9s itemsets  %s\n' \
    "$label" "$wall" "$((peak / 1024))" "$hop" "$mem" "$itemsets" "$hash"
}

echo "data: $DATA ($DATA_MIB MiB), sigma $SIGMA"
measure "uncapped" -- 
measure "memory $CAP" -- memory "$CAP"
measure "prlimit --as ${AS_CAP} MiB" prlimit --as=$((AS_CAP << 20)) --
TABLE="## Larger than memory ($(date -u +%Y-%m-%d), $(nproc) cores)

Data: generate_baskets T $T I 6 D $D N $N L 2000 seed 7, $DATA_MIB MiB of text; sigma $SIGMA.
Levels: progress rows counted out of core (\"hop\") and in memory (the others after level 2).
Hash: sha256 of the output with items sorted within lines and lines sorted (first 16 digits).

| run | wall s | peak MiB | levels out of core | levels in memory | itemsets | hash |
|---|---|---|---|---|---|---|
$ROWS"
RESULTS="$OUT/RESULTS.md"
if [ -f "$RESULTS" ] && grep -q '^## Larger than memory' "$RESULTS"; then
  # Replace the previous section (it runs to the next "## " heading or the end).
  awk -v table="$TABLE" '
    /^## Larger than memory/ { print table; skip = 1; next }
    skip && /^## / { skip = 0 }
    !skip { print }' "$RESULTS" >"$RESULTS.new" && mv "$RESULTS.new" "$RESULTS"
else
  printf '\n%s' "$TABLE" >>"$RESULTS"
fi
echo "written to $RESULTS"
[ "$FAILED" = 0 ] || { echo "bench/scale.sh: a capped run failed or differed" >&2; exit 1; }
