#!/usr/bin/env bash
# Benchmark: runs kestrel on the real datasets (../shared/data beside the project)
# at the standard supports and prints one table row per run: dataset, support, hop,
# itemsets written, wall seconds, peak RSS, and the size of "dataset.tmp" after
# the first scan (the "size kB" column of progress row 1). Not a test.
#
# Usage: bench/run.sh [dataset ...]          (default: all four)
# Environment:
#   HOP="3"            hop values to run, blank-separated (e.g. HOP="-1 3 100")
#   CONSTRAINED=1      also run each case with CONSTRAINTS and a generated attribute file
#   CONSTRAINTS="..."  constraint words (default: "sumleq [0,2500] varleq [0,900]")
#   BUILD_DIR=...      Release build directory (default: <project>/build-release)
#   TIMEOUT=seconds    per run (default 900); a run that times out prints "timeout"
#   KEEP=1             keep the work directory (outputs can be large)
set -u

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DATA="${DATA:-$ROOT/../shared/data}"
BUILD_DIR="${BUILD_DIR:-$ROOT/build-release}"
HOP="${HOP:-3}"
TIMEOUT="${TIMEOUT:-900}"
CONSTRAINTS="${CONSTRAINTS:-sumleq [0,2500] varleq [0,900]}"

declare -A SUPPORTS=(
  [chess]="2000 1200"
  [mushroom]="800 200"
  [retail]="5 3"
  [T10I4D100K]="10 2"
)
DATASETS=("$@")
[ ${#DATASETS[@]} -eq 0 ] && DATASETS=(chess mushroom retail T10I4D100K)

if [ ! -d "$DATA" ]; then
  echo "no data directory: $DATA" >&2
  exit 1
fi
if [ ! -x /usr/bin/time ]; then
  echo "installing GNU time (for peak RSS)" >&2
  apt-get install -y time >/dev/null 2>&1 || { apt-get update >/dev/null 2>&1 && apt-get install -y time >/dev/null 2>&1; }
  [ -x /usr/bin/time ] || { echo "/usr/bin/time is missing" >&2; exit 1; }
fi

# Release build of the program only (the tests are not needed here).
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
fi
cmake --build "$BUILD_DIR" --target kestrel -j2 >/dev/null 2>&1 || { echo "build failed" >&2; exit 1; }
KESTREL="$BUILD_DIR/kestrel"

WORK="$(mktemp -d /tmp/kestrel-bench-XXXXXX)"
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$WORK"' EXIT

# An attribute file with one row: a pseudo-random value 0..99 for every id up to the largest.
make_attributes() {  # $1 = plain data file, $2 = attribute file
  local max
  max=$(tr -s ' \t\r' '\n\n\n' < "$1" | grep -E '^[0-9]+$' | sort -n | tail -1)
  awk -v n="$max" 'BEGIN { for (i = 0; i <= n; i++) printf "%d%s", (i * 2654435761) % 100, (i < n ? " " : "\n") }' > "$2"
}

printf '%-11s %8s %5s %-11s %12s %9s %10s %12s\n' dataset support hop constraints itemsets seconds "RSS MB" "tmp kB"
for ds in "${DATASETS[@]}"; do
  gz="$DATA/$ds.dat.gz"
  if [ ! -f "$gz" ]; then echo "missing $gz" >&2; continue; fi
  plain="$WORK/$ds.dat"
  gzip -dc "$gz" > "$plain"
  variants=("none")
  if [ "${CONSTRAINED:-0}" = 1 ]; then
    make_attributes "$plain" "$WORK/$ds.attr"
    variants+=("constrained")
  fi
  for sigma in ${SUPPORTS[$ds]:-}; do
    for hop in $HOP; do
      for variant in "${variants[@]}"; do
        run_dir="$WORK/run"
        rm -rf "$run_dir" && mkdir -p "$run_dir"
        extra=()
        if [ "$variant" = constrained ]; then
          # shellcheck disable=SC2206  # the words are meant to split
          extra=(attributes "$WORK/$ds.attr" $CONSTRAINTS)
        fi
        ( cd "$run_dir" && timeout "$TIMEOUT" /usr/bin/time -v -o time.txt \
            "$KESTREL" input "$plain" output out.txt sigma "$sigma" hop "$hop" "${extra[@]}" \
            > stdout.txt 2> stderr.txt )
        status=$?
        if [ $status -eq 124 ]; then
          written=timeout
        elif [ $status -ne 0 ]; then
          written="exit$status"
        else
          written=$(wc -l < "$run_dir/out.txt")
        fi
        secs=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.2f", s }' "$run_dir/time.txt" 2>/dev/null)
        rss=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$run_dir/time.txt" 2>/dev/null)
        tmp_kb=$(awk '$1 == "1:" { print $7; exit }' "$run_dir/stdout.txt")
        printf '%-11s %8s %5s %-11s %12s %9s %10s %12s\n' "$ds" "$sigma" "$hop" "$variant" \
          "$written" "${secs:--}" "${rss:--}" "${tmp_kb:--}"
        rm -f "$run_dir/out.txt"
      done
    done
  done
  rm -f "$plain"
done
