#pragma once
// A dry run's invoice: what storeInvoice would do with the invoice that stands pending in
// CFacturas, with nothing written anywhere and no id drawn.
#include "data/fdm.h"
#include "import/invoice_block.h"
#include "import/run_context.h"
#include "import/run_steps.h"
#include "import/window_buffers.h"
#include "platform/env.h"

namespace importer {

// Makes every read storeInvoice makes (the branch rows and the databases they name, the
// duplicate test, the sales interface), sends the header and lines in a transaction that is
// rolled back (a row the database would refuse is refused here too, shown by the provider's
// error hook), and prepares every other statement without executing it: the lock on the
// prefix, the totals, the posting, and for each branch the id procedure, the copy's inserts or
// the pending row. What storeInvoice would throw from those, this throws with the same text;
// `copies` says what the branches would get. The buffer forgets the invoice either way.
// What no preparation can tell stays for the real run to meet: a procedure that raises, a
// row a branch refuses, a lock another user holds then, a database that goes away.
// With `blocks` (a connection over a network) the invoice's block is prepared too, not
// executed; a block the database will not prepare only means the run would store that
// invoice statement by statement.
RecordOutcome checkInvoice(const RunContext& context, data::Tfdm& fdm,
                           const InvoiceBuffers& buffers, InvoiceReplication* replication,
                           BranchCopies& copies, platform::Env& env,
                           InvoiceBlocks* blocks = nullptr);

}  // namespace importer
