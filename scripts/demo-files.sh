#!/usr/bin/env bash
# Writes a folder of flat files like the point-of-sale application's: for each point of sale
# and day a file with a few detail records and one summary record (amounts for cars,
# motorcycles and bicycles, three more items, tax and total, discount groups), CR LF line
# ends, ";" separators. One extra file repeats a day already in the folder.
# Usage: scripts/demo-files.sh FOLDER
set -euo pipefail
folder=${1:?usage: demo-files.sh FOLDER}
mkdir -p "$folder"

summary() {  # summary DAY CARS MOTOS BICIS F7 F8 F9 GROUPS...
    local day=$1 cars=$2 motos=$3 bicis=$4 f7=$5 f8=$6 f9=$7
    shift 7
    local base tax total
    # Tax and total as the point of sale reports them (19 % on the amounts).
    base=$(awk -v a="$cars" -v b="$motos" -v c="$bicis" -v d="$f7" -v e="$f8" -v f="$f9" \
        'BEGIN { printf "%.2f", a + b + c + d + e + f }')
    tax=$(awk -v s="$base" 'BEGIN { printf "%.2f", s * 0.19 }')
    total=$(awk -v s="$base" -v t="$tax" 'BEGIN { printf "%.2f", s + t }')
    local line="$day;RESUMEN;CAJA1;$cars;$motos;$bicis;0;$f7;$f8;$f9;${tax/./,};${total/./,};0;0;0;0;0"
    for g in "$@"; do line+=";$g"; done
    printf '%s;FD\r\n' "$line"
}

file() {  # file POS YYYYMMDD CARS MOTOS BICIS F7 F8 F9 GROUPS...
    local pos=$1 ymd=$2
    shift 2
    local day="${ymd:6:2}/${ymd:4:2}/${ymd:0:4}"
    {
        printf '10;TIQUETE;%s;AUTO;1;%s\r\n' "$pos" "$day"
        printf '10;TIQUETE;%s;MOTO;1;%s\r\n' "$pos" "$day"
        summary "$day" "$@"
    } >"$folder/[RDE_${pos}_${ymd}.txt"
}

file 12 20240129 150000 42000 8000 0 12500.50 0 "EMPLEADOS  3.1.0" "CONVENIO 15.0.2"
file 12 20240130 98000 31500 6000 2000 0 4500 "EMPLEADOS  2.0.1"
file 12 20240131 121000 0 4000 0 9800 0 "EMPLEADOS  1.2.0" "CONVENIO 10.5.0" "VIP  4.0.0"
file 13 20240130 56000 12000 0 0 0 0 "EMPLEADOS  0.1.0"
file 13 20240131 61234.56 15000 1500 0 3000 0
file 21 20240130 87000 22000 5000 1500 0 0 "CONVENIO  6.2.1"
file 21 20240131 90500 19500 3500 0 7000 1200 "EMPLEADOS  2.2.2"
# A second summary for a day already in the folder: recognised as already imported.
file 12 20240130 1 1 1 0 0 0
mv "$folder/[RDE_12_20240130.txt" "$folder/[RDE_12_20240130_2.txt" 2>/dev/null || true
file 12 20240130 98000 31500 6000 2000 0 4500 "EMPLEADOS  2.0.1"
ls "$folder"
