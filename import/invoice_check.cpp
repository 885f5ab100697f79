#include "import/invoice_check.h"

#include "import/invoice_header.h"
#include "import/invoice_save.h"
#include "import/lock_retry.h"

namespace importer {

RecordOutcome checkInvoice(const RunContext& context, data::Tfdm& fdm,
                           const InvoiceBuffers& buffers, InvoiceReplication* replication,
                           BranchCopies& copies, platform::Env& env, InvoiceBlocks* blocks) {
    records::Buffer& h = buffers.CFacturas;
    copies = {};
    RecordOutcome outcome;
    try {
        if (replication) replication->prepareCopies();
        outcome = retryLockConflicts(env, [&] {
            fb::Transaction tra = fdm.Quorvan.begin();
            prepareInvoicePrefixLock(buffers, tra);
            if (blocks && blocks->fits(fdm, buffers)) blocks->prepare(fdm, buffers, tra);
            if (storedInvoiceId(context, buffers, &tra)) {
                tra.rollback();
                return RecordOutcome::Duplicate;
            }
            if (h.ApplyUpdates(0, tra) > 0) {
                tra.rollback();
                return RecordOutcome::Refused;
            }
            prepareTotalsAndPosting(buffers, fdm, tra);
            copies = replication ? replication->check(tra) : BranchCopies{};
            tra.rollback();
            return RecordOutcome::Stored;
        });
    } catch (...) {
        try {
            discardInvoice(h);
        } catch (...) {
            // The failure that brought us here is the one to tell.
        }
        throw;
    }
    discardInvoice(h);
    return outcome;
}

}  // namespace importer
