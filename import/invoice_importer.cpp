#include "import/invoice_importer.h"

#include "core/date.h"
#include "import/invoice_header.h"
#include "import/invoice_lines.h"
#include "import/invoice_save.h"

namespace importer {
namespace {

// The count and the sums of the invoice's lines, as the buffer holds them.
void describeLines(records::Buffer& lines, InvoiceResult& r) {
    core::Money total, vat;
    r.lines = 0;
    for (lines.First(); !lines.Eof(); lines.Next()) {
        ++r.lines;
        total += lines.FieldByName("FADE_TOTAL").asMoney();
        vat += lines.FieldByName("FADE_IVAMONTO").asMoney();
    }
    r.total = total;
    r.vat = vat;
}

}  // namespace

bool buildInvoice(const RunContext& context, RunObserver& observer, data::UiPort& port,
                  data::Tfdm& fdm, const InvoiceBuffers& buffers, const SummaryRecord& record,
                  bool drawId, platform::Env& env, InvoiceResult& r, StoredDays* days) {
    fdm.clearShownMessages();  // what is shown from here on is this record's
    r.number = invoiceNumber(core::dateText(context.date));
    if (std::optional<std::string> stored =
            days ? days->find(context, fdm, buffers) : storedInvoiceId(context, buffers)) {
        r.outcome = RecordOutcome::Duplicate;
        r.id = *stored;
        return false;
    }
    const LineDefaults defaults =
        buildInvoiceHeader(context, observer, fdm, buffers, record, drawId, env);
    port.repaint();  // Edit1 names the invoice while it is stored
    addInvoiceLines(fdm, buffers.CFactdetalle, record, defaults);
    describeLines(buffers.CFactdetalle, r);
    return true;
}

InvoiceImporter::InvoiceImporter(const RunContext& context, RunObserver& observer,
                                 data::UiPort& port, data::Tfdm& fdm, const InvoiceBuffers& buffers,
                                 InvoiceReplication* replication, platform::Env& env)
    : context_(context),
      observer_(observer),
      port_(port),
      fdm_(fdm),
      buffers_(buffers),
      replication_(replication),
      env_(env) {}

bool InvoiceImporter::inBlock() {
    switch (savePath_) {
        case SavePath::Block:
            return true;
        case SavePath::Statements:
            return false;
        case SavePath::Auto:
            break;
    }
    return fdm_.Quorvan.insertsInBlocks();
}

InvoiceResult InvoiceImporter::importRecord(const SummaryRecord& record) {
    InvoiceResult r;
    // In a block the id is drawn by the block itself.
    const bool block = inBlock();
    // The days' test ahead saves a round trip an invoice, which only a network makes worth.
    if (!buildInvoice(context_, observer_, port_, fdm_, buffers_, record, !block, env_, r,
                      block ? &days_ : nullptr))
        return r;
    BranchCopies copies;
    r.outcome = storeInvoice(context_, fdm_, buffers_, replication_, copies, env_,
                             block ? &blocks_ : nullptr);
    if (r.outcome == RecordOutcome::Duplicate) days_.forget();
    if (r.outcome != RecordOutcome::Stored) {
        // Nothing was stored: no lines, no sums.
        r.lines = -1;
        r.total.reset();
        r.vat.reset();
        return r;
    }
    r.id = buffers_.CFacturas.FieldByName("FACT_ID").asString();
    days_.stored(context_, fdm_, r.id);
    if (replication_) {
        r.copied = copies.copied;
        r.pending = copies.pending;
        r.refusedCopies = std::move(copies.refused);
    }
    return r;
}

}  // namespace importer
