#include "import/invoice_save.h"

#include <string>

#include "core/text.h"
#include "data/texts.h"
#include "import/invoice_header.h"
#include "import/lock_retry.h"
#include "records/command.h"

namespace importer {
namespace {

// Nothing of the invoice that was not stored, nor any earlier invoice of the file, stays.
void discardInvoice(records::Buffer& h) {
    h.CancelUpdates();
    h.Refresh();
}

RecordOutcome storeOnce(const RunContext& context, data::Tfdm& fdm, WindowBuffers& buffers,
                        InvoiceReplication* replication,
                        const std::vector<fb::Connection*>& branches, BranchCopies& copies) {
    records::Buffer& h = buffers.CFacturas;
    copies = {};
    // The company's part comes last: prepared after every branch's, so that a company part
    // in limbo always means every copy was prepared, and committed after them.
    std::vector<fb::Connection*> parts = branches;
    parts.push_back(&fdm.Quorvan);
    fb::Transaction tra =
        branches.empty() ? fdm.Quorvan.begin() : fb::Connection::beginTogether(parts);
    lockInvoicePrefix(buffers, tra);
    if (storedInvoiceId(context, buffers, &tra)) {
        tra.rollback();
        discardInvoice(h);
        return RecordOutcome::Duplicate;
    }
    if (h.ApplyUpdates(0, tra) > 0) {
        tra.rollback();
        discardInvoice(h);
        return RecordOutcome::Refused;
    }
    updateInvoiceTotals(buffers, tra);
    contabilice_factura(buffers, fdm, tra, h.FieldByName("FACT_ID").asInteger(),
                        h.FieldByName("FACT_FECHA").asDate());
    copies = replication ? replication->copy(tra) : BranchCopies{};
    tra.commit();
    h.MergeChangeLog();
    return RecordOutcome::Stored;
}

}  // namespace

RecordOutcome storeInvoice(const RunContext& context, data::Tfdm& fdm, WindowBuffers& buffers,
                           InvoiceReplication* replication, BranchCopies& copies) {
    const std::vector<fb::Connection*> branches =
        replication ? replication->prepareCopies() : std::vector<fb::Connection*>{};
    try {
        return retryLockConflicts(
            [&] { return storeOnce(context, fdm, buffers, replication, branches, copies); });
    } catch (const fb::LockConflict& e) {
        records::Buffer& h = buffers.CFacturas;
        e.rethrowWithPrefix(
            data::texts::kFacturaBloqueadaInicio + h.FieldByName("PREF_PRE").asString() +
            h.FieldByName("FACT_NUMERO").asString() + data::texts::kFacturaBloqueadaFin + "\n");
    } catch (const fb::InDoubt& e) {
        records::Buffer& h = buffers.CFacturas;
        e.rethrowWithPrefix(
            data::texts::kFacturaEnDudaInicio + h.FieldByName("PREF_PRE").asString() +
            h.FieldByName("FACT_NUMERO").asString() + data::texts::kFacturaEnDudaFin + "\n");
    }
}

RecordOutcome tryInvoice(data::Tfdm& fdm, WindowBuffers& buffers) {
    records::Buffer& h = buffers.CFacturas;
    const RecordOutcome outcome = retryLockConflicts([&] {
        fb::Transaction tra = fdm.Quorvan.begin();
        const bool refused = h.ApplyUpdates(0, tra) > 0;
        tra.rollback();
        return refused ? RecordOutcome::Refused : RecordOutcome::Stored;
    });
    discardInvoice(h);
    return outcome;
}

void updateInvoiceTotals(WindowBuffers& buffers, const fb::Transaction& tra) {
    records::executeCommand(
        buffers.CBorrar, "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, :ID)",
        records::values(
            {{"ID", fb::Value::ofInt(buffers.CFacturas.FieldByName("FACT_ID").asInteger())}}),
        tra);
}

int contabilice_factura(WindowBuffers& buffers, data::Tfdm& fdm, const fb::Transaction& tra,
                        int32_t n, const core::Date& fecha) {
    (void)fecha;
    records::Buffer& interfaces = buffers.CInterfaces;
    records::Buffer& conta = buffers.CContafactura;

    records::openCommand(
        interfaces,
        "select MAX(INVE_ID) ID from INTERFAZ_VENTAS where tido_cod = 31 and pref_pre = :PREF_PRE",
        records::values({{"PREF_PRE", fb::Value::ofText(
                                          buffers.CFacturas.FieldByName("PREF_PRE").asString())}}),
        &tra);

    const fb::Value interface = interfaces.Fields(0).value();
    if (interface.isNull()) {
        // A prefix without interface: the statement names no second argument, which the
        // database refuses, as it always did.
        records::openCommand(conta, "select * from contabil_factura(" + std::to_string(n) + ",)",
                             {}, &tra);
    } else {
        records::openCommand(
            conta, "select * from contabil_factura(:FACT_ID,:INVE_ID)",
            records::values({{"FACT_ID", fb::Value::ofInt(n)}, {"INVE_ID", interface}}), &tra);
    }
    if (!conta.IsEmpty()) {
        const int32_t entry = conta.Fields(2).asInteger();
        if (conta.Fields(0).asInteger() == 0) {
            fdm.SContapend.params().ParamByName("IDCNT").setInteger(entry);
            fdm.SContapend.ExecProc(tra);
        }
    }
    conta.Close();
    interfaces.Close();
    return 0;
}

}  // namespace importer
