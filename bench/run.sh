#!/usr/bin/env bash
# Measures kwl against php-cgi on equivalent pages, side by side in one run:
#   hello  a hello page (and a trivial C program, the floor of any CGI program)
#   loop   100,000 passes of a loop adding to a counter and appending to a string
#   vars   10,000 variable references
#   db     a 10,000-row SELECT rendered as an HTML table (MariaDB started here)
#   http   100 fetches of a 100 KB document from a local lighttpd (started here)
# Whole process runs, wall time, median; each round runs every command once in
# turn (bench/runs.c). Checks first that both pages of a pair write the same
# body (headers differ: php-cgi writes its own).
#
# Usage: bench/run.sh [ROUND_FACTOR]   (default 1; 0.2 for a quick look)
# KWL_BIN=/path/to/kwl measures another build of kwl; KWL_BENCH_DIR names the
# build directory (default build-bench, configured Release).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
factor=${1:-1}

# The benchmark's own tools: php-cgi with its MariaDB driver.
scripts/install-deps.sh php8.2-cgi php8.2-mysql

build=${KWL_BENCH_DIR:-$root/build-bench}
if [[ -z "${KWL_BIN:-}" ]]; then
  KWL_SKIP_DEPS=1 scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  KWL_BIN=$build/kwl
fi
kwl=$(cd "$(dirname "$KWL_BIN")" && pwd)/$(basename "$KWL_BIN")
php=(php-cgi -n -d extension=mysqlnd -d extension=mysqli)

work=$build/bench-work
rm -rf "$work"
mkdir -p "$work"
pages=$root/bench/pages
cc -O2 -Wall -Wextra -o "$work/runs" bench/runs.c
printf '#include <stdio.h>\nint main(void) {\n  fputs("Content-type: text/html\\n\\n<HTML>Hello, world!\\n", stdout);\n  return 0;\n}\n' >"$work/hello.c"
cc -O2 -o "$work/hello_c" "$work/hello.c"

# 100 variables, then 100 lines of 100 references each.
python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
names = [f"v{k}" for k in range(100)]
kwl = ["<HTML>" + "".join(f'<SET NAME={n} VALUE="value {k}">' for k, n in enumerate(names))]
php = ["<HTML><?php " + " ".join(f'${n} = "value {k}";' for k, n in enumerate(names)) + " ?>\n"]
for _ in range(100):
    kwl.append("[" + " ".join(f"${n}$" for n in names) + "]")
    php.append("[" + " ".join(f"<?=${n}?>" for n in names) + "]")
open(f"{work}/vars.kwl", "w").write("\n".join(kwl) + "\n")
open(f"{work}/vars.php", "w").write("\n".join(php) + "\n")
PY

db=$work/mariadb
http_pid=""
stop_servers() {
  "$root/tests/db/stop-mariadb.sh" "$db" >/dev/null 2>&1 || true
  if [[ -n $http_pid ]]; then kill "$http_pid" 2>/dev/null || true; fi
}
trap stop_servers EXIT
tests/db/start-mariadb.sh "$db" >/dev/null
# shellcheck disable=SC1091
source "$db/env"
mariadb --no-defaults --socket="$KWL_DB_SOCKET" -u"$KWL_DB_USER" -p"$KWL_DB_PASSWORD" \
  "$KWL_DB_NAME" <"$pages/db_table.sql"

# A static 100 KB document behind lighttpd, for the http pages.
mkdir -p "$work/www"
head -c 102400 /dev/zero | tr '\0' x >"$work/www/doc100k.html"
KWL_BENCH_HTTP_PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export KWL_BENCH_HTTP_PORT
cat >"$work/lighttpd.conf" <<CONF
server.document-root = "$work/www"
server.bind = "127.0.0.1"
server.port = $KWL_BENCH_HTTP_PORT
server.errorlog = "$work/lighttpd-error.log"
CONF
"$(command -v lighttpd || echo /usr/sbin/lighttpd)" -D -f "$work/lighttpd.conf" &
http_pid=$!
for _ in $(seq 1 100); do
  curl -sf -o /dev/null "http://127.0.0.1:$KWL_BENCH_HTTP_PORT/doc100k.html" && break
  sleep 0.05
done

cd "$work"
# The body of a response: what follows the first empty line.
body() { python3 -c '
import re, sys
data = sys.stdin.buffer.read()
m = re.search(rb"\r?\n\r?\n", data)
sys.stdout.buffer.write(data[m.end():] if m else b"")'; }
same_body() {
  local name=$1 kpage=$2 ppage=$3
  if ! cmp -s <("$kwl" "$kpage" </dev/null | body) <("${php[@]}" "$ppage" </dev/null | body); then
    echo "bench: kwl and php-cgi write different bodies for $name" >&2
    exit 1
  fi
}
same_body hello "$pages/hello.kwl" "$pages/hello.php"
same_body loop "$pages/loop.kwl" "$pages/loop.php"
same_body vars vars.kwl vars.php
same_body db "$pages/db_table.kwl" "$pages/db_table.php"
same_body http "$pages/http_fetch.kwl" "$pages/http_fetch.php"

rounds() { python3 -c "print(max(3, round($1 * $factor)))"; }
measure() {  # name rounds: prints "name command median min failures" lines
  local name=$1 n=$2 kpage=$3 ppage=$4
  shift 4
  ./runs "$n" 2 "$@" kwl -- "$kwl" "$kpage" \; php -- "${php[@]}" "$ppage" | sed "s/^/$name /"
}
{
  measure hello "$(rounds 200)" "$pages/hello.kwl" "$pages/hello.php" c -- ./hello_c \;
  measure loop "$(rounds 20)" "$pages/loop.kwl" "$pages/loop.php"
  measure vars "$(rounds 100)" vars.kwl vars.php
  measure db "$(rounds 20)" "$pages/db_table.kwl" "$pages/db_table.php"
  measure http "$(rounds 20)" "$pages/http_fetch.kwl" "$pages/http_fetch.php"
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
print("| page | kwl ms | php-cgi ms | kwl/php | C ms | kwl/C |")
print("|---|---:|---:|---:|---:|---:|")
for page, t in rows.items():
    c = f"{t['c']:.2f} | {t['kwl'] / t['c']:.2f}" if "c" in t else " | "
    print(f"| {page} | {t['kwl']:.2f} | {t['php']:.2f} | {t['kwl'] / t['php']:.2f} | {c} |")
PY
