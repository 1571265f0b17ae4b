#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a while.
#   fuzz/run.sh [seconds per target] [build dir]
# Defaults: 300 seconds, build-fuzz. Needs clang++ with its runtime (Debian:
# clang and libclang-rt-14-dev). The project's seed corpus fuzz/corpus/<target>
# is copied to build-dir/corpus/<target>, where new inputs accumulate; a crash
# leaves its input in build-dir/artifacts/<target>/ and ends with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
build=${2:-build-fuzz}
targets=(fimi_reader attributes command_line)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Fuzz -DCMAKE_CXX_COMPILER=clang++ -DKESTREL_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/%/_fuzz}"

status=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/artifacts/$t"
  cp fuzz/corpus/"$t"/* "$build/corpus/$t/"  # the fuzzer writes only into the build tree
  echo "== $t: $seconds s"
  # close_fd_mask=3: the targets' own stdout/stderr (usage text, progress) are
  # silenced; libFuzzer keeps its report on a duplicate of stderr.
  if ! "$build/fuzz/${t}_fuzz" -max_total_time="$seconds" -close_fd_mask=3 -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$t/" \
      "$build/corpus/$t" 2>"$build/artifacts/$t/log.txt"; then
    echo "!! $t failed; see $build/artifacts/$t/"
    tail -40 "$build/artifacts/$t/log.txt"
    status=1
  else
    grep -E "^stat::(number_of_executed_units|new_units_added)|cov: " "$build/artifacts/$t/log.txt" | tail -3
  fi
done
exit $status
