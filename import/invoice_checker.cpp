#include "import/invoice_checker.h"

#include "core/date.h"
#include "import/invoice_check.h"
#include "import/invoice_header.h"

namespace importer {

InvoiceChecker::InvoiceChecker(const RunContext& context, RunObserver& observer, data::UiPort& port,
                               data::Tfdm& fdm, const InvoiceBuffers& buffers,
                               InvoiceReplication* replication, platform::Env& env)
    : context_(context),
      observer_(observer),
      port_(port),
      fdm_(fdm),
      buffers_(buffers),
      replication_(replication),
      env_(env) {}

InvoiceResult InvoiceChecker::importRecord(const SummaryRecord& record) {
    const std::string key =
        context_.CodCia + "/" + context_.prefix + "/" + core::dateText(context_.date);
    InvoiceResult r;
    if (wouldStore_.count(key)) {
        fdm_.clearShownMessages();
        r.outcome = RecordOutcome::Duplicate;
        r.number = invoiceNumber(core::dateText(context_.date));
        return r;
    }
    if (!buildInvoice(context_, observer_, port_, fdm_, buffers_, record, false, env_, r)) return r;
    BranchCopies copies;
    r.outcome = checkInvoice(context_, fdm_, buffers_, replication_, copies, env_,
                             fdm_.Quorvan.insertsInBlocks() ? &blocks_ : nullptr);
    if (r.outcome != RecordOutcome::Stored) {
        r.lines = -1;
        r.total.reset();
        r.vat.reset();
        return r;
    }
    wouldStore_.insert(key);
    if (replication_) {
        r.copied = copies.copied;
        r.pending = copies.pending;
        r.refusedCopies = std::move(copies.refused);
    }
    return r;
}

}  // namespace importer
