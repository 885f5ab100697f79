#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) into
# build-fuzz/ and runs each for N seconds, one after the other, on a copy of its seed corpus in
# a temporary folder (fuzz/corpus/ stays as it is). Exits non-zero when an input crashes a
# target, breaks an invariant, leaks, times out or trips a sanitizer, and says where that input
# was saved. Usage: scripts/fuzz.sh [seconds, default 60] [target...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

seconds="${1:-60}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(flat_reader settings_file file_name)

# Longest input per target: the reader needs room for fields past 1,024 characters and
# records past 101 fields; a settings line past 255 characters; a long file name.
declare -A max_len=([flat_reader]=16384 [settings_file]=4096 [file_name]=512)

if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is missing; scripts/setup.sh installs it (scripts/packages.txt)" >&2
    exit 1
fi

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DIMPORTARFAC_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}" >/dev/null

work="$(mktemp -d /tmp/importarfac-fuzz.XXXXXX)"
trap 'rm -rf "$work"' EXIT
artifacts="$root/$build/artifacts"

export ASAN_OPTIONS="abort_on_error=0:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=0
for t in "${targets[@]}"; do
    mkdir -p "$work/$t" "$artifacts/$t"
    cp fuzz/corpus/"$t"/* "$work/$t/"
    dict=()
    [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
    echo "fuzz: $t for ${seconds}s"
    set +e
    "$build/fuzz_$t" "$work/$t" "${dict[@]}" -max_total_time="$seconds" \
        -max_len="${max_len[$t]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$t/" >"$work/$t.log" 2>&1
    rc=$?
    set -e
    # libFuzzer's last status line: executions, coverage, corpus, speed.
    grep -E '^#[0-9]+\s+(DONE|pulse|NEW|REDUCE|INITED)' "$work/$t.log" | tail -n 1 || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$work/$t.log" || true
    if [ "$rc" -ne 0 ]; then
        failed=1
        echo "fuzz: $t FAILED (exit $rc)" >&2
        # From the first report on: the broken invariant, sanitizer report or exception.
        first="$(grep -n -m1 -E 'invariant broken|runtime error:|ERROR: |terminate called|deadly signal' \
            "$work/$t.log" | cut -d: -f1 || true)"
        [ -n "$first" ] && tail -n "+$first" "$work/$t.log" | head -n 60 >&2
        saved="$(grep -E 'Test unit written to' "$work/$t.log" | sed 's/.*Test unit written to //' || true)"
        if [ -n "$saved" ]; then
            echo "fuzz: input saved in $saved" >&2
            echo "fuzz: replay with $build/fuzz_$t $saved" >&2
        fi
        cp "$work/$t.log" "$artifacts/$t/last.log"
        echo "fuzz: full log in $artifacts/$t/last.log" >&2
    fi
done
exit "$failed"
