#pragma once
// Saving one invoice (the header buffer's pending header and lines, in one transaction),
// then the ERP's totals procedure and the accounting posting for it.
#include <cstdint>

#include "core/date.h"
#include "data/fdm.h"
#include "import/window_buffers.h"

namespace importer {

// Applies CFacturas with no refused row tolerated. True when the invoice was saved (the
// header stays the buffer's current row); false when the database refused a row, after
// the buffer's unsaved changes were dropped and its query run again.
bool saveInvoice(WindowBuffers& buffers);

// "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, <FACT_ID>)" for the saved header, through
// CBorrar. The buffer is not read again: it keeps the totals of the flat file.
void updateInvoiceTotals(WindowBuffers& buffers);

// Posts invoice `n` through the highest sales interface of the current header's prefix:
// CONTABIL_FACTURA's first row, when its first column is 0, has its third column posted by
// CONTABILIZA_PENDIENTE. `fecha` is not consulted; the result is always 0. A prefix
// without interface leaves the second argument empty, which the database refuses.
int contabilice_factura(WindowBuffers& buffers, data::Tfdm& fdm, int32_t n,
                        const core::Date& fecha);

}  // namespace importer
