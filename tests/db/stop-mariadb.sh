#!/usr/bin/env bash
# Stops the test server that start-mariadb.sh started in DIR and removes its data.
# Usage: stop-mariadb.sh DIR
set -uo pipefail
dir=${1:?usage: stop-mariadb.sh DIR}
pidfile=$dir/mysqld.pid
if [[ -f $pidfile ]]; then
  pid=$(cat "$pidfile")
  if kill -TERM "$pid" 2>/dev/null; then
    for _ in $(seq 1 300); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
  fi
fi
rm -rf "$dir/data" "$dir/mysqld.sock" "$pidfile"
exit 0
