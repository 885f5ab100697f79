#!/usr/bin/env bash
# The test command: installs what is missing, builds, starts a private Firebird server on
# 127.0.0.1 for the server tests, runs every test, and stops the server again.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/setup.sh

server_dir="$(mktemp -d /tmp/importarfac-fbserver.XXXXXX)"
cleanup() { scripts/fbserver.sh stop "$server_dir" >/dev/null 2>&1 || true; rm -rf "$server_dir"; }
trap cleanup EXIT
scripts/fbserver.sh start "$server_dir" >/dev/null
set -a
# shellcheck disable=SC1091
. "$server_dir/server.env"
set +a

cd build
ctest --output-on-failure --timeout 600 "$@"
