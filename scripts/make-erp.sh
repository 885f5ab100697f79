#!/usr/bin/env bash
# Lays out a stand-in ERP from the scripts of db/ under ROOT, the text the program takes as
# its server: ROOT/datos/general.fdb (with the sample centres) and, for each company code
# given, ROOT/datos/<code>/quorvan.fdb with the sample reference data.
# Usage: scripts/make-erp.sh ROOT [COMPANY...]   (default companies: 001 002)
set -euo pipefail
root_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
target=${1:?usage: make-erp.sh ROOT [COMPANY...]}
shift
companies=("$@")
((${#companies[@]})) || companies=(001 002)

create() {  # create DB DIALECT SCRIPT...
    local db=$1 dialect=$2
    shift 2
    rm -f "$db"
    mkdir -p "$(dirname "$db")"
    {
        echo "SET SQL DIALECT $dialect;"
        if [ "$dialect" = 3 ]; then
            echo "CREATE DATABASE '$db' USER 'SYSDBA' PAGE_SIZE 4096 DEFAULT CHARACTER SET ISO8859_1;"
        else
            echo "CREATE DATABASE '$db' USER 'SYSDBA' PAGE_SIZE 4096;"
        fi
        for s in "$@"; do echo "INPUT '$root_dir/db/$s';"; done
        echo "COMMIT;"
    } | isql-fb -q -b -user SYSDBA >/dev/null
}

create "$target/datos/general.fdb" 1 general.sql sample_general.sql
for c in "${companies[@]}"; do
    create "$target/datos/$c/quorvan.fdb" 3 company.sql sample_data.sql
done
echo "$target"
