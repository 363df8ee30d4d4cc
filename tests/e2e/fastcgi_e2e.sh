#!/usr/bin/env bash
# kwl as a FastCGI server (kwl --fastcgi) behind a private lighttpd:
# - the same requests answer byte for byte as under CGI (one port, the
#   servers one after the other, the state laid afresh for each);
# - nothing of one visitor is seen by the next one the worker serves;
# - a page, an included file and kwl.conf changed on disk are picked up;
# - a request past veltimelimit or a worker past velworkermemory ends with a
#   500 and the worker is replaced; a worker killed mid-request is replaced;
#   a client that leaves mid-response does not end the worker; a stopped
#   server finishes the requests it serves.
# Usage: fastcgi_e2e.sh PATH_TO_KWL
set -uo pipefail

if [[ $# -lt 1 || ! -x $1 ]]; then
  echo "usage: $0 PATH_TO_KWL" >&2
  exit 2
fi
kwl=$(realpath "$1")
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/kwl-fcgi-XXXXXX")
server_pid=""
kwl_pid=""
stop_server() { stop_job server_pid; }
stop_kwl() { stop_job kwl_pid; }
cleanup() {
  stop_server
  stop_kwl
  rm -rf "$work"
}
trap cleanup EXIT

# --- the site ---------------------------------------------------------------

www=$work/www
state=$work/state
mkdir -p "$www/limits" "$www/memory" "$www/sub" "$work/cgi-bin" "$work/state.template" \
  "$work/limits-state" "$work/memory-state"
ln -s "$kwl" "$work/cgi-bin/kwl"
printf 'mykey 5\n!FROMCONF yes\n' >"$work/state.template/kwl.conf"
printf 'veltimelimit 2\n' >"$work/limits-state/kwl.conf"
printf 'velworkermemory 150M\nvelmemorylimit 0\n' >"$work/memory-state/kwl.conf"

printf '%s' '<HTML>[$a$|$b$|$velparamcount$|$SCRIPT_NAME$|$velcurrentfile$]' >"$www/echo.kwl"
printf '%s' '<HTML>[$a$|$f.filename$|$f.filesize$]$f$' >"$www/upload.kwl"
printf '%s' '<COOKIE NAME=made VALUE="yes" DIR=/shop><COOKIE NAME=id><HTML>[$id$]' >"$www/cookie.kwl"
printf '%s' '<SET SESSION=n EXPR="$n$ + 1"><HTML>[$n$]' >"$www/count.kwl"
printf '%s' '<HTML>[$PATH_INFO$|$mykey$|$FROMCONF$]' >"$www/sub/info.kwl"
printf '%s' '<HTML><SYSTEM EXEC="env | grep -v ^REMOTE_PORT= | sort; ls /proc/self/fd | xargs echo fds">[$velerr$]' \
  >"$www/env.kwl"
printf '%s' '<HTML><INCLUDE FILE="part.txt">|<INCLUDE FILE="missing.kwl">[$velerr$]' >"$www/inc.kwl"
printf '%s' 'part one' >"$www/part.txt"
printf '%s' '<HTML>v1' >"$www/change.kwl"
printf '%s' '<HTML>[$mykey$]' >"$www/conf.kwl"
printf 'line\n' >"$www/leak.txt"
printf '%s' '<SET NAME=g VALUE="$who$"><SET SESSION=s VALUE="$who$"><FILE OPEN=f PATH=leak.txt><INCLUDE FILE="missing.kwl"><HTML>set $velerr$' \
  >"$www/leak_set.kwl"
printf '%s' '<HTML>[$g$|$s$|$who$|$HTTP_X_SECRET$|$velerr$]<SET NAME=h VALUE=1><FILE READ=h CONTENT=c>[$velerr$]' \
  >"$www/leak_get.kwl"
printf '%s' '<SYSTEM EXEC="echo $$PPID >busy.pid"><WAIT VALUE=3><HTML>done' >"$www/busy.kwl"
printf '%s' '<WAIT VALUE=2><HTML><SYSTEM EXEC="head -c 4000000 /dev/zero | tr \\000 x">' >"$www/flood.kwl"
printf '%s' '<WAIT VALUE=5><HTML>late' >"$www/limits/slow.kwl"
{
  printf '<SET NAME=s VALUE="x">'
  for _ in $(seq 1 28); do printf '<SET NAME=s VALUE="$s$$s$">'; done
  printf '<WAIT VALUE=3><HTML>big'
} >"$www/memory/big.kwl"
printf '%s' '<HTML>fine' >"$www/limits/fine.kwl"

write_config() {  # cgi|fastcgi
  local handler
  if [[ $1 == cgi ]]; then
    handler="server.modules += (\"mod_cgi\")
cgi.assign = (\".kwl\" => \"$kwl\")
\$HTTP[\"url\"] =~ \"^/kwl-bin/\" { cgi.assign = (\"\" => \"\") }"
  else
    handler="server.modules += (\"mod_fastcgi\")
fastcgi.server = (\".kwl\" => ((\"socket\" => \"$work/kwl.sock\")),
                  \"/kwl-bin/\" => ((\"socket\" => \"$work/kwl.sock\")))"
  fi
  cat >"$work/lighttpd.conf" <<EOF
server.document-root = "$www"
server.bind = "127.0.0.1"
server.port = $port
server.errorlog = "$work/error.log"
server.modules = ("mod_access", "mod_alias", "mod_setenv")
setenv.add-environment = ("KWL_DIR" => "$state")
\$HTTP["url"] =~ "^/limits/" { setenv.set-environment = ("KWL_DIR" => "$work/limits-state") }
\$HTTP["url"] =~ "^/memory/" { setenv.set-environment = ("KWL_DIR" => "$work/memory-state") }
alias.url = ("/kwl-bin/" => "$work/cgi-bin/")
$handler
EOF
}
start_kwl() {  # workers
  "$kwl" --fastcgi "$work/kwl.sock" --workers "$1" 2>>"$work/kwl.log" &
  kwl_pid=$!
  wait_for test -S "$work/kwl.sock"
}
fresh_state() {
  rm -rf "$state"
  cp -r "$work/state.template" "$state"
}

# --- the same bytes as CGI ----------------------------------------------------

sid=COMPARE000000001
requests() {  # directory
  local out=$1 n=0
  mkdir -p "$out"
  one() {
    n=$((n + 1))
    curl -s -i -b "velsessionid=$sid" "$@" | grep -av '^Date: ' >"$out/$n"
  }
  one "$base/echo.kwl?a=1&b=x%20y"
  one -d 'a=2&b=z+w' "$base/echo.kwl"
  one -F a=3 -F "f=@$work/upload.bin;filename=photo.bin" "$base/upload.kwl"
  one -b "velsessionid=$sid; userid=5; id=7" "$base/cookie.kwl"
  one "$base/count.kwl"
  one "$base/count.kwl"
  one "$base/sub/info.kwl/x/y"
  one -H 'X-Custom: 1' "$base/env.kwl?q=1"
  one "$base/inc.kwl"
  one "$base/kwl-bin/kwl"
  one "$base/kwl-bin/kwl?page=www/echo.kwl&a=9"
  one -X PUT "$base/echo.kwl"
  one "$base/missing.kwl"
  echo "$n"
}
head -c 100000 /dev/urandom >"$work/upload.bin"

write_config cgi
fresh_state
start_lighttpd
count=$(requests "$work/cgi")
stop_server

write_config fastcgi
fresh_state
start_kwl 1
start_lighttpd
requests "$work/fcgi" >/dev/null
same=0
for n in $(seq 1 "$count"); do
  if cmp -s "$work/cgi/$n" "$work/fcgi/$n"; then
    same=$((same + 1))
  else
    echo "     response $n differs:"
    diff <(od -c "$work/cgi/$n" | head -20) <(od -c "$work/fcgi/$n" | head -20) | head -10
  fi
done
expect_eq "$count responses are the same bytes as under CGI" "$count" "$same"
check "SYSTEM runs with the request's environment" grep -q 'HTTP_X_CUSTOM=1' "$work/fcgi/8"

# --- one worker, interleaved visitors -------------------------------------------

leaks=0
for round in 1 2 3 4 5; do
  a=VISITORA0000000$round
  b=VISITORB0000000$round
  set_out=$(curl -s -b "velsessionid=$a" -H "X-Secret: s$round" "$base/leak_set.kwl?who=a$round")
  get_out=$(curl -s -b "velsessionid=$b" "$base/leak_get.kwl")
  own_out=$(curl -s -b "velsessionid=$a" "$base/leak_get.kwl")
  if [[ $set_out != '<HTML>set 2' || $get_out != '<HTML>[||||0][1]' ||
    $own_out != "<HTML>[|a$round|||0][1]" ]]; then
    leaks=$((leaks + 1))
    printf '     round %d: %q %q %q\n' "$round" "$set_out" "$get_out" "$own_out"
  fi
done
expect_eq "no variable, session, header, file handle or error of one visitor reaches the next" 0 "$leaks"
if [[ -n ${KWL_DB_HOST:-} ]]; then
  # A worker keeps its database connection for the next request: the server
  # session must start afresh (user variables, temporary tables, transactions,
  # the default database) while the connection itself is the same one.
  connect="<CONNECT NAME=\"$KWL_DB_USER\" PASS=\"$KWL_DB_PASSWORD\" SERVER=\"$KWL_DB_HOST\" PORT=\"$KWL_DB_PORT\" BASE=\"$KWL_DB_NAME\">"
  printf '%s' "$connect"'<SQL QUERY="CREATE TABLE IF NOT EXISTS fcgi_t (a INT) ENGINE=InnoDB"></SQL><SQL QUERY="SET @secret = 7"></SQL><SQL QUERY="CREATE TEMPORARY TABLE fcgi_tmp (a INT)"></SQL><SQL QUERY="SET autocommit = 0"></SQL><SQL QUERY="INSERT INTO fcgi_t VALUES (1)"></SQL><SQL QUERY="USE information_schema"></SQL><HTML><SQL QUERY="SELECT CONNECTION_ID() AS c">$c$</SQL>' \
    >"$www/db_set.kwl"
  printf '%s' "$connect"'<SQL QUERY="SELECT CONCAT(IFNULL(@secret, 0), DATABASE(), (SELECT COUNT(*) FROM fcgi_t), @@autocommit + 0) AS v, CONNECTION_ID() AS c"><HTML>$v$ $c$</SQL><SQL QUERY="SELECT * FROM fcgi_tmp"></SQL>[$sqlerr$]' \
    >"$www/db_get.kwl"
  first=$(curl -s "$base/db_set.kwl")
  expect_eq "a page's database session does not reach the next request on the same connection" \
    "${first/<HTML>/<HTML>0${KWL_DB_NAME}01 }[1146]" "$(curl -s "$base/db_get.kwl")"
fi
ids=$(for _ in 1 2 3 4; do curl -s -D - -o /dev/null "$base/count.kwl" | grep -a '^Set-Cookie: velsessionid='; done | sort -u | wc -l)
expect_eq "new visitors served by one worker in one second get distinct session ids" 4 "$ids"

# --- changes on disk ------------------------------------------------------------

expect_eq "a page as first read" '<HTML>v1' "$(curl -s "$base/change.kwl")"
printf '%s' '<HTML>v2' >"$www/change.kwl"
expect_eq "a page rewritten in place is read again" '<HTML>v2' "$(curl -s "$base/change.kwl")"
printf '%s' '<HTML>v3' >"$www/change.new" && mv "$www/change.new" "$www/change.kwl"
expect_eq "a page replaced by another file is read again" '<HTML>v3' "$(curl -s "$base/change.kwl")"
printf '%s' 'part two' >"$www/part.txt"
expect_eq "an included file changed is read again" '<HTML>part two|[2]' "$(curl -s "$base/inc.kwl")"
printf 'mykey 6\n' >"$state/kwl.conf"
expect_eq "kwl.conf changed is read again" '<HTML>[6]' "$(curl -s "$base/conf.kwl")"

# --- faults -----------------------------------------------------------------------

status=$(curl -s -o "$work/slow.out" -w '%{http_code} %{time_total}' "$base/limits/slow.kwl")
check "a request past veltimelimit ends with a 500 before it would have ended" \
  python3 -c "import sys; sys.exit('${status% *}' != '500' or float('${status#* }') > 4.5)"
expect_eq "the time limit is said in the error log" 1 "$(grep -c 'limits/slow.kwl: time limit exceeded' "$work/kwl.log")"
expect_eq "the next request is answered" '<HTML>fine' "$(curl -s "$base/limits/fine.kwl")"

expect_eq "a worker past velworkermemory ends its request with a 500" 500 \
  "$(curl -s -o /dev/null -w '%{http_code}' "$base/memory/big.kwl")"
# Under AddressSanitizer its own allocator gives up before the bound is seen:
# the request still ends with a 500, from the crash, without the line.
if nm "$kwl" 2>/dev/null | grep -q __asan_init; then
  pass "the memory bound is said in the error log (not under AddressSanitizer)"
else
  expect_eq "the memory bound is said in the error log" 1 "$(grep -c 'memory/big.kwl: worker memory bound exceeded' "$work/kwl.log")"
fi
expect_eq "the next request is answered" '<HTML>fine' "$(curl -s "$base/limits/fine.kwl")"

rm -f "$state/busy.pid"
curl -s -o "$work/busy.out" -w '%{http_code}' "$base/busy.kwl" >"$work/busy.status" &
client=$!
wait_for test -s "$state/busy.pid"
kill -KILL "$(cat "$state/busy.pid")"
wait "$client"
check "the request of a worker killed mid-request fails" \
  [ "$(cat "$work/busy.status")" != 200 -a "$(cat "$work/busy.out")" != '<HTML>done' ]
answered=$(for _ in 1 2 3; do curl -s "$base/echo.kwl?a=k"; echo; done | grep -c '^<HTML>\[k|')
expect_eq "the requests after it are answered" 3 "$answered"
expect_eq "the supervisor says the worker was killed" 1 "$(grep -c 'ended by signal 9: replaced' "$work/kwl.log")"

curl -s -o /dev/null --max-time 1 "$base/flood.kwl"
sleep 2
expect_eq "a client that leaves mid-response does not end the worker" '<HTML>[l||1|/echo.kwl|echo.kwl]' \
  "$(curl -s "$base/echo.kwl?a=l")"
expect_eq "no other worker ended" 1 "$(grep -c 'ended by signal' "$work/kwl.log")"

# SIGTERM: the request being served is finished, then every worker ends.
rm -f "$state/busy.pid"
curl -s "$base/busy.kwl" >"$work/busy.out" &
client=$!
wait_for test -s "$state/busy.pid"
kill -TERM "$kwl_pid"
wait "$client"
expect_eq "a request being served when the server is stopped is finished" '<HTML>done' \
  "$(cat "$work/busy.out")"
wait_for eval '! kill -0 "$kwl_pid" 2>/dev/null'
if kill -0 "$kwl_pid" 2>/dev/null; then
  fail "the server ends once its workers are done"
else
  pass "the server ends once its workers are done"
  wait "$kwl_pid" 2>/dev/null
  kwl_pid=""
fi

finish "$work/kwl.log"
