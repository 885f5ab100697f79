#pragma once
// Storing one invoice: the header buffer's pending header and lines, the ERP's totals
// procedure, the accounting posting and the copies to the branch databases, all in one
// transaction that commits once: the company connection's alone, or, when branches reached
// ask for a copy, one distributed transaction over the branches and the company committed in
// two phases. Nothing of an invoice is ever stored without its totals, posting and copies,
// and no copy without the invoice.
#include <cstdint>

#include "data/fdm.h"
#include "fb/transaction.h"
#include "import/invoice_block.h"
#include "import/run_context.h"
#include "import/run_steps.h"
#include "import/window_buffers.h"
#include "platform/env.h"

namespace importer {

// Stores the invoice that stands pending in CFacturas (header and lines, with its id). In one
// transaction: the lock on its prefix, the duplicate test again (another process may have
// stored the day since the first test), the save with no refused row tolerated, the totals,
// the posting and, through `replication` (null: none), the copies and pending rows of the
// branches; then the commit.
//   Stored: committed; the header stays the buffer's current row, its lines saved content;
//     `copies` says what the branches got.
//   Duplicate: another import stored the day meanwhile; nothing was written.
//   Refused: the database refused a row (shown by the provider's error hook); nothing stays.
// After Duplicate and Refused the buffer's unsaved changes are dropped and its query run
// again. A lock conflict, in the company or in a branch, rolls everything back and tries again
// (import/lock_retry.h); after the last try it is thrown with a Spanish explanation before
// the server's text. Any other failure is thrown as it is; the transaction is rolled back and
// nothing of the invoice stays, except after a failure in the second phase of a distributed
// commit: then every part is prepared, the next run's limbo recovery commits them, and the
// fb::InDoubt is thrown with a Spanish explanation before its own text.
//
// With `blocks` (null: none) the invoice, built without an id, first goes as one block
// (import/invoice_block.h) in that transaction: the id, the lock, the test, the rows, the
// totals and the posting in one statement, then the copies and the commit. An invoice too
// large for one block draws its id and is stored as above. When the block
// fails, or the database will not prepare it, the transaction is rolled back and the invoice
// is stored as above, with the id the block drew (or one drawn then), so that what is stored,
// shown and retried is the same either way. Without `blocks` the invoice must hold its id.
RecordOutcome storeInvoice(const RunContext& context, data::Tfdm& fdm,
                           const InvoiceBuffers& buffers, InvoiceReplication* replication,
                           BranchCopies& copies, platform::Env& env = platform::Env::system(),
                           InvoiceBlocks* blocks = nullptr);

// "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, :ID)" for the saved header, through
// CBorrar, in `tra`. The buffer is not read again: it keeps the totals of the flat file.
void updateInvoiceTotals(const InvoiceBuffers& buffers, const fb::Transaction& tra);

// Posts invoice `n`, in `tra`, through the highest sales interface of the current header's
// prefix: CONTABIL_FACTURA's first row, when its first column is 0, has its third column
// posted by CONTABILIZA_PENDIENTE. A prefix without interface leaves the second argument
// empty, which the database refuses.
void contabilice_factura(const InvoiceBuffers& buffers, data::Tfdm& fdm, const fb::Transaction& tra,
                         int32_t n);

// For a check: prepares in `tra` the totals procedure and the posting statements that
// updateInvoiceTotals and contabilice_factura would send for the current header (the sales
// interface is read to tell which posting statement), and executes none. A statement the
// database would refuse fails here with the same error as in a real run.
void prepareTotalsAndPosting(const InvoiceBuffers& buffers, data::Tfdm& fdm,
                             const fb::Transaction& tra);

// Nothing of the invoice that was not stored, nor any earlier invoice of the file, stays.
void discardInvoice(records::Buffer& h);

}  // namespace importer
