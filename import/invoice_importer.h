#pragma once
// The invoice steps of the import run: for one summary record, the duplicate test, the
// header, the lines, the save, the totals, the posting and the copies to the branches.
#include "app/import_window.h"
#include "data/fdm.h"
#include "import/run_steps.h"
#include "import/window_buffers.h"

namespace importer {

class InvoiceImporter : public InvoiceSteps {
  public:
    // `replication` copies each saved invoice to the branch databases; null copies nothing.
    // The references are only kept here, so the window may still be under construction.
    InvoiceImporter(app::Tfimportarfac& window, data::Tfdm& fdm, WindowBuffers& buffers,
                    InvoiceReplication* replication);

    // Duplicate: nothing done, nothing left in the buffers. Refused: the database refused the
    // save and nothing of the invoice stays. Stored: saved, totalled and posted in one
    // transaction, then copied to the branches. Any other failure (a field that does not
    // convert, a database error, a lock held past the retries) propagates and leaves nothing
    // of the invoice in the company database, unless it comes from the copies, which follow
    // the commit.
    RecordOutcome importRecord(const SummaryRecord& record) override;

  private:
    app::Tfimportarfac& window_;
    data::Tfdm& fdm_;
    WindowBuffers& buffers_;
    InvoiceReplication* replication_;
};

}  // namespace importer
