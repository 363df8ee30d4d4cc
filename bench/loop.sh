#!/usr/bin/env bash
# The WHILE loop of pages/loop.kwl (a counter and a text built a character at
# a time), its own time: kwl's page run minus an empty page's run, against the
# same loop timed inside PHP (php-cli with OPcache, pages/loop_timed.php). Both
# run PASSES passes (default 1,000,000, so that process start-up noise stays
# small beside the loop); times are medians, per 100,000 passes. With valgrind,
# also the instructions of a pass for both.
#
# Usage: bench/loop.sh [PASSES] [ROUNDS]   (default 1000000 passes, 15 rounds)
# KWL_BIN=/path/to/kwl measures another build of kwl.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
passes=${1:-1000000}
rounds=${2:-15}

scripts/install-deps.sh php8.2-cli
build=${KWL_BENCH_DIR:-$root/build-bench}
if [[ -z "${KWL_BIN:-}" ]]; then
  KWL_SKIP_DEPS=1 scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  KWL_BIN=$build/kwl
fi
kwl=$(cd "$(dirname "$KWL_BIN")" && pwd)/$(basename "$KWL_BIN")
work=$build/bench-loop
rm -rf "$work"
mkdir -p "$work"
cc -O2 -Wall -Wextra -o "$work/runs" bench/runs.c
page() {  # passes: the loop page with that many passes
  sed "s/100000/$1/; s/<HTML>/<HTML><SET NAME=vellooplimit VALUE=\"$(($1 + 1))\">/" \
    bench/pages/loop.kwl
}
page "$passes" >"$work/loop.kwl"
echo '<HTML>' >"$work/empty.kwl"
php=(php -n -d zend_extension=opcache -d opcache.enable_cli=1)

"$work/runs" "$rounds" 2 loop -- "$kwl" "$work/loop.kwl" \; empty -- "$kwl" "$work/empty.kwl" \; \
  >"$work/kwl.txt"
for _ in $(seq "$rounds"); do "${php[@]}" bench/pages/loop_timed.php "$passes"; done >"$work/php.txt"

python3 - "$work" "$passes" <<'PY'
import statistics, sys
work, passes = sys.argv[1], int(sys.argv[2])
runs = {line.split()[0]: float(line.split()[1]) for line in open(f"{work}/kwl.txt")}
kwl = runs["loop"] - runs["empty"]
php = statistics.median(float(line) for line in open(f"{work}/php.txt"))
per = 100000 / passes
print(f"| passes | kwl loop ms / 100,000 | PHP loop ms / 100,000 | kwl/PHP |")
print(f"|---:|---:|---:|---:|")
print(f"| {passes:,} | {kwl * per:.2f} | {php * per:.2f} | {kwl / php:.2f} |")
PY

if command -v valgrind >/dev/null; then
  count() { valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : //p'; }
  page 20000 >"$work/loop20k.kwl"
  echo '<?php' >"$work/empty.php"
  sed 's/100000/20000/' bench/pages/loop.php >"$work/loop20k.php"
  k=$(( ($(count "$kwl" "$work/loop20k.kwl") - $(count "$kwl" "$work/empty.kwl")) / 20000 ))
  p=$(( ($(count "${php[@]}" "$work/loop20k.php") - $(count "${php[@]}" "$work/empty.php")) / 20000 ))
  echo
  echo "Instructions per pass: kwl $k, PHP $p"
fi
