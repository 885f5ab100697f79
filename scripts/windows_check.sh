#!/usr/bin/env bash
# The Windows side, built and run: builds core/, platform/, fb/, records/, data/ and import/ as
# Windows static libraries with MinGW-w64 (cmake/mingw-w64.cmake, warnings as errors), with
# GoogleTest and the Windows test program windows_tests.exe (tests/windows/CMakeLists.txt), and
# runs that program under wine in a Windows prefix of its own, made for the run and removed
# with it. The run's time zone is one far from UTC, so that a date read from the wrong clock
# shows. Fails on any compile error, warning or failed test.
# Usage: scripts/windows_check.sh [build folder, default build-windows]
# Environment: CMAKE_BUILD_PARALLEL_LEVEL (default 2); IMPORTARFAC_WINDOWS_TESTS, a GoogleTest
# filter (default every test).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

build="${1:-build-windows}"
# The posix threading model: the win32 one of GCC 12 has no std::thread or std::mutex.
cxx=x86_64-w64-mingw32-g++-posix
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine || true)"
[ -x "$wineserver" ] || wineserver="$(command -v wineserver || true)"
for tool in "$cxx" "$wine" "$wineserver"; do
    if [ -z "$tool" ] || ! command -v "$tool" >/dev/null; then
        echo "windows_check: ${tool:-wine} is missing; scripts/setup.sh installs it (scripts/packages.txt)" >&2
        exit 1
    fi
done

# Firebird's headers as <firebird/...> (and the ibase.h they include), without /usr/include
# on the path: Linux's own headers there would hide what MinGW lacks.
mkdir -p "$build"
build="$(cd "$build" && pwd)"
include="$build/firebird-include"
rm -rf "$include"
mkdir -p "$include"
ln -s /usr/include/firebird "$include/firebird"
for h in ibase.h iberror.h ib_util.h; do
    if [ -e "/usr/include/$h" ]; then ln -s "/usr/include/$h" "$include/$h"; fi
done

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DIMPORTARFAC_WITH_QT=OFF -DBUILD_TESTING=ON -DFB_INCLUDE="$include" >/dev/null
if ! CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}" \
        cmake --build "$build" >"$build/build.log" 2>&1; then
    # The first errors are enough to see the cause.
    grep -E -A6 'error|warning:|FAILED' "$build/build.log" | head -n 60 | sed 's/^/    /' >&2
    echo "windows_check: FAILED: the Windows build (log: $build/build.log)" >&2
    exit 1
fi

prefix="$(mktemp -d /tmp/importarfac-wine.XXXXXX)"
stop_wine() {
    WINEPREFIX="$prefix" "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
}
trap stop_wine EXIT

zone=Pacific/Kiritimati  # UTC+14: its date differs from UTC's for 14 hours a day
started=$SECONDS
status=0
# No display: nothing here opens a window. Wine's .NET and HTML engines are not wanted.
(
    cd "$build"
    env -u DISPLAY WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        TZ="$zone" IMPORTARFAC_HOST_LOCAL_TIME="$(TZ="$zone" date '+%Y/%m/%d %H:%M:%S')" \
        timeout 600 "$wine" windows_tests.exe --gtest_brief=1 \
        --gtest_filter="${IMPORTARFAC_WINDOWS_TESTS:-*}"
) || status=$?
seconds=$((SECONDS - started))
if ((status != 0)); then
    echo "windows_check: FAILED: windows_tests.exe under wine ended with $status (${seconds} s)" >&2
    exit 1
fi
echo "windows_check: the Windows build and its tests under wine passed (${seconds} s under wine)"
