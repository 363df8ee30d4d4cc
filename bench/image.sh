#!/usr/bin/env bash
# PICT against PHP's GD on php-cgi, side by side: load a 4000 x 3000 JPEG,
# resize it smoothly to 800 x 600, draw a text and save a JPEG
# (pages/image.kwl and pages/image.php). Prints the median wall time of
# whole process runs (bench/runs.c) and the peak resident memory of one run
# of each (GNU time), with their ratios.
#
# Usage: bench/image.sh [ROUNDS]   (default 20)
# KWL_BIN=/path/to/kwl measures another build; KWL_BENCH_DIR names the build
# directory (default build-bench, configured Release).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
rounds=${1:-20}

scripts/install-deps.sh php8.2-cli php8.2-cgi php8.2-gd time

build=${KWL_BENCH_DIR:-$root/build-bench}
if [[ -z "${KWL_BIN:-}" ]]; then
  KWL_SKIP_DEPS=1 scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  KWL_BIN=$build/kwl
fi
kwl=$(cd "$(dirname "$KWL_BIN")" && pwd)/$(basename "$KWL_BIN")
php=(php-cgi -n -d extension=gd)

work=$build/bench-image
rm -rf "$work"
mkdir -p "$work"
cc -O2 -Wall -Wextra -o "$work/runs" bench/runs.c
cp bench/pages/image.kwl bench/pages/image.php "$work/"
cd "$work"

# A photograph-like 4000 x 3000 JPEG: smooth gradients under many soft shapes.
php -n -d extension=gd -r '
  mt_srand(7);
  $im = imagecreatetruecolor(4000, 3000);
  for ($y = 0; $y < 3000; $y += 4) {
    imagefilledrectangle($im, 0, $y, 3999, $y + 3, imagecolorallocate($im, $y % 256, 80, 255 - $y % 256));
  }
  for ($i = 0; $i < 3000; $i++) {
    $c = imagecolorallocatealpha($im, mt_rand(0, 255), mt_rand(0, 255), mt_rand(0, 255), 80);
    imagefilledellipse($im, mt_rand(0, 3999), mt_rand(0, 2999), mt_rand(10, 400), mt_rand(10, 400), $c);
  }
  imagejpeg($im, "photo.jpg", 90);'

kout=$("$kwl" image.kwl </dev/null | tail -1)
pout=$("${php[@]}" image.php </dev/null | tail -1)
if [[ $kout != "<HTML>800x600" || $pout != "<HTML>800x600" ]]; then
  echo "bench: unexpected output: kwl [$kout] php [$pout]" >&2
  exit 1
fi
# The same resampler, text placement and encoder: the same bytes.
if ! cmp -s out_kwl.jpg out_php.jpg; then
  echo "bench: kwl and php wrote different JPEG files" >&2
  exit 1
fi

./runs "$rounds" 2 kwl -- "$kwl" image.kwl \; php -- "${php[@]}" image.php >results.txt
peak() { /usr/bin/time -f %M "$@" </dev/null 2>&1 >/dev/null | tail -1; }
kpeak=$(peak "$kwl" image.kwl)
ppeak=$(peak "${php[@]}" image.php)

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
echo "Machine: $cpu, $(nproc) cores; $(uname -sr); $rounds rounds"
echo
python3 - results.txt "$kpeak" "$ppeak" <<'PY'
import sys
t = {}
for line in open(sys.argv[1]):
    command, median, low, failures = line.split()
    if failures != "0":
        sys.exit(f"bench: {command} failed {failures} times")
    t[command] = float(median)
kpeak, ppeak = int(sys.argv[2]), int(sys.argv[3])
print("| page | kwl ms | php-cgi ms | kwl/php | kwl peak MB | php peak MB | kwl/php |")
print("|---|---:|---:|---:|---:|---:|---:|")
print(f"| image | {t['kwl']:.1f} | {t['php']:.1f} | {t['kwl'] / t['php']:.2f} "
      f"| {kpeak / 1024:.1f} | {ppeak / 1024:.1f} | {kpeak / ppeak:.2f} |")
PY
