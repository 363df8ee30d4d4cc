#!/usr/bin/env bash
# Builds kwl and runs a page from the console: scripts/run.sh [page] [query]
# The page (default examples/hello.kwl) runs in its own directory, where
# kwl.conf and kwldebug/ are looked for, with standard input closed so the
# run ends at once.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
page=${1:-$root/examples/hello.kwl}
page=$(cd "$(dirname "$page")" && pwd)/$(basename "$page")

"$root/scripts/build.sh" >&2

cd "$(dirname "$page")"
args=("$(basename "$page")")
if [[ $# -ge 2 ]]; then
  args+=("$2")
fi
exec "$root/build/kwl" "${args[@]}" </dev/null
