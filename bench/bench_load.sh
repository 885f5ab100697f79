#!/usr/bin/env bash
# Runs bench_load against a private Firebird server on 127.0.0.1, started for the run and
# stopped on every way out.
# Usage: bench/bench_load.sh [BUILD_DIR] [bench_load options]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
if [ $# -gt 0 ] && [ -d "$1" ]; then
    build=$(cd "$1" && pwd)
    shift
fi
server_dir=$(mktemp -d /tmp/bench_load-server.XXXXXX)
trap '"$root/scripts/fbserver.sh" stop "$server_dir" >/dev/null 2>&1 || true; rm -rf "$server_dir"' EXIT
"$root/scripts/fbserver.sh" start "$server_dir" >/dev/null
set -a
# shellcheck disable=SC1091
. "$server_dir/server.env"
set +a
"$build/bench_load" "$@"
