#!/usr/bin/env bash
# Installs the Debian packages of scripts/packages.txt that are missing, then configures
# and builds the project into build/.  Usage: scripts/setup.sh [extra cmake args]
# Environment: BUILD_TARGETS="a b" builds only those targets (default: everything);
# WARNINGS_AS_ERRORS=ON makes every warning an error (default OFF); BUILD_TYPE (default
# RelWithDebInfo); BUILD_DIR (default build).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

mapfile -t wanted < <(grep -v -E '^\s*(#|$)' scripts/packages.txt)
missing=()
for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    # The server package's own service is not wanted: tests start their own server.
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

build="${BUILD_DIR:-build}"
# Passed on every run, OFF included: the cache in the build folder would otherwise keep the
# value of an earlier run (a test run's ON would make the demo's build fail on a warning).
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
    -DCMAKE_COMPILE_WARNING_AS_ERROR="${WARNINGS_AS_ERRORS:-OFF}" "$@" >/dev/null
read -r -a targets <<<"${BUILD_TARGETS:-}"
if ((${#targets[@]})); then
    cmake --build "$build" --target "${targets[@]}"
else
    cmake --build "$build"
fi
