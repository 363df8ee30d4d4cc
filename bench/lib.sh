# Shared by the benchmarks that serve pages through lighttpd (sourced).

# A TCP port of 127.0.0.1 that nothing listens on now.
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Waits (up to 5 s) for the FastCGI sockets of kwl and php-fpm in WORK and
# for lighttpd to answer on PORT.
wait_for_servers() {  # work port
  for _ in $(seq 1 50); do
    [[ -S $1/kwl.sock && -S $1/php.sock ]] && curl -s -o /dev/null "http://127.0.0.1:$2/" && return
    sleep 0.1
  done
}

# wrk's script: each request is one of 64 visitors, each with a session of its own.
write_visitors() {  # file
  cat >"$1" <<'LUA'
local n = 0
request = function()
  n = n + 1
  local id = string.format("BENCHVISITOR%04d", n % 64)
  return wrk.format(nil, nil, { Cookie = "velsessionid=" .. id })
end
LUA
}

# CPU time (clock ticks, user + system) the processes have used so far.
ticks() {  # pids...
  local total=0 pid
  for pid in "$@"; do
    [[ -r /proc/$pid/stat ]] && total=$((total + $(awk '{print $14 + $15}' "/proc/$pid/stat")))
  done
  echo "$total"
}
