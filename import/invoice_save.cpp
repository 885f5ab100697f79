#include "import/invoice_save.h"

#include <optional>
#include <string>

#include "core/text.h"
#include "data/texts.h"
#include "import/invoice_header.h"
#include "import/lock_retry.h"
#include "records/command.h"

namespace importer {
namespace {

const char kTotals[] = "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, :ID)";
const char kInterface[] =
    "select MAX(INVE_ID) ID from INTERFAZ_VENTAS where tido_cod = 31 and pref_pre = :PREF_PRE";
const char kPosting[] = "select * from contabil_factura(:FACT_ID,:INVE_ID)";
// A prefix without interface: the statement names no second argument, which the database
// refuses, as it always did. The id is a parameter too, so that the refusal's text is the same
// for every invoice (and a check foresees it word for word).
const char kPostingWithoutInterface[] = "select * from contabil_factura(:FACT_ID,)";

// The highest sales interface of the header's prefix, read in `tra`: CInterfaces stands on it.
fb::Value salesInterface(const InvoiceBuffers& buffers, const fb::Transaction& tra) {
    records::openCommand(
        buffers.CInterfaces, kInterface,
        records::values({{"PREF_PRE", fb::Value::ofText(
                                          buffers.CFacturas.FieldByName("PREF_PRE").asString())}}),
        &tra);
    return buffers.CInterfaces.Fields(0).value();
}

RecordOutcome storeOnce(const RunContext& context, data::Tfdm& fdm, const InvoiceBuffers& buffers,
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
    contabilice_factura(buffers, fdm, tra, h.FieldByName("FACT_ID").asInteger());
    copies = replication ? replication->copy(tra) : BranchCopies{};
    tra.commit();
    h.MergeChangeLog();
    return RecordOutcome::Stored;
}

// The invoice as one block. Stored or Duplicate: done, as storeOnce would be. None: the
// transaction is rolled back and the invoice, with its id, is for the statement path; or,
// with `readBranchRows` set, the copies were `presumed` none and a branch row may ask for one:
// nothing was drawn or written, and the branch rows are to be read.
std::optional<RecordOutcome> storeAsBlock(const RunContext& context, data::Tfdm& fdm,
                                          const InvoiceBuffers& buffers, InvoiceBlocks& blocks,
                                          InvoiceReplication* replication,
                                          const std::vector<fb::Connection*>& branches,
                                          bool presumed, BranchCopies& copies, platform::Env& env,
                                          bool& readBranchRows) {
    records::Buffer& h = buffers.CFacturas;
    copies = {};
    std::optional<BlockAnswer> answer;
    {
        std::vector<fb::Connection*> parts = branches;
        parts.push_back(&fdm.Quorvan);
        fb::Transaction tra =
            branches.empty() ? fdm.Quorvan.begin() : fb::Connection::beginTogether(parts);
        try {
            answer = blocks.run(context, fdm, buffers, tra, presumed);
        } catch (const fb::LostConnection&) {
            throw;
        } catch (const fb::Error&) {
            // Thrown before the id was drawn (the block catches what fails after): nothing of
            // the invoice was written.
            answer.reset();
        }
        if (answer && answer->outcome == BlockOutcome::Stored) {
            h.SetPendingInteger("FACT_ID", answer->id);
            try {
                copies = replication ? replication->copy(tra) : BranchCopies{};
                tra.commit();
                h.MergeChangeLog();
                return RecordOutcome::Stored;
            } catch (const fb::LockConflict&) {
                // In a branch: the statement path tries the whole invoice again.
                copies = {};
            }
        }
        tra.rollback();
    }
    if (answer && answer->outcome == BlockOutcome::BranchRows) {
        readBranchRows = true;  // nothing drawn, nothing written
        return std::nullopt;
    }
    if (answer && answer->outcome == BlockOutcome::Duplicate) {
        discardInvoice(h);
        return RecordOutcome::Duplicate;
    }
    if (answer && answer->id != 0)
        h.SetPendingInteger("FACT_ID", answer->id);
    else
        drawInvoiceId(fdm, buffers, env);
    return std::nullopt;
}

}  // namespace

void discardInvoice(records::Buffer& h) {
    h.CancelUpdates();
    h.Refresh();
}

RecordOutcome storeInvoice(const RunContext& context, data::Tfdm& fdm,
                           const InvoiceBuffers& buffers, InvoiceReplication* replication,
                           BranchCopies& copies, platform::Env& env, InvoiceBlocks* blocks) {
    // Too large for one statement (its parameters, the tables it names), the invoice goes
    // statement by statement, with an id of its own.
    if (blocks && !blocks->fits(fdm, buffers)) {
        drawInvoiceId(fdm, buffers, env);
        blocks = nullptr;
    }
    // In a block the transaction itself tests that no branch row asks for the invoice when
    // an earlier invoice of the run found none: the rows are read only when one may.
    const bool presumed = blocks && replication && replication->presumeNoCopies();
    std::vector<fb::Connection*> branches =
        replication && !presumed ? replication->prepareCopies() : std::vector<fb::Connection*>{};
    try {
        if (blocks) {
            bool readBranchRows = false;
            std::optional<RecordOutcome> done =
                storeAsBlock(context, fdm, buffers, *blocks, replication, branches, presumed,
                             copies, env, readBranchRows);
            if (readBranchRows) {
                branches = replication->prepareCopies();
                done = storeAsBlock(context, fdm, buffers, *blocks, replication, branches, false,
                                    copies, env, readBranchRows);
            }
            if (done) return *done;
        }
        return retryLockConflicts(
            env, [&] { return storeOnce(context, fdm, buffers, replication, branches, copies); });
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

void updateInvoiceTotals(const InvoiceBuffers& buffers, const fb::Transaction& tra) {
    records::executeCommand(
        buffers.CBorrar, kTotals,
        records::values(
            {{"ID", fb::Value::ofInt(buffers.CFacturas.FieldByName("FACT_ID").asInteger())}}),
        tra);
}

void contabilice_factura(const InvoiceBuffers& buffers, data::Tfdm& fdm, const fb::Transaction& tra,
                         int32_t n) {
    records::Buffer& conta = buffers.CContafactura;
    const fb::Value interface = salesInterface(buffers, tra);
    if (interface.isNull()) {
        records::openCommand(conta, kPostingWithoutInterface,
                             records::values({{"FACT_ID", fb::Value::ofInt(n)}}), &tra);
    } else {
        records::openCommand(
            conta, kPosting,
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
    buffers.CInterfaces.Close();
}

void prepareTotalsAndPosting(const InvoiceBuffers& buffers, data::Tfdm& fdm,
                             const fb::Transaction& tra) {
    records::prepareCommand(buffers.CBorrar, kTotals, tra);
    const bool withInterface = !salesInterface(buffers, tra).isNull();
    buffers.CInterfaces.Close();
    records::prepareCommand(buffers.CContafactura,
                            withInterface ? kPosting : kPostingWithoutInterface, tra);
    fdm.SContapend.PrepareProc(tra);
}

}  // namespace importer
