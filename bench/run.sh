#!/usr/bin/env bash
# Benchmark of KESTREL against the fastest public frequent-itemset miner's figures,
# and of constrained mining against mining everything and filtering afterwards.
# Not a test: it prints tables, writes RESULTS.md and a PNG plot.
#
# Rows: the eight rows of the performance issue (real data from shared/data beside
# the repository, gunzipped into a cache directory) plus a generated row with about
# a million frequent items. Each row runs at the default settings and with
# "threads 1" (when the binary knows that option; "n/a" until then) and shows:
#   itemsets   lines of the output file (the empty itemset included)
#   wall s     median of the repetitions, output to a local file
#   cpu s      user + system CPU seconds, median of the repetitions: on a loaded
#              machine it moves less than wall time does
#   peak MiB   largest peak RSS of the repetitions (GNU time %M)
#   read s     cat of the input to /dev/null once; write s: dd of a file as large
#              as the output once (together the physical floor of a run)
#   ratio      wall / the fastest miner's wall in the table below
# A run that fails shows its error message in place of its figures.
#
# Constrained part: a few selective constraint combinations on chess and retail,
# with an attribute file made by this script (row 0: (id * 2654435761) mod 100).
# Each one is mined with the constraints, and without them followed by
# build/itemset_filter; both itemset counts are shown and the two results are
# compared (items sorted within each line, lines sorted): a difference fails the run.
#
# Build the binary profile-guided first, as the tables in RESULTS.md were:
#   cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKESTREL_PGO=ON
#   cmake --build build -j2 --target kestrel itemset_filter
# (RESULTS.md records which build it measured, from build/CMakeCache.txt.)
#
# Usage: bench/run.sh [options]
#   --kestrel PATH      binary to measure (default: <repo>/build/kestrel)
#   --filter PATH       itemset_filter (default: beside the kestrel binary)
#   --reps N            repetitions per timing, the median is shown (default 3)
#   --quick             small supports, one repetition, a small generated row:
#                       checks the script in a minute; results go to a temporary
#                       directory unless --out is given
#   --rows LIST         comma-separated subset of chess,mushroom,retail,T10I4D100K,million
#   --no-constrained    skip the constrained part; --constrained-only: only that part
#   --out DIR           where RESULTS.md and wall_vs_support.png go (default: bench/)
#   --note TEXT         how loaded the machine was, for RESULTS.md
#   --timeout SECONDS   per run (default 900); a run that takes longer shows "timeout"
# Environment: KESTREL_DATA (directory of the *.dat.gz files), KESTREL_BENCH_CACHE
# (where they are gunzipped and the generated row is kept; default /tmp/kestrel-bench-cache).
set -u

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
KESTREL="$ROOT/build/kestrel"
FILTER=""
REPS=3
QUICK=0
ROWS_WANTED="chess,mushroom,retail,T10I4D100K,million"
MAIN_PART=1
CONSTRAINED_PART=1
OUT=""
NOTE=""
TIMEOUT=900

die() { echo "bench/run.sh: $*" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --kestrel) KESTREL="${2:?}"; shift 2 ;;
    --filter) FILTER="${2:?}"; shift 2 ;;
    --reps) REPS="${2:?}"; shift 2 ;;
    --quick) QUICK=1; shift ;;
    --rows) ROWS_WANTED="${2:?}"; shift 2 ;;
    --no-constrained) CONSTRAINED_PART=0; shift ;;
    --constrained-only) MAIN_PART=0; shift ;;
    --out) OUT="${2:?}"; shift 2 ;;
    --note) NOTE="${2:?}"; shift 2 ;;
    --timeout) TIMEOUT="${2:?}"; shift 2 ;;
    -h|--help) sed -n '2,/^set -u/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown option $1 (see --help)" ;;
  esac
done
case "$REPS" in ''|*[!0-9]*|0) die "--reps needs a whole number of at least 1" ;; esac
[ "$QUICK" = 1 ] && REPS=1
KESTREL="$(readlink -f "$KESTREL")"
[ -x "$KESTREL" ] || die "no kestrel binary at $KESTREL (build it: cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKESTREL_PGO=ON && cmake --build build --target kestrel itemset_filter)"
[ -n "$FILTER" ] || FILTER="$(dirname "$KESTREL")/itemset_filter"
if [ "$CONSTRAINED_PART" = 1 ] && [ ! -x "$FILTER" ]; then
  die "no itemset_filter at $FILTER (cmake --build build --target itemset_filter, or --no-constrained)"
fi

. "$ROOT/bench/inputs.sh"
DATA="$(cd "$(find_data)" 2>/dev/null && pwd)" || die "no data directory (set KESTREL_DATA)"
CACHE="${KESTREL_BENCH_CACHE:-${TMPDIR:-/tmp}/kestrel-bench-cache}"
mkdir -p "$CACHE" || die "cannot create $CACHE"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/kestrel-bench-XXXXXX")" || die "no temporary directory"
trap 'rm -rf "$WORK"' EXIT
if [ -z "$OUT" ]; then
  if [ "$QUICK" = 1 ]; then OUT="$(mktemp -d "${TMPDIR:-/tmp}/kestrel-bench-results-XXXXXX")"; else OUT="$ROOT/bench"; fi
fi
mkdir -p "$OUT" || die "cannot create $OUT"

need_package() {  # $1 = command, $2 = Debian package
  command -v "$1" >/dev/null 2>&1 && return 0
  command -v apt-get >/dev/null 2>&1 || return 1
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "installing $2 (for $1)" >&2
  $sudo apt-get install -y -qq "$2" >/dev/null 2>&1 ||
    { $sudo apt-get update -qq >/dev/null 2>&1 && $sudo apt-get install -y -qq "$2" >/dev/null 2>&1; }
  command -v "$1" >/dev/null 2>&1
}
[ -x /usr/bin/time ] || need_package /usr/bin/time time || die "GNU time (/usr/bin/time) is missing"

# The fastest public miner (an FP-growth implementation in C writing the same
# itemsets and supports to a file), measured side by side with KESTREL on a 2-core
# machine on 2026-12-07 (medians of three alternated runs after a warm-up), as
# filed in the performance issue: data, support, itemsets, wall s, peak MiB.
# The generated row's figures are the issue's "1.1 s with 220 MB" (220e6 bytes).
FASTEST="chess 1200 9.76M 0.56 11
chess 1000 29.4M 1.69 11
mushroom 200 18.1M 1.04 12
mushroom 100 66.1M 4.03 12
retail 5 1.51M 0.66 78
retail 3 20.6M 2.07 111
T10I4D100K 10 0.41M 0.61 125
T10I4D100K 2 19.6M 2.27 150
million 2 6.2M 1.1 210"
fastest_field() {  # $1 data, $2 support, $3 field (3 itemsets, 4 wall, 5 peak) -> value or "-"
  awk -v d="$1" -v s="$2" -v f="$3" '$1 == d && $2 == s { v = $f } END { print (v == "" ? "-" : v) }' <<<"$FASTEST"
}

if [ "$QUICK" = 1 ]; then
  SUPPORTS="chess:2000 mushroom:800 retail:50 T10I4D100K:100 million:2"
  MILLION_LINES=2000  # 10,000 items: today's pair counters need 5 GiB for 100,000
  CONSTRAINED_SUPPORTS="chess:2000 retail:50"
else
  SUPPORTS="chess:1200 chess:1000 mushroom:200 mushroom:100 retail:5 retail:3 T10I4D100K:10 T10I4D100K:2 million:2"
  MILLION_LINES=200000
  CONSTRAINED_SUPPORTS="chess:1200 retail:5"
fi
# Selective combinations: anti-monotone, anti-monotone with a length floor,
# monotone, and convertible (the item order follows the attribute).
COMBOS="chess|maxleq [0,50]
chess|sumleq [0,200] lengeq [4]
chess|minleq [0,3]
chess|avggeq2 [0,70]
retail|maxleq [0,20]
retail|sumleq [0,100] lengeq [3]
retail|minleq [0,0]
retail|avggeq2 [0,90]"

wanted() { case ",$ROWS_WANTED," in *",$1,"*) return 0 ;; *) return 1 ;; esac; }


now_ns() { date +%s%N; }
seconds_since() { awk -v a="$1" -v b="$(now_ns)" 'BEGIN { printf "%.2f", (b - a) / 1e9 }'; }
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'; }
kib_to_mib() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else print "-" }'; }
# Items sorted within each line (as numbers), then the lines sorted: equal sets of
# itemsets with equal supports give equal text.
canonical() { awk '{ n = NF - 1; for (i = 2; i <= n; i++) { v = $i + 0; j = i - 1; while (j >= 1 && $j + 0 > v) { $(j + 1) = $j; j-- } $(j + 1) = v } print }' "$1" | LC_ALL=C sort; }

# Runs kestrel REPS times in a fresh directory (it writes "dataset.tmp" there).
# Sets: R_WALL, R_CPU (medians, s), R_PEAK (largest MiB), R_COUNT, R_BYTES, R_ERROR ("" when
# every run completed); the last output stays in $RUN_DIR/out.txt when keep=1.
RUN_DIR="$WORK/run"
measure() {  # $1 = keep (0/1), then kestrel's arguments except output
  local keep="$1" walls="" cpus="" peak=0 status start k rep
  shift
  R_WALL=""; R_CPU=""; R_PEAK=""; R_COUNT=""; R_BYTES=""; R_ERROR=""
  for ((rep = 1; rep <= REPS; rep++)); do
    rm -rf "$RUN_DIR" && mkdir -p "$RUN_DIR"
    start=$(now_ns)
    ( cd "$RUN_DIR" && timeout "$TIMEOUT" /usr/bin/time -f '%M %U %S' -o time.txt \
        "$KESTREL" "$@" output out.txt > stdout.txt 2> stderr.txt )
    status=$?
    walls="$walls $(seconds_since "$start")"
    if [ $status -eq 124 ]; then R_ERROR="timeout after $TIMEOUT s"; break; fi
    if [ $status -ne 0 ]; then
      R_ERROR="exit $status: $(grep -v '^Command exited' "$RUN_DIR/stderr.txt" | head -1)"
      break
    fi
    k=$(tail -1 "$RUN_DIR/time.txt" | cut -d' ' -f1)
    [ "$k" -gt "$peak" ] 2>/dev/null && peak=$k
    cpus="$cpus $(tail -1 "$RUN_DIR/time.txt" | awk '{ printf "%.2f", $2 + $3 }')"
    R_COUNT=$(wc -l < "$RUN_DIR/out.txt")
    R_BYTES=$(stat -c %s "$RUN_DIR/out.txt")
    [ "$rep" -lt "$REPS" ] || [ "$keep" = 1 ] || rm -f "$RUN_DIR/out.txt"
  done
  [ -n "$R_ERROR" ] && return 1
  R_WALL=$(median <<<"$walls")
  R_CPU=$(median <<<"$cpus")
  R_PEAK=$(kib_to_mib "$peak")
  return 0
}

read_floor() {  # $1 = file: seconds to read it once
  local start
  start=$(now_ns); cat "$1" > /dev/null; seconds_since "$start"
}
write_floor() {  # $1 = bytes: seconds to write that many once
  local start f="$WORK/floor.bin"
  start=$(now_ns)
  dd if=/dev/zero of="$f" bs=4M count="$1" iflag=count_bytes status=none
  seconds_since "$start"
  rm -f "$f"
}

HAS_THREADS=0
"$KESTREL" 2>&1 | grep -qE '^threads[[:space:]]' && HAS_THREADS=1

DATE="$(date -u '+%Y-%m-%d %H:%M UTC')"
LOAD_BEFORE="$(cut -d' ' -f1-3 /proc/loadavg)"
COMMIT="$(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || echo unknown)"
# What this script writes (bench/) does not count: a new table over an old one
# would otherwise always read as uncommitted.
git -C "$ROOT" diff --quiet HEAD -- . ':(exclude)bench/RESULTS.md' ':(exclude)bench/wall_vs_support.png' 2>/dev/null ||
  COMMIT="$COMMIT (with uncommitted changes)"
CPU="$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
MACHINE="${CPU:-unknown CPU}, $(nproc) processors available, $(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -sr)"
FAILED_CHECKS=0

MAIN_MD="$WORK/main.md"
PLOT_DATA="$WORK/plot.dat"
: > "$MAIN_MD"; : > "$PLOT_DATA"
if [ "$MAIN_PART" = 1 ]; then
  row() { printf '%-10s %7s %9s %8s %7s %8s %8s %8s %6s %6s %7s %6s %6s %7s\n' "$@"; }
  row data support itemsets "wall s" "cpu s" "wall t1" "peak" "peak t1" "read" "write" fastest ratio "rt t1" "fst MiB"
  echo '| data | support | itemsets | wall s | cpu s | wall s, threads 1 | peak MiB | peak MiB, threads 1 | read s | write s | fastest miner s | ratio | ratio, threads 1 | fastest miner MiB |' >> "$MAIN_MD"
  echo '|---|---|---|---|---|---|---|---|---|---|---|---|---|---|' >> "$MAIN_MD"
  for entry in $SUPPORTS; do
    name="${entry%%:*}"; sigma="${entry#*:}"
    wanted "$name" || continue
    label="$name"
    [ "$name" = million ] && label="random ids x2 ($MILLION_LINES lines)"
    if ! input="$(input_of "$name" 2>"$WORK/input.err")"; then
      printf '%-10s %7s  error: %s\n' "$name" "$sigma" "$(head -1 "$WORK/input.err")"
      echo "| $label | $sigma | error: $(head -1 "$WORK/input.err") |||||||||||" >> "$MAIN_MD"
      continue
    fi
    fastest_wall=$(fastest_field "$name" "$sigma" 4)
    fastest_peak=$(fastest_field "$name" "$sigma" 5)
    [ "$name" = million ] && [ "$MILLION_LINES" != 200000 ] && { fastest_wall=-; fastest_peak=-; }
    wall=""; cpu=""; peak=""; count=""; bytes=""; wall1="n/a"; peak1="n/a"; ratio1="n/a"; error=""
    if measure 1 input "$input" sigma "$sigma"; then
      wall=$R_WALL; cpu=$R_CPU; peak=$R_PEAK; count=$R_COUNT; bytes=$R_BYTES
      mv "$RUN_DIR/out.txt" "$WORK/default.out"
    else
      error="$R_ERROR"
    fi
    same=""
    if [ "$HAS_THREADS" = 1 ]; then
      if measure 1 input "$input" sigma "$sigma" threads 1; then
        wall1=$R_WALL; peak1=$R_PEAK; ratio1=$(ratio "$wall1" "$fastest_wall")
        # Threads must not change a byte of the output.
        if [ -z "$error" ] && ! cmp -s "$WORK/default.out" "$RUN_DIR/out.txt"; then
          same="output of threads 1 differs from the default run"
          FAILED_CHECKS=$((FAILED_CHECKS + 1))
        fi
      else
        wall1="failed"; peak1="-"; ratio1="-"
        [ -z "$error" ] && error="threads 1: $R_ERROR"
      fi
    fi
    rm -f "$WORK/default.out" "$RUN_DIR/out.txt"
    read_s=$(read_floor "$input")
    if [ -n "$count" ]; then
      write_s=$(write_floor "$bytes")
      row "$name" "$sigma" "$count" "$wall" "$cpu" "$wall1" "$peak" "$peak1" "$read_s" "$write_s" \
        "$fastest_wall" "$(ratio "$wall" "$fastest_wall")" "$ratio1" "$fastest_peak"
      echo "| $label | $sigma | $count | $wall | $cpu | $wall1 | $peak | $peak1 | $read_s | $write_s | $fastest_wall | $(ratio "$wall" "$fastest_wall") | $ratio1 | $fastest_peak |" >> "$MAIN_MD"
      echo "$name $sigma $wall $wall1" >> "$PLOT_DATA"
    fi
    if [ -n "$error" ]; then
      printf '%-10s %7s  error: %s\n' "$name" "$sigma" "$error"
      echo "| $label | $sigma | error: \`$error\` | | | | | | $read_s | | $fastest_wall | | | $fastest_peak |" >> "$MAIN_MD"
    fi
    [ -n "$same" ] && { printf '%-10s %7s  CHECK FAILED: %s\n' "$name" "$sigma" "$same"; echo "| $label | $sigma | CHECK FAILED: $same |||||||||||" >> "$MAIN_MD"; }
  done
fi

CONSTRAINED_MD="$WORK/constrained.md"
: > "$CONSTRAINED_MD"
if [ "$CONSTRAINED_PART" = 1 ]; then
  echo
  crow() { printf '%-7s %7s %-26s %9s %8s %8s %8s %8s %6s %9s %s\n' "$@"; }
  crow data support constraints itemsets "pushed" "mine all" "filter" "sum" "gain" "filtered" check
  echo '| data | support | constraints | itemsets (pushed) | pushed s | mine all s | filter s | mine all + filter s | gain | itemsets (filtered) | same itemsets |' >> "$CONSTRAINED_MD"
  echo '|---|---|---|---|---|---|---|---|---|---|---|' >> "$CONSTRAINED_MD"
  for entry in $CONSTRAINED_SUPPORTS; do
    name="${entry%%:*}"; sigma="${entry#*:}"
    if ! input="$(input_of "$name" 2>"$WORK/input.err")"; then
      echo "$name: $(head -1 "$WORK/input.err")"; continue
    fi
    attrs="$CACHE/$name.attr"
    if [ ! -s "$attrs" ] || [ "$input" -nt "$attrs" ]; then
      largest=$(tr -cs '0-9' '\n' < "$input" | sort -n | tail -1)
      awk -v n="$largest" 'BEGIN { for (i = 0; i <= n; i++) printf "%d%s", (i * 2654435761) % 100, (i < n ? " " : "\n") }' > "$attrs"
    fi
    if ! measure 1 input "$input" sigma "$sigma"; then
      echo "$name $sigma without constraints: $R_ERROR"
      echo "| $name | $sigma | none | error: \`$R_ERROR\` |||||||" >> "$CONSTRAINED_MD"
      continue
    fi
    all_wall=$R_WALL
    mv "$RUN_DIR/out.txt" "$WORK/all.out"
    while IFS='|' read -r cname words; do
      [ "$cname" = "$name" ] || continue
      # shellcheck disable=SC2086  # the constraint words are meant to split
      if ! measure 1 input "$input" sigma "$sigma" attributes "$attrs" $words; then
        printf '%-7s %7s %-26s error: %s\n' "$name" "$sigma" "$words" "$R_ERROR"
        echo "| $name | $sigma | \`$words\` | error: \`$R_ERROR\` |||||||" >> "$CONSTRAINED_MD"
        FAILED_CHECKS=$((FAILED_CHECKS + 1))
        continue
      fi
      pushed_wall=$R_WALL; pushed_count=$R_COUNT
      mv "$RUN_DIR/out.txt" "$WORK/pushed.out"
      filter_walls=""; filter_error=""
      for ((rep = 1; rep <= REPS; rep++)); do
        start=$(now_ns)
        # shellcheck disable=SC2086
        "$FILTER" "$WORK/all.out" "$attrs" "$WORK/filtered.out" $words 2> "$WORK/filter.err" ||
          { filter_error="$(head -1 "$WORK/filter.err")"; break; }
        filter_walls="$filter_walls $(seconds_since "$start")"
      done
      if [ -n "$filter_error" ]; then
        check="filter failed: $filter_error"; filter_wall="-"; filtered_count="-"
        FAILED_CHECKS=$((FAILED_CHECKS + 1))
      else
        filter_wall=$(median <<<"$filter_walls")
        filtered_count=$(wc -l < "$WORK/filtered.out")
        if cmp -s <(canonical "$WORK/pushed.out") <(canonical "$WORK/filtered.out"); then
          check="same"
        else
          check="DIFFERENT"
          FAILED_CHECKS=$((FAILED_CHECKS + 1))
        fi
      fi
      total=$(awk -v a="$all_wall" -v b="$filter_wall" 'BEGIN { if (b == "-") print "-"; else printf "%.2f", a + b }')
      gain=$(ratio "$total" "$pushed_wall")
      crow "$name" "$sigma" "$words" "$pushed_count" "$pushed_wall" "$all_wall" "$filter_wall" "$total" "$gain" "$filtered_count" "$check"
      echo "| $name | $sigma | \`$words\` | $pushed_count | $pushed_wall | $all_wall | $filter_wall | $total | $gain | $filtered_count | $check |" >> "$CONSTRAINED_MD"
      rm -f "$WORK/pushed.out" "$WORK/filtered.out"
    done <<<"$COMBOS"
    rm -f "$WORK/all.out"
  done
fi
LOAD_AFTER="$(cut -d' ' -f1-3 /proc/loadavg)"

# Plot: wall time against support, one panel per dataset, KESTREL at the default
# settings and with threads 1 against the fastest miner's figures.
PLOT="$OUT/wall_vs_support.png"
plot_made=0
if [ "$MAIN_PART" = 1 ] && [ -s "$PLOT_DATA" ]; then
  if need_package gnuplot gnuplot-nox; then
    # The generated row's figure holds for the full-size file only.
    awk -v lines="$MILLION_LINES" '$1 != "million" || lines == 200000 { print $1, $2, $4 }' <<<"$FASTEST" > "$WORK/fastest.dat"
    {
      echo 'set terminal pngcairo size 1500,900 font ",10"'
      echo "set output '$PLOT'"
      echo "set multiplot layout 2,3 title 'Wall time against support ($DATE, $COMMIT)'"
      echo 'set logscale y; set xlabel "support (sigma)"; set ylabel "wall s"; set key top right; set grid'
      for name in chess mushroom retail T10I4D100K million; do
        grep -q "^$name " "$PLOT_DATA" "$WORK/fastest.dat" || continue
        echo "set title '$name'"
        if [ "$name" = million ]; then echo 'set xrange [0:4]'; else echo 'set xrange [0:*]'; fi
        echo "plot '< grep \"^$name \" $PLOT_DATA | sort -k2 -n' using 2:3 with linespoints title 'KESTREL (default threads)', \\"
        echo "     '< grep \"^$name \" $PLOT_DATA | sort -k2 -n' using 2:(\$4 > 0 ? \$4 : 1/0) with linespoints title 'KESTREL (threads 1)', \\"
        echo "     '< grep \"^$name \" $WORK/fastest.dat | sort -k2 -n' using 2:3 with linespoints title 'fastest public miner (2026-12-07)'"
      done
      echo 'unset multiplot'
    } > "$WORK/plot.gp"
    if gnuplot "$WORK/plot.gp" 2> "$WORK/gnuplot.err"; then
      plot_made=1
    else
      # pngcairo may be missing from a gnuplot build; the plain png terminal then.
      sed -i 's/^set terminal pngcairo size 1500,900 font ",10"/set terminal png size 1500,900/' "$WORK/plot.gp"
      gnuplot "$WORK/plot.gp" 2>> "$WORK/gnuplot.err" && plot_made=1 || echo "gnuplot failed: $(head -3 "$WORK/gnuplot.err")" >&2
    fi
  else
    echo "gnuplot is not installed and could not be installed: no plot" >&2
  fi
fi

# Sections of an earlier RESULTS.md that this script does not write (the
# larger-than-memory run of bench/scale.sh, the kestrel-mpi figures) are kept.
KEPT="$WORK/kept.md"
: > "$KEPT"
if [ -f "$OUT/RESULTS.md" ]; then
  awk '/^## /{keep = ($0 !~ /^## KESTREL against the fastest public miner/ &&
                      $0 !~ /^## Constrained mining:/)} keep' "$OUT/RESULTS.md" > "$KEPT"
fi
{
  echo "# Benchmark results"
  echo
  echo "Written by \`bench/run.sh$([ "$QUICK" = 1 ] && echo ' --quick')\` (read its header for what each column means)."
  echo
  echo "- Date: $DATE"
  echo "- Machine: $MACHINE"
  echo "- Commit: $COMMIT; binary: \`$KESTREL\` ($(build_of "$KESTREL"))"
  echo "- Repetitions: $REPS (wall: median; peak: largest)"
  echo "- Load average (1, 5, 15 min) before: $LOAD_BEFORE; after: $LOAD_AFTER${NOTE:+. $NOTE}"
  [ -s "$WORK/notes.txt" ] && sed 's/^/- /' "$WORK/notes.txt"
  if [ "$HAS_THREADS" = 0 ]; then
    echo "- This binary has no \"threads\" option yet: the threads-1 columns read n/a."
  fi
  if [ "$MAIN_PART" = 1 ]; then
    echo
    echo "## KESTREL against the fastest public miner"
    echo
    echo "The fastest miner's figures are not measured here: they are the side-by-side"
    echo "run of 2026-12-07 on a 2-core machine filed with the performance issue. Read s"
    echo "and write s are the physical floor: reading the input once, writing as many"
    echo "bytes as the output once. Counts include the empty itemset."
    echo
    cat "$MAIN_MD"
    [ "$plot_made" = 1 ] && { echo; echo "![wall time against support](wall_vs_support.png)"; }
  fi
  if [ "$CONSTRAINED_PART" = 1 ]; then
    echo
    echo "## Constrained mining: constraints pushed into the miner against filtering afterwards"
    echo
    echo "Attribute row 0: value (id * 2654435761) mod 100 for every id. \"Pushed\" mines"
    echo "with the constraints; \"mine all + filter\" mines without them and keeps the"
    echo "satisfying lines with \`itemset_filter\` (tools/). Gain = (mine all + filter) /"
    echo "pushed. \"Same itemsets\" compares both results with the items of each line"
    echo "and the lines sorted."
    echo
    cat "$CONSTRAINED_MD"
  fi
  [ -s "$KEPT" ] && { echo; cat "$KEPT"; }
} > "$OUT/RESULTS.md"
[ -s "$WORK/notes.txt" ] && cat "$WORK/notes.txt" >&2
echo
echo "wrote $OUT/RESULTS.md$([ "$plot_made" = 1 ] && echo " and $PLOT")"
if [ "$FAILED_CHECKS" -gt 0 ]; then
  echo "$FAILED_CHECKS check(s) failed" >&2
  exit 1
fi
exit 0
