# Shared by the end-to-end scripts (sourced): check reporting, lighttpd, ports.
failures=0
pass() { echo "ok   $1"; }
fail() {
  echo "FAIL $1"
  failures=$((failures + 1))
}
expect_eq() {  # what expected actual
  if [[ $2 == "$3" ]]; then
    pass "$1"
  else
    fail "$1"
    printf '     expected: %q\n     actual:   %q\n' "$2" "$3"
  fi
}
check() {  # what command...: passes when the command succeeds
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
has() {  # text pattern...: every pattern matches a line of the text
  local text=$1 pattern
  shift
  for pattern; do grep -Eq -- "$pattern" <<<"$text" || return 1; done
}
lacks() { ! grep -Eqi -- "$2" <<<"$1"; }  # text pattern: no line matches, in any case

lighttpd_bin=$(command -v lighttpd || echo /usr/sbin/lighttpd)
if [[ ! -x $lighttpd_bin ]] || ! command -v curl >/dev/null; then
  echo "SKIP: lighttpd and curl are needed (scripts/install-deps.sh installs them)"
  exit 77
fi
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
base=http://127.0.0.1:$port

wait_for() {  # command...: retried for up to five seconds
  for _ in $(seq 1 50); do
    "$@" && return
    sleep 0.1
  done
}
stop_job() {  # name of the variable holding its pid, emptied
  local -n job=$1
  if [[ -n $job ]]; then
    kill "$job" 2>/dev/null
    wait "$job" 2>/dev/null
    job=""
  fi
}
# lighttpd in the foreground with "$work/lighttpd.conf"; sets server_pid.
start_lighttpd() {
  "$lighttpd_bin" -D -f "$work/lighttpd.conf" &
  server_pid=$!
  wait_for curl -s -o /dev/null "$base/"
}
# Ends the script: a sanitizer report in the log fails it too.
finish() {  # log
  if grep -Eq 'AddressSanitizer|LeakSanitizer|runtime error:' "$1"; then
    fail "the log $1 shows a sanitizer report"
    grep -E -A5 'AddressSanitizer|LeakSanitizer|runtime error:' "$1" | head -30
  fi
  if [[ $failures -gt 0 ]]; then
    echo "--- $1"
    tail -20 "$1"
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}
