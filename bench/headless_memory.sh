#!/usr/bin/env bash
# Peak memory of a headless run must not grow with the size of the flat file: imports a
# 1 MB and a 100 MB file holding the same single summary record (the rest detail records)
# and prints the maximum resident size of each run.
# Usage: bench/headless_memory.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build=${1:-$root/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

measure() {  # measure SIZE_MB
    local mb=$1 dir="$work/run$1"
    mkdir -p "$dir"/{xdg/Ostrel,install,in,work,bin}
    "$root/scripts/make-erp.sh" "$dir/erp" 001 >/dev/null
    printf 'Directorio=%s\n' "$dir/install" >"$dir/xdg/Ostrel/Quorvan2021.conf"
    printf '%s\r\nSYSDBA\r\nx\r\n001\r\n-\r\nAB01\r\n%s\r\n\r\n' "$dir/erp" "$dir/in" \
        >"$dir/install/settings.conf"
    printf '#!/bin/sh\n' >"$dir/bin/winscp.com" && chmod +x "$dir/bin/winscp.com"
    local f="$dir/in/[RDE_12_20240131.txt"
    # Detail records (not summaries) up to the size, then the one summary record.
    awk -v n=$((mb * 1024 * 1024 / 64)) 'BEGIN {
        for (i = 0; i < n; i++) printf "10;TIQUETE;12;AUTO;1;31/01/2024;%026d\r\n", i }' >"$f"
    printf '31/01/2024;x;y;1500;0;0;z;0;0;0;285;1785;0;0;0;0;0;FD\r\n' >>"$f"
    local kb
    kb=$(cd "$dir/work" && XDG_CONFIG_DIRS="$dir/xdg" IMPORTARFAC_TRANSFER_CLIENT="$dir/bin/winscp.com" \
        IMPORTARFAC_TRANSFER_OPEN_LINE="open x" \
        /usr/bin/time -f '%M' "$build/importarfac" --headless --pause-ms 0 2>&1 >/dev/null | tail -1)
    printf '%4d MB file: peak resident %6d kB\n' "$mb" "$kb"
    echo "$kb"
}

a=$(measure 1 | tee /dev/stderr | tail -1)
b=$(measure 100 | tee /dev/stderr | tail -1)
echo "difference: $(( (b - a) / 1024 )) MB (must stay within 10 MB)"
[ $((b - a)) -le 10240 ]
