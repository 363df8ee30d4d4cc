#!/usr/bin/env bash
# Measures MAIL against PHPMailer (Debian's libphp-phpmailer on php-cgi),
# side by side in one run: a page sends 50 mails, each an HTML body with one
# inline image and a 1 MB attachment, to a local SMTP sink (the SINK server
# of tests/mail/smtp_server.py, which takes every mail and keeps nothing).
# Whole process runs, wall time, median (bench/runs.c). Checks first that
# both pages write the same body and that every mail was taken.
#
# Usage: bench/mail.sh [ROUNDS]   (default 10)
# KWL_BIN=/path/to/kwl measures another build; KWL_BENCH_DIR names the build
# directory (default build-bench, configured Release).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
rounds=${1:-10}

scripts/install-deps.sh php8.2-cgi libphp-phpmailer

build=${KWL_BENCH_DIR:-$root/build-bench}
if [[ -z "${KWL_BIN:-}" ]]; then
  KWL_SKIP_DEPS=1 scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  KWL_BIN=$build/kwl
fi
kwl=$(cd "$(dirname "$KWL_BIN")" && pwd)/$(basename "$KWL_BIN")
php=(php-cgi -n)

work=$build/bench-mail
rm -rf "$work"
mkdir -p "$work"
cc -O2 -Wall -Wextra -o "$work/runs" bench/runs.c
cp bench/pages/mail_send.kwl bench/pages/mail_body.kwl bench/pages/mail_send.php "$work/"
head -c 1048576 /dev/urandom >"$work/report.bin"
head -c 4096 /dev/urandom >"$work/logo.png"

server=(python3 "$root/tests/mail/smtp_server.py")
trap '"${server[@]}" stop "$work/smtp" >/dev/null' EXIT
"${server[@]}" start "$work/smtp" >/dev/null
KWL_BENCH_SMTP_PORT=$(sed -n 's/^KWL_TEST_SMTP_SINK_PORT=//p' "$work/smtp/env")
export KWL_BENCH_SMTP_PORT

cd "$work"
body() { python3 -c '
import re, sys
data = sys.stdin.buffer.read()
m = re.search(rb"\r?\n\r?\n", data)
sys.stdout.buffer.write(data[m.end():] if m else b"")'; }
kbody=$("$kwl" mail_send.kwl </dev/null | body)
pbody=$("${php[@]}" mail_send.php </dev/null | body)
if [[ "$kbody" != "$pbody" || "$kbody" != *"50 mails sent"* ]]; then
  printf 'bench: the pages differ or lost mails:\nkwl: %s\nphp: %s\n' "$kbody" "$pbody" >&2
  exit 1
fi

./runs "$rounds" 1 kwl -- "$kwl" mail_send.kwl \; php -- "${php[@]}" mail_send.php \; >results.txt

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
echo "Machine: $cpu, $(nproc) cores; $(uname -sr)"
echo
python3 - results.txt <<'PY'
import sys
t = {}
for line in open(sys.argv[1]):
    command, median, low, failures = line.split()
    if failures != "0":
        sys.exit(f"bench: {command} failed {failures} times")
    t[command] = float(median)
print("| page | kwl ms | PHPMailer ms | kwl/php |")
print("|---|---:|---:|---:|")
print(f"| mail: 50 mails, 1 MB attachment and an inline image each | {t['kwl']:.1f} | {t['php']:.1f} | {t['kwl'] / t['php']:.2f} |")
PY
