#!/usr/bin/env bash
# Runs kwl as a CGI program behind a private lighttpd, laid out as the README
# says (pages in www/, the interpreter's state in state/ through KWL_DIR), and
# drives it with curl: request decoding, uploads, cookies, sessions, the
# information page, the page parameter, path information, the attacks of a
# hostile visitor, and many clients writing one session at once.
# With --fastcgi the same requests go through lighttpd's mod_fastcgi to
# `kwl` spawned by lighttpd as a FastCGI server (its listening socket as
# standard input).
# Usage: cgi_e2e.sh [--fastcgi] PATH_TO_KWL [REQUESTS_PER_RACING_CLIENT]
set -uo pipefail

mode=cgi
if [[ ${1:-} == --fastcgi ]]; then
  mode=fastcgi
  shift
fi
if [[ $# -lt 1 || ! -x $1 ]]; then
  echo "usage: $0 [--fastcgi] PATH_TO_KWL [REQUESTS_PER_RACING_CLIENT]" >&2
  exit 2
fi
kwl=$(realpath "$1")
race_requests=${2:-4}
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/kwl-e2e-XXXXXX")
server_pid=""
cleanup() {
  stop_job server_pid
  rm -rf "$work"
}
trap cleanup EXIT

# --- the site ---------------------------------------------------------------

www=$work/www
state=$work/state
mkdir -p "$www/race" "$work/cgi-bin" "$state"
# The interpreter itself is reachable through a link, for the information
# page and the page parameter; its modules stay beside the real file.
ln -s "$kwl" "$work/cgi-bin/kwl"

printf '%s' '<HTML>[$a$|$b$|$velparamcount$]' >"$www/echo.kwl"
printf '%s' '<HTML>[$a$|$f.filename$|$f.filepath$|$f.filesize$]$f$' >"$www/upload.kwl"
printf '%s' '<COOKIE NAME=made VALUE="yes" TTL=1 DIR=/shop><COOKIE NAME=id><HTML>[$id$]' \
  >"$www/cookie.kwl"
printf '%s' '<SET SESSION=n EXPR="$n$ + 1"><HTML>[$n$|$velsessionid$]' >"$www/count.kwl"
printf '%s' '<HTML>[$n$]' >"$www/peek.kwl"
printf '%s' '<HTML>[$n$]' >"$www/race/index.kwl"
printf '%s' '<HTML>[$PATH_INFO$]' >"$www/pathinfo.kwl"
printf '%s' '<SET SESSION=s VALUE="$v$"><HTML>stored' >"$www/store.kwl"
printf '%s' '<HTML>XTXT' >"$www/x.txt"
printf 'secret 1\n' >"$www/kwl.conf"  # a stray copy in the web tree: never served
printf 'velsessiontimeout 720\n' >"$state/kwl.conf"
# Prints the session as loaded (the start of each value), then gives all 20
# variables one new value: a session file read half-written would show them
# unequal. The values are long so that a write takes a while.
{
  printf '<HTML>['
  for i in $(seq 1 20); do printf '$a%d(1,16)$' "$i"; [[ $i -lt 20 ]] && printf '|'; done
  printf ']'
  filler=$(head -c 20000 /dev/zero | tr '\0' x)
  for i in $(seq 1 20); do printf '<SET SESSION=a%d VALUE="$t$-%s">' "$i" "$filler"; done
  printf 'END'
} >"$www/race/race.kwl"

if [[ $mode == cgi ]]; then
  handler="server.modules += (\"mod_cgi\")
cgi.assign = (\".kwl\" => \"$kwl\")
\$HTTP[\"url\"] =~ \"^/kwl-bin/\" { cgi.assign = (\"\" => \"\") }"
else
  # lighttpd starts one kwl, which keeps two workers.
  backend="(( \"socket\" => \"$work/kwl.sock\", \"bin-path\" => \"$kwl --workers 2\", \"max-procs\" => 1 ))"
  handler="server.modules += (\"mod_fastcgi\")
fastcgi.server = (\".kwl\" => $backend, \"/kwl-bin/\" => $backend)"
fi
cat >"$work/lighttpd.conf" <<EOF
server.document-root = "$www"
server.bind = "127.0.0.1"
server.port = $port
server.errorlog = "$work/error.log"
server.modules = ("mod_access", "mod_alias", "mod_setenv")
index-file.names = ("index.kwl")
setenv.add-environment = ("KWL_DIR" => "$state")
\$HTTP["url"] =~ "(^|/)(kwlsession|kwldebug|kwl\\.conf)(/|\$)" {
  url.access-deny = ("")
}
alias.url = ("/kwl-bin/" => "$work/cgi-bin/")
$handler
EOF

start_lighttpd

# --- requests ---------------------------------------------------------------

sid=ABCDEFGHIJKLMNOP  # a session no test writes: keeps new-visitor cookies out
get() { curl -s -b "velsessionid=$sid" "$@"; }

expect_eq "GET parameters" '<HTML>[1|x y|2]' "$(get "$base/echo.kwl?a=1&b=x%20y")"
expect_eq "url-encoded POST" '<HTML>[2|z w|2]' "$(get -d 'a=2&b=z+w' "$base/echo.kwl")"

head -c 300000 /dev/urandom >"$work/upload.bin"
printf '\0\r\n--\0' >>"$work/upload.bin"  # bytes a careless reader would stop at
printf '%s' '<HTML>[3|photo.bin||300006]' >"$work/upload.expected"
cat "$work/upload.bin" >>"$work/upload.expected"
get -F a=3 -F "f=@$work/upload.bin;filename=photo.bin" "$base/upload.kwl" >"$work/upload.out"
check "multipart POST echoes a binary upload byte for byte" cmp -s "$work/upload.expected" "$work/upload.out"

headers=$(curl -s -D - -o "$work/cookie.out" -b "velsessionid=$sid; userid=5; id=7" "$base/cookie.kwl")
expect_eq "COOKIE reads by whole name" '<HTML>[7]' "$(cat "$work/cookie.out")"
check "COOKIE sets a cookie through the server" \
  has "$headers" '^Set-Cookie: made=yes; path=/shop; expires=[A-Z][a-z]{2}, [0-9]{2}-[A-Z][a-z]{2}-[0-9]{2} [0-9:]{8}'

# A session: the first visit gets an id, later visits carry it.
headers=$(curl -s -D - -o "$work/first.out" "$base/count.kwl")
new_id=$(sed -n 's/^Set-Cookie: velsessionid=\([A-Z0-9]\{16\}\); path=\/\r$/\1/p' <<<"$headers")
check "a first visit gets a session cookie" test -n "$new_id"
expect_eq "the first visit counts 1" "<HTML>[1|$new_id]" "$(cat "$work/first.out")"
for n in 2 3; do
  expect_eq "visit $n counts $n" "<HTML>[$n|$new_id]" "$(curl -s -b "velsessionid=$new_id" "$base/count.kwl")"
done
session_file=$state/kwlsession/$new_id
before=$(stat -c '%i %s' "$session_file" 2>/dev/null; od -An -c "$session_file" 2>/dev/null)
expect_eq "a page that only reads the session" '<HTML>[3]' "$(curl -s -b "velsessionid=$new_id" "$base/peek.kwl")"
after=$(stat -c '%i %s' "$session_file" 2>/dev/null; od -An -c "$session_file" 2>/dev/null)
check "reading leaves the session file unwritten" [ -n "$before" -a "$before" = "$after" ]
expect_eq "sessions live outside the web tree" "" "$(find "$www" -name 'kwlsession*')"
for path in kwl.conf kwl.conf/ kwl.conf/x kwlsession/x race/kwldebug/; do
  expect_eq "/$path is not served" 403 "$(curl -s -o /dev/null -w '%{http_code}' "$base/$path")"
done
expect_eq "index.kwl is the index page" '<HTML>[]' "$(get "$base/race/")"
expect_eq "the session goes on" "<HTML>[4|$new_id]" "$(curl -s -b "velsessionid=$new_id" "$base/count.kwl")"
expect_eq "a forged session id is a new visit" "1" \
  "$(curl -s -D - -o /dev/null -b 'velsessionid=../../etc/passwd' "$base/peek.kwl" | grep -c '^Set-Cookie: velsessionid=')"

# The program itself, requested without a page, describes itself.
info=$(get -i "$base/kwl-bin/kwl")
check "information page" has "$info" '^HTTP/1.1 200' '<TR><TD>Operating System</TD><TD>Linux</TD></TR>' '<TD>COOKIE</TD>'
# Its working directory is state/: the page parameter names a file beside it.
expect_eq "page parameter" '<HTML>[9||2]' "$(get "$base/kwl-bin/kwl?page=www/echo.kwl&a=9")"
refused=$(get -i "$base/kwl-bin/kwl?page=www/../www/echo.kwl&a=9")
check "a page parameter with .. runs nothing" lacks "$refused" '\[9|^HTTP/1.1 200'

# --- a hostile visitor ---------------------------------------------------------

# A session value that is a page, then the page parameter aimed at that file.
attack_id=ATTACK0000000001
curl -s -o /dev/null -b "velsessionid=$attack_id" --data-urlencode 'v=<HTML><SYSTEM EXEC="id">' "$base/store.kwl"
check "the attack's session is stored" test -s "$state/kwlsession/$attack_id"
for page in "state/kwlsession/$attack_id" "state/kwlsession/../kwlsession/$attack_id" \
  "state/./kwlsession/$attack_id" "www/x.txt" "state/kwl.conf"; do
  out=$(get -i "$base/kwl-bin/kwl?page=$page")
  check "page=$page runs nothing" lacks "$out" 'uid=|XTXT|velsessiontimeout|^HTTP/1.1 200'
done

# Response splitting through the page parameter's echo.
out=$(get -i --data 'page=x%0d%0aSet-Cookie:%20evil=1%0d%0aLocation:%20http://evil.example/' "$base/kwl-bin/kwl")
check "a page parameter cannot add header lines" lacks "$out" '^Set-Cookie: evil|^Location:|^HTTP/1.1 302'

# The server's script is the page; what follows it is path information.
expect_eq "path information stays path information" '<HTML>[/a/b]' "$(get "$base/pathinfo.kwl/a/b")"
expect_eq "a text file behind a page's name does not run" '<HTML>[||]' "$(get "$base/echo.kwl/x.txt")"
out=$(get "$base/echo.kwl/nonexist")
check "no absolute path is shown" lacks "$out" "$work"
# (lighttpd translates below the script's directory, where site/ leads to www/.)
ln -s ../www "$work/cgi-bin/site"
expect_eq "the interpreter as the script runs the translated path" '<HTML>[5||1]' \
  "$(get "$base/kwl-bin/kwl/site/echo.kwl?a=5")"

# One visitor, many requests at once, each adding one: none is lost.
lost_id=LOSTUPDATE000001
curl -s -o /dev/null -b "velsessionid=$lost_id" "$base/count.kwl"
for c in $(seq 1 24); do curl -s -o /dev/null -b "velsessionid=$lost_id" "$base/count.kwl" & done
wait $(jobs -p | grep -v "^$server_pid\$")
expect_eq "24 parallel increments of one session are all kept" "<HTML>[26|$lost_id]" \
  "$(curl -s -b "velsessionid=$lost_id" "$base/count.kwl")"

# --- one session, many writers ------------------------------------------------

race_id=RACE0000SESSION1
responses=$work/responses
mkdir -p "$responses"
client() {
  local c=$1 i=0
  while [[ $i -lt $race_requests ]]; do
    i=$((i + 1))
    curl -s -o "$responses/$c.$i" -w '%{http_code}\n' -b "velsessionid=$race_id" \
      "$base/race/race.kwl?t=c$c-$i" >>"$responses/status.$c"
  done
}
race_start=$SECONDS
for c in $(seq 1 20); do client "$c" & done
wait $(jobs -p | grep -v "^$server_pid\$")

total=0
bad=0
for f in "$responses"/[0-9]*; do
  total=$((total + 1))
  body=$(cat "$f")
  # The session as loaded: [v|v|...|v] with 20 equal values (empty at first).
  if [[ ! $body =~ ^'<HTML>['(.*)']END'$ ]]; then
    bad=$((bad + 1))
    [[ $bad -le 3 ]] && echo "     incomplete response $f: ${body:0:120}"
    continue
  fi
  distinct=$(tr '|' '\n' <<<"${BASH_REMATCH[1]}" | sort -u | wc -l)
  fields=$(tr '|' '\n' <<<"${BASH_REMATCH[1]}" | wc -l)
  if [[ $fields -ne 20 || $distinct -ne 1 ]]; then
    bad=$((bad + 1))
    [[ $bad -le 3 ]] && echo "     torn session in $f: ${body:0:200}"
  fi
done
not_ok=$(cat "$responses"/status.* | grep -vc '^200$')
echo "     $total responses from 20 clients in $((SECONDS - race_start))s"
expect_eq "every racing response is complete and saw a whole session" "0 0" "$bad $not_ok"
expect_eq "every racing request was answered" $((20 * race_requests)) "$total"

race_file=$state/kwlsession/$race_id
verdict=$(python3 - "$race_file" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
pos, values = 0, {}
while pos < len(data):
    (n,) = struct.unpack_from("<I", data, pos); pos += 4
    name = data[pos:pos + n]; pos += n
    (m,) = struct.unpack_from("<I", data, pos); pos += 4
    values[name] = data[pos:pos + m]; pos += m
ok = pos == len(data) and len(values) == 20 and len(set(values.values())) == 1
print("whole" if ok else "damaged: %d bytes, %d variables" % (len(data), len(values)))
EOF
)
expect_eq "the session file is whole after the race" whole "$verdict"
leftovers=$(ls "$state/kwlsession" | grep '\.')
expect_eq "no temporary files are left beside it" "" "$leftovers"

finish "$work/error.log"
