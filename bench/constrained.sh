#!/usr/bin/env bash
# Every constraint keyword, pushed into KESTREL, against the same run without
# constraints and against mining everything and filtering afterwards. Not a
# test: it prints a table, writes a section of RESULTS.md and a PNG plot.
#
# Rows: every keyword (35) on chess 1200, mushroom 200, retail 5 and T10I4D100K 2,
# each at three parameters chosen so that about 1 %, 10 % and 50 % of the frequent
# itemsets are written. Attributes come from a fixed seed (a Park-Miller generator):
# row 0 values 0..99, row 1 values 0..9, one per id. Each keyword reads row 0, but
# asupseteq and acount* read row 1 (few distinct values). Parameters are searched on
# a sample of the unconstrained output with itemset_filter (bisection over the
# threshold, or over how many items or values a list holds; a grid for acount*;
# the item closest to the target for supseteq) and cached.
#
# Columns: keyword class; target %; parameters; itemsets written and their share
# of the unconstrained result; pushed s (median wall); unconstrained s (the same
# run without the constraint: the median of its last three runs, one made before
# each keyword, see refresh_unconstrained); all+filter s
# (unconstrained s + itemset_filter over its output, median of --filter-reps);
# fastest s (the fastest public miner mining everything, only with --fastest); the
# ratios pushed / unconstrained, pushed / all+filter and pushed / fastest; and
# "same": whether the pushed and filtered outputs hold the same itemsets with the
# same supports, whatever the order of lines and items (itemset_digest's
# fingerprints). A difference is a fault in the program or in the filter: it is
# printed on stderr, both files are kept under the cache, and the script exits 1.
#
# Usage: bench/constrained.sh [options]
#   --kestrel PATH      binary to measure (default: <repo>/build/kestrel)
#   --filter PATH       itemset_filter (default: beside the kestrel binary)
#   --rows LIST         comma-separated data:support (default
#                       chess:1200,mushroom:200,retail:5,T10I4D100K:2)
#   --keywords LIST     comma-separated keywords (default: all 35); --classes LIST
#                       selects whole classes: succinct, monotone, anti-monotone,
#                       length, monotone+loose, loose, convertible
#   --targets LIST      target shares in % (default 1,10,50)
#   --reps N            repetitions per timing, the median is shown (default 3)
#   --filter-reps N     repetitions of itemset_filter (default 1: its time hardly varies)
#   --fastest CMD       command of the fastest public miner mining everything, with
#                       {input}, {sigma} and {output} in it (also KESTREL_FASTEST_MINER);
#                       never fetched or run unless given
#   --sample N          lines of the unconstrained output the search reads (default 20000)
#   --results FILE      the markdown file whose section this run replaces (default
#                       bench/RESULTS.md; "-" writes none); the plot goes beside it
#   --note TEXT         how loaded the machine was, for the results
#   --timeout SECONDS   per run (default 900)
# Environment: KESTREL_DATA (directory of the *.dat.gz files), KESTREL_BENCH_CACHE
# (inputs, attributes and found parameters; default /tmp/kestrel-bench-cache).
set -u

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
KESTREL="$ROOT/build/kestrel"
FILTER=""
ROWS="chess:1200,mushroom:200,retail:5,T10I4D100K:2"
KEYWORDS_WANTED=""
CLASSES_WANTED=""
TARGETS="1,10,50"
REPS=3
FILTER_REPS=1
FASTEST="${KESTREL_FASTEST_MINER:-}"
SAMPLE=20000
RESULTS="$ROOT/bench/RESULTS.md"
NOTE=""
TIMEOUT=900
SEED=20261210

die() { echo "bench/constrained.sh: $*" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --kestrel) KESTREL="${2:?}"; shift 2 ;;
    --filter) FILTER="${2:?}"; shift 2 ;;
    --rows) ROWS="${2:?}"; shift 2 ;;
    --keywords) KEYWORDS_WANTED="${2:?}"; shift 2 ;;
    --classes) CLASSES_WANTED="${2:?}"; shift 2 ;;
    --targets) TARGETS="${2:?}"; shift 2 ;;
    --reps) REPS="${2:?}"; shift 2 ;;
    --filter-reps) FILTER_REPS="${2:?}"; shift 2 ;;
    --fastest) FASTEST="${2:?}"; shift 2 ;;
    --sample) SAMPLE="${2:?}"; shift 2 ;;
    --results) RESULTS="${2:?}"; shift 2 ;;
    --note) NOTE="${2:?}"; shift 2 ;;
    --timeout) TIMEOUT="${2:?}"; shift 2 ;;
    -h|--help) sed -n '2,/^set -u/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown option $1 (see --help)" ;;
  esac
done
case "$REPS" in ''|*[!0-9]*|0) die "--reps needs a whole number of at least 1" ;; esac
case "$FILTER_REPS" in ''|*[!0-9]*|0) die "--filter-reps needs a whole number of at least 1" ;; esac
case "$SAMPLE" in ''|*[!0-9]*|0) die "--sample needs a whole number of at least 1" ;; esac
KESTREL="$(readlink -f "$KESTREL")"
[ -x "$KESTREL" ] || die "no kestrel binary at $KESTREL (cmake --build build --target kestrel itemset_filter itemset_digest)"
[ -n "$FILTER" ] || FILTER="$(dirname "$KESTREL")/itemset_filter"
[ -x "$FILTER" ] || die "no itemset_filter at $FILTER"
DIGEST="$(dirname "$FILTER")/itemset_digest"
[ -x "$DIGEST" ] || die "no itemset_digest at $DIGEST (cmake --build build --target itemset_digest)"
if [ "$RESULTS" != "-" ]; then
  mkdir -p "$(dirname "$RESULTS")" || die "cannot create the directory of $RESULTS"
  RESULTS="$(cd "$(dirname "$RESULTS")" && pwd)/$(basename "$RESULTS")"
fi

# keyword, class, how its parameters are searched (see param_of).
KEYWORDS="subseteq succinct items
supseteq monotone item
asubseteq succinct values0
asupseteq monotone values1
mingeq succinct attr
maxleq succinct attr
lengeq monotone length
lenleq length length
sumgeq monotone attr
sumleq anti-monotone attr
rangeleq anti-monotone attr
varleq loose attr
vargeq loose attr
stdleq loose attr
stdgeq loose attr
spvleq loose attr
spvgeq loose attr
mdleq loose attr
mdgeq loose attr
avgleq loose attr
avggeq loose attr
medgeq loose attr
medleq loose attr
rangegeq monotone+loose attr
minleq monotone+loose attr
maxgeq monotone+loose attr
avggeq2 convertible attr
avgleq2 convertible attr
minleq2 convertible attr
maxgeq2 convertible attr
medgeq2 convertible attr
medleq2 convertible attr
rangeleq2 convertible attr
acountgeq monotone count
acountleq anti-monotone count"
CLASSES="succinct monotone anti-monotone length monotone+loose loose convertible"
in_list() { case ",$2," in *",$1,"*) return 0 ;; *) return 1 ;; esac; }
selected() {  # $1 keyword, $2 class
  [ -z "$KEYWORDS_WANTED$CLASSES_WANTED" ] && return 0
  in_list "$1" "$KEYWORDS_WANTED" || in_list "$2" "$CLASSES_WANTED"
}
for k in ${KEYWORDS_WANTED//,/ }; do grep -q "^$k " <<<"$KEYWORDS" || die "unknown keyword $k"; done
for c in ${CLASSES_WANTED//,/ }; do in_list "$c" "${CLASSES// /,}" || die "unknown class $c"; done

CACHE="${KESTREL_BENCH_CACHE:-${TMPDIR:-/tmp}/kestrel-bench-cache}"
mkdir -p "$CACHE" || die "cannot create $CACHE"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/kestrel-constrained-XXXXXX")" || die "no temporary directory"
trap 'rm -rf "$WORK"' EXIT
# shellcheck disable=SC2034  # MILLION_LINES and DATA are read by inputs.sh
MILLION_LINES=200000
# shellcheck source=bench/inputs.sh
. "$ROOT/bench/inputs.sh"
# shellcheck disable=SC2034
DATA="$(cd "$(find_data)" 2>/dev/null && pwd)" || die "no data directory (set KESTREL_DATA)"

now_ns() { date +%s%N; }
seconds_since() { awk -v a="$1" -v b="$(now_ns)" 'BEGIN { printf "%.2f", (b - a) / 1e9 }'; }
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else print "-" }'; }
percent() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 > 0) printf "%.1f", 100 * a / b; else print "-" }'; }
add() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-") print "-"; else printf "%.2f", a + b }'; }

# Attribute rows from the fixed seed, one value per id 0..largest id of the input.
attributes_of() {  # $1 = input -> path
  local input="$1" attrs
  attrs="$CACHE/$(basename "$1" .dat).constrained-attr-$SEED"
  if [ ! -s "$attrs" ] || [ "$input" -nt "$attrs" ]; then
    local largest
    largest=$(tr -cs '0-9' '\n' < "$input" | sort -n | tail -1)
    awk -v n="$largest" -v seed="$SEED" 'BEGIN {
      x = seed % 2147483647
      for (row = 0; row < 2; row++)
        for (i = 0; i <= n; i++) {
          x = (x * 16807) % 2147483647
          printf "%d%s", x % (row == 0 ? 100 : 10), (i < n ? " " : "\n")
        }
    }' > "$attrs.part" && mv "$attrs.part" "$attrs"
  fi
  echo "$attrs"
}

# A seeded order of 0..n-1, space-separated.
permutation() {  # $1 = n
  awk -v n="$1" -v seed="$SEED" 'BEGIN {
    x = seed % 2147483647
    for (i = 0; i < n; i++) p[i] = i
    for (i = n - 1; i > 0; i--) { x = (x * 16807) % 2147483647; j = x % (i + 1); t = p[i]; p[i] = p[j]; p[j] = t }
    for (i = 0; i < n; i++) printf "%d%s", p[i], (i < n - 1 ? " " : "\n")
  }'
}
PERM100="$(permutation 100)"
PERM10="$(permutation 10)"

# First $2 words of $1, comma-separated.
first_words() { awk -v k="$2" '{ s = ""; for (i = 1; i <= k && i <= NF; i++) s = s (i > 1 ? "," : "") $i; print s }' <<<"$1"; }

# The parameter word of keyword $1 searched as $2 (KEYWORDS) at point $3.
param_of() {
  case "$2" in
    items) echo "[$(first_words "$ITEM_ORDER" "$3")]" ;;
    item|length) echo "[$3]" ;;
    values0) local v; v=$(first_words "$PERM100" "$3"); echo "[0${v:+,$v}]" ;;
    values1) local v; v=$(first_words "$PERM10" "$3"); echo "[1${v:+,$v}]" ;;
    attr) echo "[0,$3]" ;;
    count) echo "[1,${3%:*},${3#*:}]" ;;
  esac
}

# Lines of the sample that keyword $1 with parameters $2 keeps (remembered).
declare -A SAMPLE_COUNTS
sample_count() {
  local key="$1 $2"
  if [ -z "${SAMPLE_COUNTS[$key]:-}" ]; then
    if "$FILTER" "$WORK/sample.out" "$ATTRS" "$WORK/sample.kept" "$1" "$2" < /dev/null 2> "$WORK/filter.err"; then
      SAMPLE_COUNTS[$key]=$(wc -l < "$WORK/sample.kept")
    else
      die "itemset_filter $1 $2 on the sample: $(head -1 "$WORK/filter.err")"
    fi
  fi
  echo "${SAMPLE_COUNTS[$key]}"
}
distance() { awk -v a="$1" -v b="$2" 'BEGIN { d = a - b; print (d < 0 ? -d : d) }'; }

# The point in lo..hi whose count is closest to target, for a count that moves
# one way with the point (bisection).
bisect() {  # $1 keyword, $2 how, $3 target count, $4 lo, $5 hi
  local kw="$1" how="$2" target="$3" a="$4" b="$5" lo="$4" m f down=0
  [ "$(sample_count "$kw" "$(param_of "$kw" "$how" "$a")")" -ge \
    "$(sample_count "$kw" "$(param_of "$kw" "$how" "$b")")" ] && down=1
  while [ "$a" -lt "$b" ]; do
    m=$(( (a + b) / 2 ))
    f=$(sample_count "$kw" "$(param_of "$kw" "$how" "$m")")
    if { [ "$down" = 1 ] && [ "$f" -le "$target" ]; } || { [ "$down" = 0 ] && [ "$f" -ge "$target" ]; }; then
      b=$m
    else
      a=$((m + 1))
    fi
  done
  if [ "$a" -gt "$lo" ] &&
     [ "$(distance "$(sample_count "$kw" "$(param_of "$kw" "$how" $((a - 1)))")" "$target")" -lt \
       "$(distance "$(sample_count "$kw" "$(param_of "$kw" "$how" "$a")")" "$target")" ]; then
    a=$((a - 1))
  fi
  echo "$a"
}

# Of the points given, the one whose count is closest to target.
closest() {  # $1 keyword, $2 how, $3 target count, then the points
  local kw="$1" how="$2" target="$3" best="" best_d="" p d
  shift 3
  for p in "$@"; do
    d=$(distance "$(sample_count "$kw" "$(param_of "$kw" "$how" "$p")")" "$target")
    if [ -z "$best_d" ] || [ "$d" -lt "$best_d" ]; then best=$p; best_d=$d; fi
  done
  echo "$best"
}

# The item whose share of the sample's itemsets is closest to target (supseteq).
closest_item() {  # $1 target count
  awk -v t="$1" '{ for (i = 1; i < NF; i++) c[$i]++ }
    END { for (i in c) { d = c[i] - t; if (d < 0) d = -d; if (best == "" || d < bd || (d == bd && i + 0 < best + 0)) { best = i; bd = d } } print best }' \
    "$WORK/sample.out"
}

# Parameters of keyword $1 for a target share of $2 %.
find_param() {
  local kw="$1" how target n_items
  how=$(awk -v k="$kw" '$1 == k { print $3 }' <<<"$KEYWORDS")
  target=$(awk -v n="$SAMPLE_LINES" -v p="$2" 'BEGIN { printf "%d", n * p / 100 + 0.5 }')
  n_items=$(wc -w <<<"$ITEM_ORDER")
  case "$how" in
    items) param_of "$kw" "$how" "$(bisect "$kw" "$how" "$target" 0 "$n_items")" ;;
    item) param_of "$kw" "$how" "$(closest_item "$target")" ;;
    values0) param_of "$kw" "$how" "$(bisect "$kw" "$how" "$target" 0 100)" ;;
    values1) param_of "$kw" "$how" "$(bisect "$kw" "$how" "$target" 0 10)" ;;
    attr) param_of "$kw" "$how" "$(bisect "$kw" "$how" "$target" 0 1048576)" ;;
    length) param_of "$kw" "$how" "$(bisect "$kw" "$how" "$target" 0 64)" ;;
    count)
      local points="" v t
      for v in 0 1 2 3 4 5 6 7 8 9; do for t in 0 1 2 3 4; do points="$points $v:$t"; done; done
      # shellcheck disable=SC2086
      param_of "$kw" "$how" "$(closest "$kw" "$how" "$target" $points)" ;;
  esac
}

# Runs kestrel REPS times in a fresh directory; sets R_WALL (median), R_COUNT and
# R_ERROR ("" when every run completed). The last output stays in $WORK/run/out.txt.
measure() {  # kestrel's arguments except output
  local walls="" status start rep
  R_WALL=""; R_COUNT=""; R_ERROR=""
  for ((rep = 1; rep <= REPS; rep++)); do
    rm -rf "$WORK/run" && mkdir -p "$WORK/run"
    start=$(now_ns)
    ( cd "$WORK/run" && timeout "$TIMEOUT" "$KESTREL" "$@" output out.txt < /dev/null > stdout.txt 2> stderr.txt )
    status=$?
    walls="$walls $(seconds_since "$start")"
    if [ $status -eq 124 ]; then R_ERROR="timeout after $TIMEOUT s"; return 1; fi
    if [ $status -ne 0 ]; then R_ERROR="exit $status: $(head -1 "$WORK/run/stderr.txt")"; return 1; fi
  done
  R_WALL=$(median <<<"$walls")
  R_COUNT=$(wc -l < "$WORK/run/out.txt")
}

# The unconstrained run once more, before each keyword: the machine's speed can
# drift over the minutes a data row takes (chess 1200 read 0.45 s in one run of
# this script and 0.55 s in the next, the same binary), so each row's ratio
# compares runs made side by side: ALL_WALL is the median of the last three.
refresh_unconstrained() {
  local reps=$REPS
  REPS=1
  measure input "$INPUT" sigma "$SIGMA" && UNC_WALLS="$UNC_WALLS $R_WALL"
  REPS=$reps
  ALL_WALL=$(tr ' ' '\n' <<<"$UNC_WALLS" | grep -v '^$' | tail -3 | median)
}

# The fastest public miner, as the user's command; sets F_WALL or F_ERROR.
measure_fastest() {  # $1 input, $2 sigma
  local walls="" rep start cmd
  F_WALL="-"; F_ERROR=""
  [ -n "$FASTEST" ] || return 0
  cmd="${FASTEST//\{input\}/$1}"; cmd="${cmd//\{sigma\}/$2}"; cmd="${cmd//\{output\}/$WORK/fastest.out}"
  for ((rep = 1; rep <= REPS; rep++)); do
    start=$(now_ns)
    if ! timeout "$TIMEOUT" bash -c "$cmd" < /dev/null > /dev/null 2> "$WORK/fastest.err"; then
      F_ERROR="fastest miner failed: $(head -1 "$WORK/fastest.err")"; F_WALL="-"; rm -f "$WORK/fastest.out"; return 1
    fi
    walls="$walls $(seconds_since "$start")"
  done
  rm -f "$WORK/fastest.out"
  F_WALL=$(median <<<"$walls")
}

# Items sorted within each line (as numbers), then the lines sorted. Perl, not
# awk: 4.5x faster (0.9 s against 4.0 s over 465k lines of chess 1800).
canonical() {
  perl -ne 'my @f = split; my $s = pop @f; print join(" ", (sort { $a <=> $b } @f), $s), "\n"' "$1" |
    LC_ALL=C sort
}

# "same" when files $1 and $2 hold the same itemsets with the same supports,
# else "DIFFERENT" (both files then kept in directory $3 with their differences).
# The fingerprints of itemset_digest decide, without sorting millions of lines;
# only a difference is sorted, to show it.
same_itemsets() {
  local a b
  a=$("$DIGEST" "$1" | cut -d' ' -f1,2) && b=$("$DIGEST" "$2" | cut -d' ' -f1,2) && [ -n "$a" ] &&
    [ "$a" = "$b" ] && { echo same; return; }
  mkdir -p "$3" && cp "$1" "$3/pushed.txt" && cp "$2" "$3/filtered.txt"
  LC_ALL=C comm -3 <(canonical "$1") <(canonical "$2") > "$3/differences.txt"
  echo DIFFERENT
}

# Parameters for every selected keyword and target of this data row, cached by the
# unconstrained result's size (a changed result searches again).
find_params() {  # $1 name, $2 sigma; sets PARAMS[keyword target]
  local cache="$CACHE/constrained-params-$1-$2-seed$SEED-sample$SAMPLE-lines$ALL_COUNT" kw class how target
  touch "$cache"
  while read -r kw class how; do
    selected "$kw" "$class" || continue
    for target in ${TARGETS//,/ }; do
      if ! grep -q "^$kw $target " "$cache"; then
        echo "$kw $target $(find_param "$kw" "$target")" >> "$cache"
      fi
      PARAMS["$kw $target"]=$(awk -v k="$kw" -v t="$target" '$1 == k && $2 == t { print $3; exit }' "$cache")
    done
  done <<<"$KEYWORDS"
}

crow() { printf '%-10s %6s %-10s %-14s %4s %-24.24s %9s %6s %7s %7s %7s %7s %6s %6s %6s %s\n' "$@"; }

# One row: keyword $1 of class $2 at target $3 on the data row (name, sigma, input).
constrained_row() {
  local kw="$1" class="$2" target="$3" param="${PARAMS["$1 $3"]}" fwalls="" rep start same="-" fwall="-"
  if ! measure input "$INPUT" sigma "$SIGMA" attributes "$ATTRS" "$kw" "$param"; then
    crow "$NAME" "$SIGMA" "$kw" "$class" "$target" "$param" "error: $R_ERROR"
    echo "| $NAME $SIGMA | $kw | $class | $target | \`$param\` | error: \`$R_ERROR\` |||||||||" >> "$MD"
    FAILED=$((FAILED + 1)); return
  fi
  local pushed_wall=$R_WALL pushed_count=$R_COUNT
  mv "$WORK/run/out.txt" "$WORK/pushed.out"
  for ((rep = 1; rep <= FILTER_REPS; rep++)); do
    start=$(now_ns)
    "$FILTER" "$WORK/all.out" "$ATTRS" "$WORK/filtered.out" "$kw" "$param" < /dev/null 2> "$WORK/filter.err" ||
      { same="filter failed: $(head -1 "$WORK/filter.err")"; fwalls=""; break; }
    fwalls="$fwalls $(seconds_since "$start")"
  done
  if [ -n "$fwalls" ]; then
    fwall=$(median <<<"$fwalls")
    same=$(same_itemsets "$WORK/pushed.out" "$WORK/filtered.out" "$CACHE/mismatch-$NAME-$SIGMA-$kw-$target")
  fi
  if [ "$same" != same ]; then
    FAILED=$((FAILED + 1))
    echo "MISMATCH: $NAME $SIGMA $kw $param: pushed and filtered outputs differ ($same;" \
         "$pushed_count against $(wc -l < "$WORK/filtered.out" 2>/dev/null) lines; kept in" \
         "$CACHE/mismatch-$NAME-$SIGMA-$kw-$target)" >&2
  fi
  local all_filter r_unc r_filter r_fast
  all_filter=$(add "$ALL_WALL" "$fwall")
  r_unc=$(ratio "$pushed_wall" "$ALL_WALL"); r_filter=$(ratio "$pushed_wall" "$all_filter")
  r_fast=$(ratio "$pushed_wall" "$F_WALL")
  crow "$NAME" "$SIGMA" "$kw" "$class" "$target" "$param" "$pushed_count" "$(percent "$pushed_count" "$ALL_COUNT")" \
    "$pushed_wall" "$ALL_WALL" "$all_filter" "$F_WALL" "$r_unc" "$r_filter" "$r_fast" "$same"
  local shown="$param"
  # A long list of items: the items of highest support, so many of them.
  [ "$kw" = subseteq ] && [ "${#shown}" -gt 30 ] && shown="the $(( $(tr -cd , <<<"$param" | wc -c) + 1 )) items of highest support"
  echo "| $NAME $SIGMA | $kw | $class | $target | \`$shown\` | $pushed_count | $(percent "$pushed_count" "$ALL_COUNT") | $pushed_wall | $ALL_WALL | $all_filter | $F_WALL | $r_unc | $r_filter | $r_fast | $same |" >> "$MD"
  [ "$r_unc" != "-" ] && echo "$class $kw $NAME $target $r_unc" >> "$PLOT_DATA"
  rm -f "$WORK/pushed.out" "$WORK/filtered.out"
}

# The unconstrained run, the fastest miner, the sample and the parameters of one
# data row, then its rows.
data_row() {  # $1 name, $2 sigma
  NAME="$1"; SIGMA="$2"
  if ! INPUT="$(input_of "$NAME" 2> "$WORK/input.err")"; then
    echo "$NAME: $(head -1 "$WORK/input.err")" >&2
    echo "| $NAME $SIGMA | error: $(head -1 "$WORK/input.err") ||||||||||||||" >> "$MD"
    FAILED=$((FAILED + 1)); return
  fi
  ATTRS="$(attributes_of "$INPUT")"
  if ! measure input "$INPUT" sigma "$SIGMA"; then
    echo "$NAME $SIGMA without constraints: $R_ERROR" >&2
    echo "| $NAME $SIGMA | none | error: \`$R_ERROR\` |||||||||||||" >> "$MD"
    FAILED=$((FAILED + 1)); return
  fi
  ALL_WALL=$R_WALL; ALL_COUNT=$R_COUNT; UNC_WALLS="$R_WALL"
  mv "$WORK/run/out.txt" "$WORK/all.out"
  measure_fastest "$INPUT" "$SIGMA" || echo "$NAME $SIGMA: $F_ERROR" >&2
  awk -v m="$(( (ALL_COUNT + SAMPLE - 1) / SAMPLE ))" '(NR - 1) % m == 0' "$WORK/all.out" > "$WORK/sample.out"
  SAMPLE_LINES=$(wc -l < "$WORK/sample.out")
  SAMPLE_COUNTS=()
  # Frequent items by descending support (the lines of one item).
  ITEM_ORDER=$(awk 'NF == 2 { s = $2; gsub(/[()]/, "", s); print $1, s }' "$WORK/all.out" |
               sort -k2,2nr -k1,1n | awk '{ printf "%s ", $1 }')
  echo "$NAME $SIGMA: $ALL_COUNT itemsets unconstrained in $ALL_WALL s${F_ERROR:+ ($F_ERROR)}; searching parameters on $SAMPLE_LINES lines" >&2
  declare -gA PARAMS=()
  find_params "$NAME" "$SIGMA"
  local kw class how target
  while read -r kw class how; do
    selected "$kw" "$class" || continue
    refresh_unconstrained
    for target in ${TARGETS//,/ }; do constrained_row "$kw" "$class" "$target"; done
  done <<<"$KEYWORDS"
  rm -f "$WORK/all.out" "$WORK/sample.out"
}

# Plot: pushed / unconstrained per keyword, one panel per keyword class, one
# colour per data row, the three targets side by side.
plot() {  # $1 = png path
  command -v gnuplot > /dev/null 2>&1 || { echo "gnuplot is not installed (apt-get install gnuplot-nox): no plot" >&2; return 1; }
  local class kws tics n k d f gp="$WORK/plot.gp"
  {
    echo 'set terminal pngcairo size 1600,1000 font ",9"'
    echo "set output '$1'"
    echo "set multiplot layout 3,3 title 'pushed / unconstrained wall time per keyword ($DATE, $COMMIT; targets ${TARGETS//,/, } % side by side)'"
    echo 'set logscale y; set ylabel "pushed / unconstrained"; set grid ytics; set key outside right top font ",8"; set xtics rotate by 30 right'
    for class in $CLASSES; do
      kws=$(awk -v c="$class" '$1 == c { print $2 }' "$PLOT_DATA" | awk '!seen[$0]++')
      [ -n "$kws" ] || continue
      n=0; tics=""
      for k in $kws; do tics="$tics${tics:+, }\"$k\" $n"; n=$((n + 1)); done
      echo "set title '$class'; set xrange [-0.5:$n - 0.5]; set xtics ($tics)"
      echo -n "plot 1.05 with lines dt 2 lc rgb 'gray' title '1.05'"
      for d in chess mushroom retail T10I4D100K; do
        f="$WORK/plot-$class-$d.dat"
        # x: the keyword's place in the panel, the targets spread around it.
        awk -v c="$class" -v d="$d" -v ks="$kws" -v ts="${TARGETS//,/ }" '
          BEGIN { n = split(ks, k, " "); for (j = 1; j <= n; j++) x[k[j]] = j - 1
                  m = split(ts, t, " "); for (j = 1; j <= m; j++) o[t[j]] = (j - (m + 1) / 2) * 0.2 }
          $1 == c && $3 == d { print x[$2] + o[$4], $5 }' "$PLOT_DATA" > "$f"
        [ -s "$f" ] && echo -n ", '$f' using 1:2 with points pt 7 ps 0.8 title '$d'"
      done
      echo
    done
    echo 'unset multiplot'
  } > "$gp"
  gnuplot "$gp" 2> "$WORK/gnuplot.err" && return 0
  sed -i 's/^set terminal pngcairo size 1600,1000 font ",9"/set terminal png size 1600,1000/' "$gp"
  gnuplot "$gp" 2>> "$WORK/gnuplot.err" && return 0
  echo "gnuplot failed: $(head -3 "$WORK/gnuplot.err")" >&2
  return 1
}

SECTION="## Every constraint keyword: pushed, unconstrained, and mined all then filtered"

# Replaces this script's section of the results file (or appends it at the end).
write_results() {  # $1 = results file, $2 = 1 when the plot was made
  local file="$1" png
  png="pushed_vs_unconstrained.png"
  {
    [ -f "$file" ] && awk -v s="$SECTION" '$0 == s { skip = 1; next } skip && /^## / { skip = 0 } !skip' "$file"
    echo "$SECTION"
    echo
    echo "Written by \`bench/constrained.sh\` (its header says how the parameters are found and what"
    echo "each column means). Attributes from seed $SEED: row 0 values 0..99, row 1 values 0..9."
    echo "Written % is the share of the unconstrained result (empty itemset included); the"
    echo "parameters are searched on a sample, so the shares are near the targets, not on them."
    echo "Ratios: pushed / unconstrained, pushed / (mine all + filter), pushed / fastest miner."
    echo
    echo "- Date: $DATE; processor: $CPU ($(nproc) processors available)"
    echo "- Commit measured: $COMMIT; binary: \`$KESTREL\`"
    echo "- Repetitions: $REPS (medians; itemset_filter $FILTER_REPS); load average before: $LOAD_BEFORE; after: $LOAD_AFTER${NOTE:+. $NOTE}"
    echo "- Selection: rows $ROWS; targets $TARGETS %; keywords ${KEYWORDS_WANTED:-${CLASSES_WANTED:+classes $CLASSES_WANTED}}${KEYWORDS_WANTED:+${CLASSES_WANTED:+ and classes $CLASSES_WANTED}}$([ -z "$KEYWORDS_WANTED$CLASSES_WANTED" ] && echo 'all 35')"
    echo "- Fastest public miner: ${FASTEST:+\`$FASTEST\`}${FASTEST:-not given (column \"-\")}"
    echo "- Pushed and filtered outputs compared on every row: $([ "$FAILED" = 0 ] && echo 'all the same' || echo "$FAILED row(s) failed (see \"same\")")"
    echo
    echo '| data | keyword | class | target % | parameters | written | written % | pushed s | unconstrained s | all + filter s | fastest s | pushed / unconstr. | pushed / (all + filter) | pushed / fastest | same |'
    echo '|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|'
    cat "$MD"
    [ "$2" = 1 ] && { echo; echo "![pushed / unconstrained per keyword class]($png)"; }
    echo
  } > "$WORK/results.md"
  mv "$WORK/results.md" "$file"
}

DATE="$(date -u '+%Y-%m-%d %H:%M UTC')"
LOAD_BEFORE="$(cut -d' ' -f1-3 /proc/loadavg)"
COMMIT="$(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || echo unknown)"
git -C "$ROOT" diff --quiet HEAD -- . ':(exclude)bench/RESULTS.md' ':(exclude)bench/*.png' 2>/dev/null ||
  COMMIT="$COMMIT (with uncommitted changes)"
CPU="$(lscpu 2>/dev/null | awk -F': *' '/^Model name/ { print $2; exit }')"
MD="$WORK/rows.md"; PLOT_DATA="$WORK/plot.dat"
: > "$MD"; : > "$PLOT_DATA"
FAILED=0
crow data sigma keyword class "tgt%" parameters written "%" pushed unconstr "all+flt" fastest "p/unc" "p/a+f" "p/fst" same
for entry in ${ROWS//,/ }; do
  case "$entry" in *:*) ;; *) die "--rows wants data:support, not $entry" ;; esac
  data_row "${entry%%:*}" "${entry#*:}"
done
LOAD_AFTER="$(cut -d' ' -f1-3 /proc/loadavg)"
if [ "$RESULTS" != "-" ]; then
  made=0
  [ -s "$PLOT_DATA" ] && plot "$(dirname "$RESULTS")/pushed_vs_unconstrained.png" && made=1
  write_results "$RESULTS" "$made"
  echo "wrote the section of $RESULTS$([ "$made" = 1 ] && echo " and its plot")" >&2
fi
if [ "$FAILED" -gt 0 ]; then
  echo "$FAILED row(s) failed: pushed and filtered differ, or a run failed (see above)" >&2
  exit 1
fi
exit 0
