#!/usr/bin/env bash
# Builds the unit and database tests (and the program the database tests start) with
# AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs them. Fails on a
# failing test or on any sanitizer report, from the test binaries or from a program they
# start (reports go to files, which a test that expects a failing exit status would hide).
# Usage: scripts/sanitize.sh [gtest filter, default every test]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

build=build-asan
if ! command -v clang++ >/dev/null; then
    echo "sanitize: clang++ is missing; scripts/setup.sh installs it (scripts/packages.txt)" >&2
    exit 1
fi
filter="${1:-*}"
flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"

reports="$root/$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# Also in force while building: the test discovery runs the binaries.
export ASAN_OPTIONS="log_path=$reports/report:detect_leaks=1:abort_on_error=0:strict_string_checks=1:check_initialization_order=1:print_suppressions=0"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="log_path=$reports/report:print_stacktrace=1:halt_on_error=1"

start=$SECONDS
# clang: GCC's UndefinedBehaviorSanitizer ignores log_path, so its reports in a program a
# test starts would end in a file the test reads, not here. Debug: the quickest to compile,
# and every line of ours stays in the reports' stacks.
nice cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$flags" -DCMAKE_MODULE_LINKER_FLAGS="$flags" >/dev/null
# importarfac: the database tests start the headless program from the build folder.
nice cmake --build "$build" -j2 --target unit_tests db_tests importarfac
echo "sanitize: built in $((SECONDS - start)) s"

failed=0
# As ctest runs them (gtest_discover_tests): in tests/, with the same environment.
for t in unit_tests db_tests; do
    echo "sanitize: $t"
    if ! (cd "$build/tests" && QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 \
            "$root/$build/$t" --gtest_filter="$filter" --gtest_brief=1); then
        echo "sanitize: $t FAILED" >&2
        failed=1
    fi
done

shopt -s nullglob
found=("$reports"/report.*)
if ((${#found[@]})); then
    failed=1
    echo "sanitize: ${#found[@]} sanitizer report(s) in $reports; the first:" >&2
    for f in "${found[@]:0:5}"; do
        echo "==== $f" >&2
        head -n 60 "$f" >&2
    done
fi
echo "sanitize: done in $((SECONDS - start)) s"
exit "$failed"
