#!/usr/bin/env bash
# Runs a command with the test server's KWL_DB_* variables (from the env file
# that start-mariadb.sh wrote) and KWL_TEST_MYSQL=1.
# Usage: with-db-env.sh ENVFILE COMMAND [ARG...]
set -euo pipefail
envfile=${1:?usage: with-db-env.sh ENVFILE COMMAND...}
shift
# shellcheck disable=SC1090
source "$envfile"
export KWL_TEST_MYSQL=1
exec "$@"
