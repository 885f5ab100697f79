#pragma once
// The duplicate test before an invoice is built, for the days a run's files name: which days
// of a prefix hold an invoice already, asked once for the days from a file's to the last a
// later file of the same point of sale names, instead of once per file. The answers hold for
// one run on one company connection, and the run's own invoices are added as they are
// stored; the invoice's own transaction tests again under the prefix's lock.
#include <map>
#include <optional>
#include <string>

#include "core/date.h"
#include "data/fdm.h"
#include "import/run_context.h"
#include "import/window_buffers.h"

namespace importer {

class StoredDays {
  public:
    // The id of the invoice stored for the context's prefix and date, or none, as
    // storedInvoiceId answers it (through CBorrar, in the connection's reader).
    std::optional<std::string> find(const RunContext& context, data::Tfdm& fdm,
                                    const InvoiceBuffers& buffers);
    // The run stored invoice `id` for the context's prefix and date.
    void stored(const RunContext& context, data::Tfdm& fdm, const std::string& id);
    // Another process stored one meanwhile: ask again.
    void forget() { epoch_ = 0; }

    // The most days asked at once; files further apart are asked about one day at a time.
    static constexpr int kMaxDays = 400;

  private:
    bool covers(const RunContext& context, data::Tfdm& fdm) const;

    uint64_t epoch_ = 0;  // Tfdm::answersEpoch() of the answers; 0: none
    std::string prefix_;
    core::Date from_, to_;
    std::map<core::Date, std::string> ids_;  // the first stored id of each day that has one
};

}  // namespace importer
