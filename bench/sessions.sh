#!/usr/bin/env bash
# The session-heavy cart page (pages/cart: four session variables read and
# written on every visit) behind one lighttpd, with kwl's two session stores:
# files (kwlsession/) and a MariaDB table, through FastCGI (kwl --fastcgi)
# and CGI; PHP's own file sessions beside them (php-fpm with OPcache, and
# php-cgi). 64 visitors, each with a session of its own, wrk in turns within
# one run. Reports requests/s and median latency (medians over the turns) and
# the ratio of each MariaDB figure to its files figure.
#
# Usage: bench/sessions.sh [SECONDS_PER_TURN] [TURNS]   (default 10 s, 3 turns)
# KWL_BIN=/path/to/kwl measures another build of kwl.
# KWL_BENCH_WORKERS=N runs N FastCGI workers on each side (default twice the cores).
# KWL_BENCH_FLUSH=2 starts MariaDB with innodb_flush_log_at_trx_commit=2
# (commits written at once, flushed to disk once a second).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=bench/lib.sh
source bench/lib.sh
seconds=${1:-10}
turns=${2:-3}

scripts/install-deps.sh php8.2-fpm php8.2-cgi wrk
build=${KWL_BENCH_DIR:-$root/build-bench}
if [[ -z "${KWL_BIN:-}" ]]; then
  KWL_SKIP_DEPS=1 scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  KWL_BIN=$build/kwl
fi
kwl=$(cd "$(dirname "$KWL_BIN")" && pwd)/$(basename "$KWL_BIN")
fpm=$(command -v php-fpm8.2 || echo /usr/sbin/php-fpm8.2)
phpcgi=$(command -v php-cgi8.2 || command -v php-cgi)
extensions=$(php-config8.2 --extension-dir 2>/dev/null || echo /usr/lib/php/20220829)
cores=$(nproc)
workers=${KWL_BENCH_WORKERS:-$((2 * cores))}

work=$build/sessions-work
rm -rf "$work"
mkdir -p "$work/www/files" "$work/www/db" "$work/www/php" "$work/state-files" "$work/state-db" \
  "$work/php-sessions"
cp bench/pages/cart/cart.kwl "$work/www/files/"
cp bench/pages/cart/cart.kwl "$work/www/db/"
cp bench/pages/cart/cart.php "$work/www/php/"

pids=()
db=$work/mariadb
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  tests/db/stop-mariadb.sh "$db" >/dev/null 2>&1 || true
}
trap cleanup EXIT
tests/db/start-mariadb.sh "$db" >/dev/null
# shellcheck disable=SC1091
source "$db/env"
if [[ -n ${KWL_BENCH_FLUSH:-} ]]; then
  mariadb --no-defaults --socket="$KWL_DB_SOCKET" -uroot \
    -e "SET GLOBAL innodb_flush_log_at_trx_commit = $KWL_BENCH_FLUSH"
fi
cat >"$work/state-db/kwl.conf" <<EOF
velsessionstore mariadb
velsessionsocket $KWL_DB_SOCKET
velsessionuser $KWL_DB_USER
velsessionpassword $KWL_DB_PASSWORD
velsessiondatabase $KWL_DB_NAME
EOF

cat >"$work/php-fpm.conf" <<EOF
[global]
error_log = $work/php-fpm.log
daemonize = no
[cart]
user = $(id -un)
listen = $work/php.sock
pm = static
pm.max_children = $workers
clear_env = no
php_admin_value[session.save_path] = $work/php-sessions
EOF
as_root=()
[[ $(id -u) -eq 0 ]] && as_root=(-R)
"$fpm" -n -y "$work/php-fpm.conf" -F "${as_root[@]}" \
  -d zend_extension="$extensions/opcache.so" -d opcache.enable=1 \
  -d opcache.validate_timestamps=1 -d opcache.revalidate_freq=0 &
pids+=($!)
"$kwl" --fastcgi "$work/kwl.sock" --workers "$workers" 2>"$work/kwl.log" &
kwl_pid=$!
pids+=($kwl_pid)
printf '#!/bin/sh\nexec %s -n -d session.save_path=%s "$@"\n' "$phpcgi" "$work/php-sessions" \
  >"$work/php-cgi"
chmod +x "$work/php-cgi"

port=$(free_port)
cat >"$work/lighttpd.conf" <<EOF
server.document-root = "$work/www"
server.bind = "127.0.0.1"
server.port = $port
server.errorlog = "$work/lighttpd.log"
server.modules = ("mod_setenv", "mod_fastcgi", "mod_cgi", "mod_alias")
alias.url = ("/cgi/" => "$work/www/")
setenv.add-environment = ("KWL_DIR" => "$work/state-files")
\$HTTP["url"] =~ "^/(cgi/)?db/" { setenv.add-environment = ("KWL_DIR" => "$work/state-db") }
\$HTTP["url"] =~ "^/cgi/" {
  cgi.assign = (".kwl" => "$kwl", ".php" => "$work/php-cgi")
} else {
  fastcgi.server = (".kwl" => (("socket" => "$work/kwl.sock")),
                    ".php" => (("socket" => "$work/php.sock")))
}
EOF
lighttpd -D -f "$work/lighttpd.conf" &
pids+=($!)
wait_for_servers "$work" "$port"

write_visitors "$work/visitors.lua"

body() { curl -s -b "velsessionid=CHECKVISITOR000$2" "http://127.0.0.1:$port/$1"; }
reference=$(body files/cart.kwl 0)
n=0
for page in db/cart.kwl php/cart.php cgi/files/cart.kwl cgi/db/cart.kwl cgi/php/cart.php; do
  # A visitor of its own for each: every one is a first visit.
  n=$((n + 1))
  got=$(body "$page" "$n")
  if [[ $got != "$reference" ]]; then
    echo "bench: $page writes another body than files/cart.kwl" >&2
    diff <(echo "$reference") <(echo "$got") | head -10 >&2
    exit 1
  fi
done

# CPU time is read for the FastCGI workers and the database server (CGI
# processes end before they can be read).
workers_of() {  # page
  case $1 in
    cgi/*) ;;
    *.kwl) pgrep -P "$kwl_pid" ;;
    *) pgrep -f 'php-fpm: pool cart' ;;
  esac
}
db_pid=$(pgrep -f "datadir=$db/data" | head -1)

run() {  # page connections: prints "requests/s median-ms worker-cpu-ms/req db-cpu-ms/req"
  local workers_before db_before
  workers_before=$(ticks $(workers_of "$1"))
  db_before=$(ticks "$db_pid")
  wrk -t2 -c"$2" -d"${seconds}s" --latency -s "$work/visitors.lua" \
    "http://127.0.0.1:$port/$1" >"$work/wrk.out"
  echo "$(($(ticks $(workers_of "$1")) - workers_before)) $(($(ticks "$db_pid") - db_before))" \
    >"$work/ticks.out"
  if grep -q 'Non-2xx' "$work/wrk.out"; then
    echo "bench: $1 answered with errors" >&2
    cat "$work/wrk.out" >&2
    exit 1
  fi
  python3 - "$work/wrk.out" "$work/ticks.out" "$(getconf CLK_TCK)" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
value, unit = re.search(r"^\s*50%\s+([\d.]+)(us|ms|s)\s*$", text, re.M).groups()
median = float(value) * {"us": 0.001, "ms": 1.0, "s": 1000.0}[unit]
rate = float(re.search(r"Requests/sec:\s+([\d.]+)", text).group(1))
count = int(re.search(r"(\d+) requests in", text).group(1))
workers, db = (int(v) * 1000.0 / int(sys.argv[3]) / count for v in open(sys.argv[2]).read().split())
print(f"{rate:.0f} {median:.2f} {workers:.3f} {db:.3f}")
PY
}

pages=("files/cart.kwl 16" "db/cart.kwl 16" "php/cart.php 16"
       "cgi/files/cart.kwl 4" "cgi/db/cart.kwl 4" "cgi/php/cart.php 4")
for p in "${pages[@]}"; do run $p >/dev/null; done  # warm-up
: >"$work/results"
for turn in $(seq 1 "$turns"); do
  for p in "${pages[@]}"; do
    set -- $p
    echo "$1 $(run "$1" "$2")" >>"$work/results"
  done
done

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
flush=$(mariadb --no-defaults --socket="$KWL_DB_SOCKET" -uroot -N -B \
  -e "SELECT @@innodb_flush_log_at_trx_commit")
echo "Machine: $cpu, $cores cores; $(uname -sr); $workers FastCGI workers each;" \
  "wrk -t2 (16 connections FastCGI, 4 CGI), $turns turns of ${seconds} s;" \
  "innodb_flush_log_at_trx_commit=$flush"
echo
python3 - "$work/results" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    page, *values = line.split()
    rows.setdefault(page, []).append([float(v) for v in values])
med = {p: [statistics.median(x[i] for x in r) for i in range(4)] for p, r in rows.items()}
names = {"files/cart.kwl": "kwl --fastcgi, files", "db/cart.kwl": "kwl --fastcgi, MariaDB",
         "php/cart.php": "php-fpm + OPcache, files", "cgi/files/cart.kwl": "kwl CGI, files",
         "cgi/db/cart.kwl": "kwl CGI, MariaDB", "cgi/php/cart.php": "php-cgi, files"}
print("| server and store | requests/s | median ms | worker CPU ms/req | database CPU ms/req |")
print("|---|---:|---:|---:|---:|")
for page, name in names.items():
    cpu = (f"{med[page][2]:.3f} | {med[page][3]:.3f}" if not page.startswith("cgi/")
           else f"| {med[page][3]:.3f}")
    print(f"| {name} | {med[page][0]:.0f} | {med[page][1]:.2f} | {cpu} |")
print()
for mode, prefix in (("FastCGI", ""), ("CGI", "cgi/")):
    files, db, php = (med[prefix + p][0] for p in ("files/cart.kwl", "db/cart.kwl", "php/cart.php"))
    print(f"{mode}: MariaDB/files requests/s {db / files:.2f} (cost {100 * (1 - db / files):.0f} %);"
          f" kwl MariaDB/PHP files {db / php:.2f}; kwl files/PHP files {files / php:.2f}")
w = {p: med[p][2] for p in ("files/cart.kwl", "db/cart.kwl")}
d = {p: med[p][3] for p in ("files/cart.kwl", "db/cart.kwl")}
print(f"FastCGI CPU per request, MariaDB against files: workers {w['db/cart.kwl'] / w['files/cart.kwl']:.2f};"
      f" workers + database {(w['db/cart.kwl'] + d['db/cart.kwl']) / (w['files/cart.kwl'] + d['files/cart.kwl']):.2f}")
PY
