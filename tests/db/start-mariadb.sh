#!/usr/bin/env bash
# Starts a private MariaDB server for the database tests, in DIR (created
# afresh): data files, a Unix socket and a free TCP port on 127.0.0.1, a test
# database and user. Writes DIR/env, a shell file exporting KWL_DB_HOST,
# KWL_DB_PORT, KWL_DB_SOCKET, KWL_DB_USER, KWL_DB_PASSWORD, KWL_DB_NAME.
# With --restart, starts the server of DIR again on its data and port (after
# it was killed).
# Usage: start-mariadb.sh DIR [--restart]
set -euo pipefail
dir=${1:?usage: start-mariadb.sh DIR [--restart]}
restart=${2:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

mariadbd=$(command -v mariadbd || echo /usr/sbin/mariadbd)
[[ -x $mariadbd ]] || { echo "mariadbd not found (Debian package mariadb-server)" >&2; exit 1; }

if [[ $restart == --restart ]]; then
  dir=$(cd "$dir" && pwd)
  port=$(sed -n 's/^export KWL_DB_PORT=//p' "$dir/env")
else
  # A server left over from an interrupted run of this directory goes first.
  "$here/stop-mariadb.sh" "$dir" >/dev/null 2>&1 || true
  rm -rf "$dir"
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)

  mariadb-install-db --no-defaults --user=root --datadir="$dir/data" \
    --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1 ||
    { cat "$dir/install.log" >&2; exit 1; }

  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
fi
socket=$dir/mysqld.sock

# Detached, with its own output files, so that the caller does not wait on it.
setsid "$mariadbd" --no-defaults --user=root --datadir="$dir/data" \
  --socket="$socket" --port="$port" --bind-address=127.0.0.1 --skip-name-resolve \
  --pid-file="$dir/mysqld.pid" --log-error="$dir/error.log" \
  --innodb-buffer-pool-size=32M --innodb-log-file-size=16M --skip-log-bin \
  --innodb-fast-shutdown=2 \
  </dev/null >>"$dir/server.out" 2>&1 &

for _ in $(seq 1 300); do
  if mariadb-admin --no-defaults --socket="$socket" -uroot ping >/dev/null 2>&1; then break; fi
  sleep 0.1
done
mariadb-admin --no-defaults --socket="$socket" -uroot ping >/dev/null ||
  { echo "MariaDB did not start; see $dir/error.log" >&2; tail -20 "$dir/error.log" >&2; exit 1; }
[[ $restart == --restart ]] && exit 0

mariadb --no-defaults --socket="$socket" -uroot <<'SQL'
CREATE DATABASE kwltest;
CREATE USER 'kwl'@'localhost' IDENTIFIED BY 'kwl-pass';
CREATE USER 'kwl'@'%' IDENTIFIED BY 'kwl-pass';
GRANT ALL ON kwltest.* TO 'kwl'@'localhost';
GRANT ALL ON kwltest.* TO 'kwl'@'%';
SQL

cat >"$dir/env" <<ENV
export KWL_DB_HOST=127.0.0.1
export KWL_DB_PORT=$port
export KWL_DB_SOCKET=$socket
export KWL_DB_USER=kwl
export KWL_DB_PASSWORD=kwl-pass
export KWL_DB_NAME=kwltest
ENV
echo "MariaDB on 127.0.0.1:$port and $socket"
