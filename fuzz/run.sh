#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (into build-fuzz/) and runs each for
# a bounded time, starting from its seeds in fuzz/corpus/<target>/. Inputs
# the fuzzer finds go to build-fuzz/corpus/<target>/, a crashing input to
# build-fuzz/crashes/<target>/. Exits non-zero when any target crashes,
# leaks, times out or fails to build.
# Usage: fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]   (default 20, all)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

seconds=${1:-20}
[[ $# -gt 0 ]] && shift
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  targets=(scanner substitute plans request session dates net xproc mail image pdf)
fi

scripts/install-deps.sh
build=$root/build-fuzz
cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  crashes=$build/crashes/$target
  mkdir -p "$corpus" "$crashes"
  log=$build/$target.log
  echo "=== fuzz $target for ${seconds}s"
  # New inputs go to the first directory; the seeds are only read.
  if "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" "fuzz/corpus/$target" \
      >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units' "$log" | sed "s/^/    /" || true
  else
    status=1
    echo "=== FAILED: fuzz $target; see $log and $crashes/"
    grep -E 'ERROR|SUMMARY|check failed|runtime error' "$log" | head -20 || true
  fi
done
exit "$status"
