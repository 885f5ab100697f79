#include "tests/db/saved_invoice.h"

namespace testsupport {

void addInvoice(data::Tfdm& fdm, importer::WindowBuffers& b, const InvoiceValues& wanted) {
    records::Buffer& h = b.CFacturas;
    if (!h.Active()) h.Open();
    fdm.SCambieidfact.ExecProc();
    h.Insert();
    h.FieldByName("FACT_ID").setString(fdm.SCambieidfact.params().ParamByName("ID").asString());
    h.FieldByName("PTVT_ID").setInteger(wanted.ptvt);
    h.FieldByName("VEND_COD").setInteger(7);
    h.FieldByName("TERC_NIT").setString("800100200");
    h.FieldByName("FACT_FECHA").setString(wanted.fecha);
    h.FieldByName("FACT_IVAINC").setString("S");
    h.FieldByName("PREF_PRE").setString(wanted.pref);
    h.FieldByName("FACT_NUMERO").setString(wanted.numero);
    h.FieldByName("FACT_TOTAL").setString("1785");
    h.FieldByName("FACT_TRM").setString("1");
    h.FieldByName("BODE_COD").setString("01");
    h.FieldByName("FACT_OBS").setString(wanted.obs);
    h.FieldByName("FACT_IDFMAR").setString(wanted.idfmar);
    h.Post();
    records::Buffer& d = b.CFactdetalle;
    int item = 0;
    for (const LineValues& l : wanted.lines) {
        d.Insert();
        ++item;
        d.FieldByName("FADE_ITEM").setInteger(l.item ? l.item : item);
        d.FieldByName("BODE_COD").setString(l.bode);
        d.FieldByName("ARTI_COD").setString(l.arti);
        d.FieldByName("FADE_CANT").setString(l.cant);
        d.FieldByName("FADE_PRUNIT").setString(l.prunit);
        d.FieldByName("FADE_DTO3").setString(l.dto3);
        d.FieldByName("FADE_ANULADO").setString("N");
        d.Post();
    }
}

int saveInvoice(data::Tfdm& fdm, importer::WindowBuffers& b, const InvoiceValues& wanted) {
    addInvoice(fdm, b, wanted);
    return b.CFacturas.ApplyUpdates(0);
}

}  // namespace testsupport
