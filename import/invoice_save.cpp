#include "import/invoice_save.h"

#include <string>

#include "core/text.h"

namespace importer {

bool saveInvoice(WindowBuffers& buffers) {
    records::Buffer& h = buffers.CFacturas;
    if (h.ApplyUpdates(0) <= 0) return true;
    // Nothing of the refused invoice, nor any earlier invoice of the file, stays.
    h.CancelUpdates();
    h.Refresh();
    return false;
}

void updateInvoiceTotals(WindowBuffers& buffers) {
    records::Buffer& q = buffers.CBorrar;
    q.Close();
    q.CommandText = "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, " +
                    buffers.CFacturas.FieldByName("FACT_ID").asString() + ")";
    q.Execute();
}

int contabilice_factura(WindowBuffers& buffers, data::Tfdm& fdm, int32_t n,
                        const core::Date& fecha) {
    (void)fecha;
    records::Buffer& interfaces = buffers.CInterfaces;
    records::Buffer& conta = buffers.CContafactura;

    interfaces.Close();
    interfaces.CommandText =
        "select MAX(INVE_ID) ID from INTERFAZ_VENTAS where tido_cod = 31 and pref_pre = " +
        core::sqlQuote(buffers.CFacturas.FieldByName("PREF_PRE").asString());
    interfaces.Open();

    conta.Close();
    conta.CommandText = "select * from contabil_factura(" + std::to_string(n) + "," +
                        interfaces.Fields(0).asString() + ")";
    conta.Open();
    if (!conta.IsEmpty()) {
        const int32_t entry = conta.Fields(2).asInteger();
        if (conta.Fields(0).asInteger() == 0) {
            fdm.SContapend.params().ParamByName("IDCNT").setInteger(entry);
            fdm.SContapend.ExecProc();
        }
    }
    conta.Close();
    interfaces.Close();
    return 0;
}

}  // namespace importer
