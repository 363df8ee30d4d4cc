#!/usr/bin/env bash
# Measures the XML tags, side by side in one run:
#   xpath  a generated 10 MB RSS feed of 20,000 items, the title and link of
#          each: kwl's XPATH MATCH with two CHILD loops against php-cgi's
#          DOMDocument + DOMXPath (a query per item for each)
#   xproc  XPROC listing of a generated 1 MB HTML fragment at 1x, 2x and 4x
#          its size, to show that the time grows linearly
# Whole process runs, wall time, median (bench/runs.c). Checks first that
# kwl and php-cgi write the same body.
#
# Usage: bench/xml.sh [ROUND_FACTOR]   (default 1; 0.2 for a quick look)
# KWL_BIN=/path/to/kwl measures another build of kwl; KWL_BENCH_DIR names the
# build directory (default build-bench, configured Release).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
factor=${1:-1}

# The benchmark's own tools: php-cgi with its DOM extension.
scripts/install-deps.sh php8.2-cgi php8.2-xml

build=${KWL_BENCH_DIR:-$root/build-bench}
if [[ -z "${KWL_BIN:-}" ]]; then
  KWL_SKIP_DEPS=1 scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  KWL_BIN=$build/kwl
fi
kwl=$(cd "$(dirname "$KWL_BIN")" && pwd)/$(basename "$KWL_BIN")
php=(php-cgi -n -d extension=dom)

work=$build/bench-xml
rm -rf "$work"
mkdir -p "$work"
cc -O2 -Wall -Wextra -o "$work/runs" bench/runs.c

python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
# An RSS feed of 20,000 items, about 10 MB, ASCII only (kwl writes
# ISO-8859-1, PHP UTF-8: the bodies compare equal only without accents).
items = []
for i in range(20000):
    words = " ".join(f"word{(i * 7 + k) % 1000}" for k in range(40))
    items.append(
        f"<item><title>Item number {i}</title>"
        f"<link>https://example.com/news/{i}.html</link>"
        f"<description>{words} {words}</description>"
        f"<guid isPermaLink=\"false\">id-{i}</guid>"
        f"<pubDate>Mon, 02 Dec 2024 10:{i % 60:02d}:00 GMT</pubDate></item>\n")
with open(f"{work}/feed.xml", "w") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0"><channel>'
            "<title>Bench</title><link>https://example.com/</link>\n")
    f.writelines(items)
    f.write("</channel></rss>\n")
# An HTML fragment of 1 MB: blocks of nested elements, with the unclosed
# <br> and <p> that HTML allows at the top level; then 2x and 4x of it.
block = ('<div class="card"><h2>Title</h2><p>Some text<br>and more <a href="/x">a link</a>'
         '</p><ul><li>one</li><li>two</li></ul></div>\n<br>\n<p>loose paragraph\n')
one = block * (1048576 // len(block))
for n in (1, 2, 4):
    with open(f"{work}/page{n}x.html", "w") as f:
        f.write(one * n)
    with open(f"{work}/xproc{n}x.kwl", "w") as f:
        f.write(f'<HTML><XPROC FILE="page{n}x.html">$xproc.name$ </XPROC>\n')
PY
cp bench/pages/xpath_feed.kwl bench/pages/xpath_feed.php "$work/"

cd "$work"
# The body of a response: what follows the first empty line.
body() { python3 -c '
import re, sys
data = sys.stdin.buffer.read()
m = re.search(rb"\r?\n\r?\n", data)
sys.stdout.buffer.write(data[m.end():] if m else b"")'; }
if ! cmp -s <("$kwl" xpath_feed.kwl </dev/null | body) <("${php[@]}" xpath_feed.php </dev/null | body); then
  echo "bench: kwl and php-cgi write different bodies for xpath" >&2
  exit 1
fi

rounds() { python3 -c "print(max(3, round($1 * $factor)))"; }
{
  ./runs "$(rounds 10)" 1 kwl -- "$kwl" xpath_feed.kwl \; php -- "${php[@]}" xpath_feed.php |
    sed "s/^/xpath /"
  ./runs "$(rounds 20)" 2 1x -- "$kwl" xproc1x.kwl \; 2x -- "$kwl" xproc2x.kwl \; \
    4x -- "$kwl" xproc4x.kwl | sed "s/^/xproc /"
} >results.txt

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
echo "Machine: $cpu, $(nproc) cores; $(uname -sr)"
echo
python3 - results.txt <<'PY'
import sys
rows = {}
for line in open(sys.argv[1]):
    page, command, median, low, failures = line.split()
    if failures != "0":
        sys.exit(f"bench: {command} failed on {page} {failures} times")
    rows.setdefault(page, {})[command] = float(median)
t = rows["xpath"]
print("| page | kwl ms | php-cgi ms | kwl/php |")
print("|---|---:|---:|---:|")
print(f"| xpath: 20,000 items of a 10 MB feed | {t['kwl']:.1f} | {t['php']:.1f} | {t['kwl'] / t['php']:.2f} |")
print()
t = rows["xproc"]
print("| XPROC listing | kwl ms | per MB | against 1x |")
print("|---|---:|---:|---:|")
for size in ("1x", "2x", "4x"):
    mb = int(size[0])
    print(f"| {size} ({mb} MB) | {t[size]:.1f} | {t[size] / mb:.1f} | {t[size] / t['1x']:.2f} |")
PY
