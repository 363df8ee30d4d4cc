#!/usr/bin/env bash
# Measures kwl's PDF tag against FPDF (Debian's php-fpdf, run with php-cli)
# on the same document, side by side: 100 pages, each with a heading, a
# wrapped text box, a JPEG and a table of lines with text in its cells, in
# one embedded TrueType font (DejaVu Sans); then the same in Helvetica, which
# neither embeds. Whole process runs, wall time, median (bench/runs.c);
# prints both times, the ratio and both file sizes.
#
# Usage: bench/pdf.sh [ROUNDS]   (default 20)
# KWL_BIN=/path/to/kwl measures another build of kwl; KWL_BENCH_DIR names the
# build directory (default build-bench, configured Release).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
rounds=${1:-20}

scripts/install-deps.sh php-cli php-fpdf poppler-utils fonts-dejavu-core

build=${KWL_BENCH_DIR:-$root/build-bench}
if [[ -z "${KWL_BIN:-}" ]]; then
  KWL_SKIP_DEPS=1 scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  KWL_BIN=$build/kwl
fi
kwl=$(cd "$(dirname "$KWL_BIN")" && pwd)/$(basename "$KWL_BIN")
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf

work=$build/bench-pdf
rm -rf "$work"
mkdir -p "$work/kwl" "$work/php"
cc -O2 -Wall -Wextra -o "$work/runs" bench/runs.c
cp bench/pages/pdf_report.kwl "$work/kwl/"
cp bench/pages/pdf_report.php "$work/php/"

# The picture: a 320x240 JPEG rendered from a small document of our own.
cat >"$work/photo.kwl" <<'KWL'
<HTML><PDF FILE="photo.pdf" PAGESIZE="320 240" NAME="d" RECT="0,0,320,240" BGCOLOR="teal">
<PDF NAME="d" RECT="40,40,240,160" ROUND="40" BORDER="6" BGCOLOR="yellow">
<PDF NAME="d" TEXT="photo" SIZE="48" RECT="90,90,200,60"><PDF CLOSE="d">
KWL
(cd "$work" && "$kwl" photo.kwl >/dev/null && pdftoppm -jpeg -r 72 -singlefile photo.pdf photo)
cp "$work/photo.jpg" "$work/kwl/"
cp "$work/photo.jpg" "$work/php/"

# FPDF's definition of the TrueType font (it embeds the whole file, as kwl does).
(cd "$work/php" && php -n /usr/share/php/fpdf/makefont/makefont.php "$font" cp1252 true false >/dev/null)

for variant in "$font DejaVu" "Helvetica Helvetica"; do
  set -- $variant
  (cd "$work/kwl" && "$kwl" pdf_report.kwl "font=$1" >/dev/null)
  (cd "$work/php" && php -n pdf_report.php "$2" >/dev/null)
  for side in kwl php; do
    pages=$(pdfinfo "$work/$side/report.pdf" | sed -n 's/^Pages: *//p')
    if [[ $pages != 100 ]]; then
      echo "bench: the $side document in $2 has $pages pages" >&2
      exit 1
    fi
    cp "$work/$side/report.pdf" "$work/$side/report-$2.pdf"
  done
  "$work/runs" "$rounds" 2 kwl -- sh -c "cd '$work/kwl' && exec '$kwl' pdf_report.kwl 'font=$1'" \; \
    php -- sh -c "cd '$work/php' && exec php -n pdf_report.php $2" | sed "s/^/$2 /" >>"$work/results.txt"
done

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
echo "Machine: $cpu, $(nproc) cores; $(uname -sr)"
echo
python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
t = {}
for line in open(os.path.join(work, "results.txt")):
    font, name, median, low, failures = line.split()
    if failures != "0":
        sys.exit(f"bench: {name} failed {failures} times")
    t[font, name] = float(median)
print("| 100 pages in | kwl ms | FPDF (php-cli) ms | kwl/FPDF | kwl bytes | FPDF bytes |")
print("|---|---:|---:|---:|---:|---:|")
for font in ("DejaVu", "Helvetica"):
    size = {s: os.path.getsize(os.path.join(work, s, f"report-{font}.pdf")) for s in ("kwl", "php")}
    k, p = t[font, "kwl"], t[font, "php"]
    print(f"| {font} | {k:.1f} | {p:.1f} | {k / p:.2f} | {size['kwl']} | {size['php']} |")
PY
