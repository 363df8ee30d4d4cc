#!/usr/bin/env bash
# Builds kwl and runs every test: first the normal build (build/), then the
# AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/).
# Exits non-zero when anything fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

scripts/install-deps.sh
export KWL_SKIP_DEPS=1

# ---------------------------------------------------------------------------
# Test servers. Start here what the end-to-end and database tests need
# (MariaDB, lighttpd with CGI, an SMTP sink) and export what the tests read
# (KWL_TEST_MYSQL=1, KWL_DB_HOST, KWL_DB_USER, ... are passed through to the
# pages by the page-test runner). Stop them in stop_services.
start_services() {
  :
}
stop_services() {
  :
}
# ---------------------------------------------------------------------------

trap stop_services EXIT
start_services

jobs=$(nproc)
status=0

echo "=== clang-format"
if ! find src tests fuzz bench \( -name '*.cpp' -o -name '*.h' \) -print0 |
    xargs -0 clang-format --dry-run -Werror; then
  echo "=== FAILED: clang-format (run clang-format -i on the files above)"
  status=1
fi

run_ctest() {
  local dir=$1
  echo "=== ctest in $dir"
  if ! (cd "$dir" && ctest --output-on-failure --no-tests=error -j"$jobs"); then
    echo "=== FAILED: tests in $dir"
    status=1
  fi
}

scripts/build.sh build
run_ctest build

scripts/build.sh build-asan -DKWL_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_ctest build-asan

# ---------------------------------------------------------------------------
# Fuzzers (fuzz/, built with clang) run here, each for a bounded time.
echo "=== fuzzers"
if ! fuzz/run.sh 20; then
  echo "=== FAILED: fuzzers"
  status=1
fi
# ---------------------------------------------------------------------------

if [[ $status -eq 0 ]]; then
  echo "=== all tests passed"
fi
exit "$status"
