#!/usr/bin/env bash
# The program's main job, with nothing to configure: installs what is missing, builds, lays
# out a stand-in ERP on the embedded engine under demo/, and shows what it holds through the
# program's own database layer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/setup.sh
demo="$root/demo"
scripts/make-erp.sh "$demo/erp" 001 002 >/dev/null
echo "Stand-in ERP laid out under $demo/erp"
echo
echo "Centres of the general database (dialect 1):"
build/dbshow "$demo/erp/datos/general.fdb" "SELECT * FROM CENTROS" 1
echo
echo "Points of sale of company 001:"
build/dbshow "$demo/erp/datos/001/quorvan.fdb" \
    "SELECT PTVT_ID, PTVT_NOM, PREF_PRE, TERC_NIT, BODE_COD FROM PUNTO_VENTA"
echo
echo "A new invoice id from CAMBIE_ID_FACTURA:"
build/dbshow "$demo/erp/datos/001/quorvan.fdb" "EXECUTE PROCEDURE CAMBIE_ID_FACTURA"
