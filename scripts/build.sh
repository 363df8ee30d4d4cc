#!/usr/bin/env bash
# Configures and builds kwl: scripts/build.sh [dir] [extra cmake arguments]
# The directory (default build/) is relative to the repository root.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

dir=build
if [[ $# -gt 0 && "$1" != -* ]]; then
  dir=$1
  shift
fi

scripts/install-deps.sh
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$dir" -j"$(nproc)"
