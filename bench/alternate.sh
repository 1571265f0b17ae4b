#!/usr/bin/env bash
# Two KESTREL binaries run in turn (base, new, base, new, ...) on the same rows, so
# both see the same load: on a shared machine a row's time can move by a third
# between two runs minutes apart, and medians of runs taken side by side are the
# figures that hold. Not a test: it prints a table (markdown with --markdown).
#
# Per row: median wall s, median cpu s (user + system) and largest peak MiB of each
# binary, the wall change new/base, and whether the two outputs are the same bytes.
#
# Build both binaries profile-guided, as a release is (for each commit, in its own
# checkout): cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKESTREL_PGO=ON &&
# cmake --build build -j2 --target kestrel. The table's first line names each build.
#
# Usage: bench/alternate.sh --base PATH --new PATH [options] [-- extra kestrel arguments]
#   --rows LIST    comma-separated data:support (default: the eight real-data rows
#                  and million:2, the same as run.sh); data is one of chess,
#                  mushroom, retail, T10I4D100K, million
#   --pairs N      runs of each binary per row, alternated (default 5)
#   --markdown     print the table as markdown
# Anything after "--" goes to both binaries (for example: -- threads 1).
# Environment: KESTREL_DATA and KESTREL_BENCH_CACHE as for run.sh.
set -u

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BASE=""; NEW=""; PAIRS=5; MARKDOWN=0
ROWS="chess:1200,chess:1000,mushroom:200,mushroom:100,retail:5,retail:3,T10I4D100K:10,T10I4D100K:2,million:2"
die() { echo "bench/alternate.sh: $*" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --base) BASE="${2:?}"; shift 2 ;;
    --new) NEW="${2:?}"; shift 2 ;;
    --rows) ROWS="${2:?}"; shift 2 ;;
    --pairs) PAIRS="${2:?}"; shift 2 ;;
    --markdown) MARKDOWN=1; shift ;;
    --) shift; break ;;
    -h|--help) sed -n '2,/^set -u/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown option $1 (see --help)" ;;
  esac
done
case "$PAIRS" in ''|*[!0-9]*|0) die "--pairs needs a whole number of at least 1" ;; esac
[ -n "$BASE" ] && [ -n "$NEW" ] || die "--base and --new are both needed"
BASE="$(readlink -f "$BASE")"; NEW="$(readlink -f "$NEW")"
[ -x "$BASE" ] || die "no binary at $BASE"
[ -x "$NEW" ] || die "no binary at $NEW"
[ -x /usr/bin/time ] || die "GNU time (/usr/bin/time) is missing"

CACHE="${KESTREL_BENCH_CACHE:-${TMPDIR:-/tmp}/kestrel-bench-cache}"
mkdir -p "$CACHE" || die "cannot create $CACHE"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/kestrel-alternate-XXXXXX")" || die "no temporary directory"
trap 'rm -rf "$WORK"' EXIT
MILLION_LINES=200000
. "$ROOT/bench/inputs.sh"
DATA="$(cd "$(find_data)" 2>/dev/null && pwd)" || die "no data directory (set KESTREL_DATA)"

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'; }

# One run of binary $1 on input $2 at support $3 (then the extra arguments), in a
# fresh directory; prints "wall cpu peak_kib md5" or "failed: <message>".
run_once() {
  local bin="$1" input="$2" sigma="$3" start end dir="$WORK/run"
  shift 3
  rm -rf "$dir" && mkdir -p "$dir"
  start=$(date +%s%N)
  if ! ( cd "$dir" && /usr/bin/time -f '%M %U %S' -o time.txt "$bin" input "$input" sigma "$sigma" \
           "$@" output out.txt > /dev/null 2> stderr.txt ); then
    echo "failed: $(grep -v '^Command exited' "$dir/stderr.txt" | head -1)"
    return
  fi
  end=$(date +%s%N)
  awk -v a="$start" -v b="$end" -v md5="$(md5sum < "$dir/out.txt" | cut -c1-16)" \
    '{ printf "%.3f %.2f %d %s\n", (b - a) / 1e9, $2 + $3, $1, md5 }' "$dir/time.txt"
}

echo "base: $BASE ($(build_of "$BASE")); new: $NEW ($(build_of "$NEW"))"
if [ "$MARKDOWN" = 1 ]; then
  echo '| row | base wall s | new wall s | new / base | base cpu s | new cpu s | base peak MiB | new peak MiB | output |'
  echo '|---|---|---|---|---|---|---|---|---|'
else
  printf '%-16s %9s %9s %7s %9s %9s %8s %8s %s\n' row "base wall" "new wall" "ratio" "base cpu" "new cpu" "base MiB" "new MiB" output
fi
for entry in ${ROWS//,/ }; do
  name="${entry%%:*}"; sigma="${entry#*:}"
  if ! input="$(input_of "$name" 2>"$WORK/input.err")"; then
    echo "$entry: $(head -1 "$WORK/input.err")"; continue
  fi
  bw=""; nw=""; bc=""; nc=""; bp=0; np=0; bsum=""; nsum=""; failure=""
  for ((pair = 1; pair <= PAIRS; pair++)); do
    for side in base new; do
      if [ "$side" = base ]; then bin="$BASE"; else bin="$NEW"; fi
      read -r wall cpu peak sum <<<"$(run_once "$bin" "$input" "$sigma" "$@")"
      [ "$wall" = failed: ] && { failure="$side $wall $cpu $peak $sum"; break 2; }
      if [ "$side" = base ]; then
        bw="$bw $wall"; bc="$bc $cpu"; [ "$peak" -gt "$bp" ] && bp=$peak; bsum=$sum
      else
        nw="$nw $wall"; nc="$nc $cpu"; [ "$peak" -gt "$np" ] && np=$peak; nsum=$sum
      fi
    done
  done
  if [ -n "$failure" ]; then echo "$entry: $failure"; continue; fi
  bwm=$(median <<<"$bw"); nwm=$(median <<<"$nw")
  ratio=$(awk -v a="$nwm" -v b="$bwm" 'BEGIN { printf "%.3f", a / b }')
  same=same; [ "$bsum" = "$nsum" ] || same=DIFFERENT
  bmib=$(awk -v k="$bp" 'BEGIN { printf "%.1f", k / 1024 }'); nmib=$(awk -v k="$np" 'BEGIN { printf "%.1f", k / 1024 }')
  if [ "$MARKDOWN" = 1 ]; then
    echo "| ${entry/:/ } | $bwm | $nwm | $ratio | $(median <<<"$bc") | $(median <<<"$nc") | $bmib | $nmib | $same |"
  else
    printf '%-16s %9s %9s %7s %9s %9s %8s %8s %s\n' "$entry" "$bwm" "$nwm" "$ratio" \
      "$(median <<<"$bc")" "$(median <<<"$nc")" "$bmib" "$nmib" "$same"
  fi
done
[ -s "$WORK/notes.txt" ] && cat "$WORK/notes.txt" >&2
exit 0
