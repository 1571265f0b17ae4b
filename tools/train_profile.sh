#!/usr/bin/env bash
# Runs an instrumented kestrel on generated data, so that its counts of
# branches and calls guide the optimised build (see CMakeLists.txt).
#   tools/train_profile.sh BUILD_DIR PROFILE_DIR
# BUILD_DIR holds the instrumented kestrel and generate_baskets; the counts go
# to PROFILE_DIR, emptied first (counts of an older build would add up with
# these). The data stand for the kinds the program meets: dense data mined
# deep on bit-vectors, sparse baskets on transaction lists, a file of about a
# hundred thousand items each in a few lines, and a constrained run; each
# with one thread and with two. It takes about a minute; it is skipped when
# the counts are newer than the instrumented kestrel.
set -euo pipefail
build="$1"
profile="$2"
if [ -f "$profile/trained" ] && [ "$profile/trained" -nt "$build/kestrel" ]; then exit 0; fi
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
work="$build/training"
rm -rf "$profile" "$work"
mkdir -p "$profile" "$work"
cd "$work"
"$build/generate_baskets" T 30 I 12 D 3000 N 80 L 40 seed 7 output dense.dat
"$build/generate_baskets" T 10 I 4 D 100000 N 1000 seed 3 output sparse.dat
"$build/generate_baskets" T 12 I 6 D 30000 N 3000 L 500 seed 5 output skewed.dat
# Five ids below 4,000,000,000 a line, the lines written twice: every id frequent at 2.
awk 'BEGIN { srand(11); for (i = 0; i < 20000; i++) { l = "";
       for (j = 0; j < 5; j++) l = l (j ? " " : "") sprintf("%.0f", int(rand() * 4000000000));
       print l } }' > once.dat
cat once.dat once.dat > many.dat
run() { "$build/kestrel" "$@" output out.txt > /dev/null; }
for threads in 1 2; do
  run input dense.dat sigma 300 threads "$threads"
  run input sparse.dat sigma 4 threads "$threads"
  run input skewed.dat sigma 8 threads "$threads"
  run input many.dat sigma 2 threads "$threads"
  run input "$source_dir/examples/basket.dat" sigma 20 threads "$threads" \
    attributes "$source_dir/examples/prices.txt" sumleq '[0,200]'
done
rm -f out.txt dataset.tmp
touch "$profile/trained"
