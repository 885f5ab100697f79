#!/usr/bin/env bash
# The layer check on copies of the layers with one fault planted each: an include of a layer
# above, a system header outside platform/, a test of _WIN32 outside platform/. Each must fail
# naming the file; the copy as it is must pass. Usage: check_layers_test.sh SOURCE_DIR
set -u
src="${1:?source dir}"
work="$(mktemp -d /tmp/importarfac-layers.XXXXXX)"
trap 'rm -rf "$work"' EXIT
failures=0

copy() {
    rm -rf "$work/tree" && mkdir -p "$work/tree/scripts"
    cp "$src/scripts/check_layers.sh" "$work/tree/scripts/"
    for d in core platform fb records data import app; do cp -r "$src/$d" "$work/tree/"; done
}

copy
if ! out=$(bash "$work/tree/scripts/check_layers.sh" "$work/tree" 2>&1); then
    echo "FAIL: the tree as it is does not pass: $out"
    failures=$((failures + 1))
fi

# file | planted line | what the message must name
cases=(
    "import/planted.cpp|#include <unistd.h>|import/planted.cpp:1: the operating system"
    "app/planted.cpp|#include <sys/stat.h>|app/planted.cpp:1: the operating system"
    "records/planted.h|#ifdef _WIN32|records/planted.h:1: the operating system"
    "fb/planted.cpp|#include <windows.h>|fb/planted.cpp:1: the operating system"
    "data/planted.cpp|#include \"import/import_run.h\"|data/planted.cpp:1: data may not include"
)
for c in "${cases[@]}"; do
    IFS='|' read -r file line want <<<"$c"
    copy
    printf '%s\n' "$line" >"$work/tree/$file"
    if out=$(bash "$work/tree/scripts/check_layers.sh" "$work/tree" 2>&1); then
        echo "FAIL: '$line' in $file passed the check"
        failures=$((failures + 1))
    elif [[ "$out" != *"$want"* ]]; then
        echo "FAIL: '$line' in $file: the check said: $out"
        failures=$((failures + 1))
    fi
done
# In platform/ the system is welcome.
copy
printf '#include <unistd.h>\n#ifdef _WIN32\n#endif\n' >"$work/tree/platform/planted.cpp"
if ! out=$(bash "$work/tree/scripts/check_layers.sh" "$work/tree" 2>&1); then
    echo "FAIL: platform/ may call the system: $out"
    failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "check_layers_test: every case as expected"
exit "$failures"
