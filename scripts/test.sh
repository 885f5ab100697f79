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
cd "$root"

# A short fuzz run of the flat-file reader, the settings file and the file names (seconds per
# target; 0 skips it). A crash or sanitizer report fails the command.
fuzz_seconds="${IMPORTARFAC_FUZZ_SECONDS:-60}"
if [ "$fuzz_seconds" -gt 0 ]; then
    scripts/fuzz.sh "$fuzz_seconds"
fi
