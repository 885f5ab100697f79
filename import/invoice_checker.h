#pragma once
// The invoice steps of a dry run: for one summary record, what the run's invoice steps would
// do, with nothing written and no id drawn (checkInvoice).
#include <set>
#include <string>

#include "import/invoice_importer.h"

namespace importer {

class InvoiceChecker : public InvoiceSteps {
  public:
    // Pauses between tries of a lock conflict through `env`.
    InvoiceChecker(const RunContext& context, RunObserver& observer, data::UiPort& port,
                   data::Tfdm& fdm, const InvoiceBuffers& buffers, InvoiceReplication* replication,
                   platform::Env& env = platform::Env::system());

    // The result the run's InvoiceImporter would give, or the failure it would throw, but
    // without an id. A record of a prefix and day that an earlier record of this check would
    // have stored is a duplicate, as it would be in a real run.
    InvoiceResult importRecord(const SummaryRecord& record) override;

  private:
    const RunContext& context_;
    RunObserver& observer_;
    data::UiPort& port_;
    data::Tfdm& fdm_;
    InvoiceBuffers buffers_;
    InvoiceReplication* replication_;
    platform::Env& env_;
    InvoiceBlocks blocks_;
    std::set<std::string> wouldStore_;  // company, prefix and day
};

}  // namespace importer
