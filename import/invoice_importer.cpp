#include "import/invoice_importer.h"

#include "core/date.h"
#include "import/invoice_check.h"
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

InvoiceImporter::InvoiceImporter(const RunContext& context, RunObserver& observer,
                                 data::UiPort& port, data::Tfdm& fdm, WindowBuffers& buffers,
                                 InvoiceReplication* replication)
    : context_(context),
      observer_(observer),
      port_(port),
      fdm_(fdm),
      buffers_(buffers),
      replication_(replication) {}

void InvoiceImporter::setCheckOnly(bool on) {
    checkOnly_ = on;
    wouldStore_.clear();
}

InvoiceResult InvoiceImporter::importRecord(const SummaryRecord& record) {
    fdm_.clearShownMessages();  // what is shown from here on is this record's
    const std::string day = core::dateText(context_.date);
    InvoiceResult r;
    r.number = invoiceNumber(day);
    if (std::optional<std::string> stored = storedInvoiceId(context_, buffers_)) {
        r.outcome = RecordOutcome::Duplicate;
        r.id = *stored;
        return r;
    }
    const std::string key = context_.CodCia + "/" + context_.prefix + "/" + day;
    if (checkOnly_ && wouldStore_.count(key)) {
        r.outcome = RecordOutcome::Duplicate;
        return r;
    }

    const LineDefaults defaults =
        buildInvoiceHeader(context_, observer_, fdm_, buffers_, record, /*drawId=*/!checkOnly_);
    port_.repaint();  // Edit1 names the invoice while it is stored
    addInvoiceLines(fdm_, buffers_.CFactdetalle, record, defaults);
    describeLines(buffers_.CFactdetalle, r);

    const std::string id = buffers_.CFacturas.FieldByName("FACT_ID").asString();
    BranchCopies copies;
    r.outcome = checkOnly_ ? checkInvoice(context_, fdm_, buffers_, replication_, copies)
                           : storeInvoice(context_, fdm_, buffers_, replication_, copies);
    if (r.outcome != RecordOutcome::Stored) {
        // Nothing was stored: no lines, no sums.
        r.lines = -1;
        r.total.reset();
        r.vat.reset();
        return r;
    }
    if (checkOnly_)
        wouldStore_.insert(key);  // a later record of that day would be a duplicate
    else
        r.id = id;
    if (replication_) {
        r.copied = copies.copied;
        r.pending = copies.pending;
        r.refusedCopies = std::move(copies.refused);
    }
    return r;
}

}  // namespace importer
