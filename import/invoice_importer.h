#pragma once
// The invoice steps of the import run: for one summary record, the duplicate test, the
// header, the lines, the save, the totals, the posting and the copies to the branches.
#include <optional>
#include <string>

#include "data/fdm.h"
#include "data/ui_port.h"
#include "import/invoice_block.h"
#include "import/run_context.h"
#include "import/run_observer.h"
#include "import/run_steps.h"
#include "import/stored_days.h"
#include "import/window_buffers.h"
#include "platform/env.h"

namespace importer {

// What the invoice steps of a run and of a check share for one summary record: the duplicate
// test and, for a new invoice, its header (with an id drawn from the generator when `drawId`)
// and lines built in the buffers, named in `r` (number, lines, sums). True when a new invoice
// stands pending in the buffers; false when an invoice of that prefix and day is stored
// already (`r` is then the duplicate's result). The test asks through `days` when given.
bool buildInvoice(const RunContext& context, RunObserver& observer, data::UiPort& port,
                  data::Tfdm& fdm, const InvoiceBuffers& buffers, const SummaryRecord& record,
                  bool drawId, platform::Env& env, InvoiceResult& r, StoredDays* days = nullptr);

class InvoiceImporter : public InvoiceSteps {
  public:
    // How an invoice goes to the company database. Auto: as one block over a network (where
    // every statement is a round trip), statement by statement in process (where a block
    // costs more than its statements); the other two choose for a test or a benchmark.
    enum class SavePath { Auto, Block, Statements };

    // `replication` copies each invoice, as it is stored, to the branch databases; null copies
    // nothing.
    // The invoices are those of the file `context` describes; the references are kept.
    // Pauses between tries of a lock conflict through `env`.
    InvoiceImporter(const RunContext& context, RunObserver& observer, data::UiPort& port,
                    data::Tfdm& fdm, const InvoiceBuffers& buffers, InvoiceReplication* replication,
                    platform::Env& env = platform::Env::system());

    // Duplicate: nothing done, nothing left in the buffers. Refused: the database refused the
    // save and nothing of the invoice stays. Stored: saved, totalled, posted and copied to the
    // branches in one transaction (a branch that refused its copy is named in the result).
    // Any other failure (a field that does not convert, a database error, a lock held past the
    // retries) propagates and leaves nothing of the invoice in any database (storeInvoice).
    // The result names the invoice: its number, its id, the sums and the count of its lines,
    // the branches copied, pending and refusing; a refused one has no lines and no sums.
    InvoiceResult importRecord(const SummaryRecord& record) override;

    void setSavePath(SavePath path) { savePath_ = path; }

  private:
    bool inBlock();

    const RunContext& context_;
    RunObserver& observer_;
    data::UiPort& port_;
    data::Tfdm& fdm_;
    InvoiceBuffers buffers_;
    InvoiceReplication* replication_;
    platform::Env& env_;
    SavePath savePath_ = SavePath::Auto;
    InvoiceBlocks blocks_;
    StoredDays days_;
};

}  // namespace importer
