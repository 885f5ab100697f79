#!/usr/bin/env bash
# The test command: installs what is missing, checks the layering, builds with warnings as
# errors, builds the layers beneath Qt for Windows and runs their tests under wine (in
# build-windows/), starts a private Firebird server on 127.0.0.1 for the server tests, runs
# every test, stops the server again, then runs the unit and database tests under
# AddressSanitizer and UndefinedBehaviorSanitizer and a short fuzz run. Every step runs even
# when an earlier one failed; the command fails if any did.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

failed=()

scripts/check_layers.sh || failed+=(check_layers)

# Passed on every run: the configure cache of build/ would keep another run's setting.
WARNINGS_AS_ERRORS=ON scripts/setup.sh

scripts/windows_check.sh || failed+=(windows_check)

server_dir="$(mktemp -d /tmp/importarfac-fbserver.XXXXXX)"
cleanup() { scripts/fbserver.sh stop "$server_dir" >/dev/null 2>&1 || true; rm -rf "$server_dir"; }
trap cleanup EXIT
scripts/fbserver.sh start "$server_dir" >/dev/null
(
    set -a
    # shellcheck disable=SC1091
    . "$server_dir/server.env"
    set +a
    cd build
    ctest --output-on-failure --timeout 600 "$@"
) || failed+=(ctest)
cleanup
trap - EXIT

# The unit and database tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer
# (0 skips it). A sanitizer report fails the command.
if [ "${IMPORTARFAC_SANITIZE:-1}" != 0 ]; then
    scripts/sanitize.sh || failed+=(sanitize)
fi

# A short fuzz run of the flat-file reader, the settings file and the file names (seconds per
# target; 0 skips it). A crash or sanitizer report fails the command.
fuzz_seconds="${IMPORTARFAC_FUZZ_SECONDS:-60}"
if [ "$fuzz_seconds" -gt 0 ]; then
    scripts/fuzz.sh "$fuzz_seconds" || failed+=(fuzz)
fi

if ((${#failed[@]})); then
    echo "test: FAILED: ${failed[*]}" >&2
    exit 1
fi
echo "test: every check passed"
