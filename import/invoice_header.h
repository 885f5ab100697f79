#pragma once
// The duplicate test and the header of one invoice: a new row of the header buffer, filled
// from the file's point of sale, its prefix and customer and the record's tax and total,
// with a fresh id drawn from the company database, and posted into the buffer.
#include <optional>
#include <string>

#include "data/fdm.h"
#include "import/run_context.h"
#include "import/run_observer.h"
#include "import/summary_fields.h"
#include "import/window_buffers.h"
#include "platform/env.h"

namespace importer {

// Taken while the header is built; every line of the same invoice receives them.
struct LineDefaults {
    std::string DBod;  // the point of sale's warehouse (BODE_COD)
    std::string DLis;  // the customer's price list (lipr_cod); empty when it has none
};

// The FACT_ID of an invoice of the file's prefix and date (in `context`) that the company
// database holds, or nothing: in the connection's reader, or in `tra` when given. Runs through
// CBorrar and changes nothing else.
std::optional<std::string> storedInvoiceId(const RunContext& context, const InvoiceBuffers& buffers,
                                           const fb::Transaction* tra = nullptr);

// Locks, in `tra`, the row of the invoice's prefix in PREFIJOS (or, for a prefix without one,
// the row of its point of sale in PUNTO_VENTA) until `tra` ends. Every import that stores an
// invoice of that prefix takes the same lock first, so two processes storing invoices of
// one prefix take turns, and the one that waited gets a lock conflict once the other has
// committed, and tries again. The invoice is the current row of CFacturas.
void lockInvoicePrefix(const InvoiceBuffers& buffers, const fb::Transaction& tra);

// Draws an id from CAMBIE_ID_FACTURA (which commits on its own; a lock conflict draws again)
// and gives it to the invoice pending in CFacturas, header and lines: for an invoice built
// without one.
void drawInvoiceId(data::Tfdm& fdm, const InvoiceBuffers& buffers, platform::Env& env);
// For a check: prepares both of those statements in `tra` and locks nothing.
void prepareInvoicePrefixLock(const InvoiceBuffers& buffers, const fb::Transaction& tra);

// Inserts and posts the header row into CFacturas (its current row afterwards) and shows
// the invoice through `observer`. CPtovta must stand on the file's point of sale. A field that does
// not convert, or a database failure, propagates; a row the buffer refuses to post ends in
// the buffer's post-error handling. CBorrar is left open on the customer query. Without
// `drawId` (a check) no id is drawn from the database: FACT_ID stays 0, which no invoice has.
// A lock conflict drawing it is tried again, pausing through `env`.
LineDefaults buildInvoiceHeader(const RunContext& context, RunObserver& observer, data::Tfdm& fdm,
                                const InvoiceBuffers& buffers, const SummaryRecord& record,
                                bool drawId = true, platform::Env& env = platform::Env::system());

// FACT_NUMERO of an invoice of the date text yyyy/mm/dd: yyyymmdd.
std::string invoiceNumber(const std::string& dateText);

}  // namespace importer
