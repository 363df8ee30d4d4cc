#!/usr/bin/env bash
# The product list of a small shop (pages/shop: a layout include, a session
# written on every visit, one SELECT of 10 rows rendered in a loop) behind one
# lighttpd: kwl --fastcgi against the same page under php-fpm with OPcache
# (timestamps validated, as kwl checks its pages), the same number of workers
# each, measured with wrk in turns within one run. Reports requests/s, median
# and 99th percentile latency, CPU time per request of the workers and of the
# database (which a busy machine disturbs less than requests/s; medians over the
# turns) and memory per worker.
#
# Usage: bench/fastcgi.sh [SECONDS_PER_TURN] [TURNS]   (default 10 s, 3 turns)
# KWL_BIN=/path/to/kwl measures another build of kwl.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=bench/lib.sh
source bench/lib.sh
seconds=${1:-10}
turns=${2:-3}

scripts/install-deps.sh php8.2-fpm php8.2-mysql wrk
build=${KWL_BENCH_DIR:-$root/build-bench}
if [[ -z "${KWL_BIN:-}" ]]; then
  KWL_SKIP_DEPS=1 scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  KWL_BIN=$build/kwl
fi
kwl=$(cd "$(dirname "$KWL_BIN")" && pwd)/$(basename "$KWL_BIN")
fpm=$(command -v php-fpm8.2 || echo /usr/sbin/php-fpm8.2)
extensions=$(php-config8.2 --extension-dir 2>/dev/null || echo /usr/lib/php/20220829)
cores=$(nproc)
workers=$((2 * cores))  # each side: a worker waits on the database part of the time

work=$build/fastcgi-work
rm -rf "$work"
mkdir -p "$work/www" "$work/state" "$work/php-sessions"
cp bench/pages/shop/*.kwl bench/pages/shop/*.php "$work/www/"

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
mariadb --no-defaults --socket="$KWL_DB_SOCKET" -u"$KWL_DB_USER" -p"$KWL_DB_PASSWORD" \
  "$KWL_DB_NAME" <bench/pages/shop/products.sql

cat >"$work/php-fpm.conf" <<EOF
[global]
error_log = $work/php-fpm.log
daemonize = no
[shop]
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
  -d extension="$extensions/mysqlnd.so" -d extension="$extensions/mysqli.so" \
  -d zend_extension="$extensions/opcache.so" -d opcache.enable=1 \
  -d opcache.validate_timestamps=1 -d opcache.revalidate_freq=0 &
pids+=($!)
"$kwl" --fastcgi "$work/kwl.sock" --workers "$workers" 2>"$work/kwl.log" &
kwl_pid=$!
pids+=($kwl_pid)

port=$(free_port)
cat >"$work/lighttpd.conf" <<EOF
server.document-root = "$work/www"
server.bind = "127.0.0.1"
server.port = $port
server.errorlog = "$work/lighttpd.log"
server.modules = ("mod_setenv", "mod_fastcgi")
setenv.add-environment = ("KWL_DIR" => "$work/state", "KWL_DB_HOST" => "$KWL_DB_HOST",
  "KWL_DB_PORT" => "$KWL_DB_PORT", "KWL_DB_USER" => "$KWL_DB_USER",
  "KWL_DB_PASSWORD" => "$KWL_DB_PASSWORD", "KWL_DB_NAME" => "$KWL_DB_NAME")
fastcgi.server = (".kwl" => (("socket" => "$work/kwl.sock")),
                  ".php" => (("socket" => "$work/php.sock")))
EOF
lighttpd -D -f "$work/lighttpd.conf" &
pids+=($!)
wait_for_servers "$work" "$port"

write_visitors "$work/visitors.lua"

body() { curl -s -b velsessionid=CHECKVISITOR0001 "http://127.0.0.1:$port/$1"; }
if ! cmp -s <(body list.kwl) <(body list.php); then
  echo "bench: kwl and php-fpm write different bodies for the product list" >&2
  diff <(body list.kwl) <(body list.php) | head -20 >&2
  exit 1
fi

server_pids() {  # kwl|php
  if [[ $1 == kwl ]]; then pgrep -P "$kwl_pid"; else pgrep -f 'php-fpm: pool shop'; fi
}
db_pid=$(pgrep -f "datadir=$db/data" | head -1)

run() {  # page: prints "requests/s median-ms p99-ms worker-cpu-ms/request db-cpu-ms/request"
  local side=${1##*.} workers_before db_before
  workers_before=$(ticks $(server_pids "$side"))
  db_before=$(ticks "$db_pid")
  wrk -t2 -c16 -d"${seconds}s" --latency -s "$work/visitors.lua" \
    "http://127.0.0.1:$port/$1" >"$work/wrk.out"
  echo "$(($(ticks $(server_pids "$side")) - workers_before)) $(($(ticks "$db_pid") - db_before))" \
    >"$work/ticks.out"
  if grep -q 'Non-2xx' "$work/wrk.out"; then
    echo "bench: $1 answered with errors" >&2
    cat "$work/wrk.out" >&2
    exit 1
  fi
  python3 - "$work/wrk.out" "$work/ticks.out" "$(getconf CLK_TCK)" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
worker_ticks, db_ticks = (int(v) for v in open(sys.argv[2]).read().split())
hz = int(sys.argv[3])
def ms(label):
    value, unit = re.search(r"^\s*" + label + r"\s+([\d.]+)(us|ms|s)\s*$", text, re.M).groups()
    return float(value) * {"us": 0.001, "ms": 1.0, "s": 1000.0}[unit]
rate = float(re.search(r"Requests/sec:\s+([\d.]+)", text).group(1))
count = int(re.search(r"(\d+) requests in", text).group(1))
cpu = lambda t: t * 1000.0 / hz / count
print(f"{rate:.0f} {ms('50%'):.2f} {ms('99%'):.2f} {cpu(worker_ticks):.3f} {cpu(db_ticks):.3f}")
PY
}
# Kilobytes per worker: resident and proportional (shared pages divided).
memory() {  # pids...
  local rss=0 pss=0 n=0
  for pid in "$@"; do
    rss=$((rss + $(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")))
    pss=$((pss + $(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup")))
    n=$((n + 1))
  done
  echo "$((rss / n)) $((pss / n))"
}

run list.kwl >/dev/null  # warm-up: modules loaded, pages compiled, OPcache filled
run list.php >/dev/null
: >"$work/results"
for turn in $(seq 1 "$turns"); do
  echo "kwl $(run list.kwl)" >>"$work/results"
  echo "php $(run list.php)" >>"$work/results"
done
kwl_mem=$(memory $(pgrep -P "$kwl_pid"))
php_mem=$(memory $(pgrep -f 'php-fpm: pool shop'))

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
echo "Machine: $cpu, $cores cores; $(uname -sr); $workers workers each; wrk -t2 -c16, $turns turns of ${seconds} s"
echo
python3 - "$work/results" "$kwl_mem" "$php_mem" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    side, *values = line.split()
    rows.setdefault(side, []).append(tuple(float(v) for v in values))
mem = {"kwl": sys.argv[2].split(), "php": sys.argv[3].split()}
print("| server | requests/s | median ms | p99 ms | worker CPU ms/req | database CPU ms/req "
      "| RSS/worker MiB | PSS/worker MiB |")
print("|---|---:|---:|---:|---:|---:|---:|---:|")
med = {}
for side, name in (("kwl", "kwl --fastcgi"), ("php", "php-fpm + OPcache")):
    r = [statistics.median(x[i] for x in rows[side]) for i in range(5)]
    med[side] = r
    rss, pss = (int(v) / 1024 for v in mem[side])
    print(f"| {name} | {r[0]:.0f} | {r[1]:.2f} | {r[2]:.2f} | {r[3]:.3f} | {r[4]:.3f} "
          f"| {rss:.1f} | {pss:.1f} |")
print(f"\nkwl/php-fpm requests/s: {med['kwl'][0] / med['php'][0]:.2f}; "
      f"CPU per request (workers + database): "
      f"{(med['kwl'][3] + med['kwl'][4]) / (med['php'][3] + med['php'][4]):.2f}")
PY
