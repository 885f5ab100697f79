#pragma once
// The detail lines of one invoice, added under the current header row of CFacturas: one
// amount line for each of the six amount fields whose text is not "0", then up to three
// discount lines for each discount-group column. Each line is a quantity of 1 of an article
// that the data module's article services resolve from a fixed code; nothing reaches the
// database here.
#include "data/fdm.h"
#include "import/invoice_header.h"
#include "import/summary_fields.h"
#include "records/buffer.h"

namespace importer {

// Adds and posts the lines into `CFactdetalle` (the detail buffer of the header just
// posted). An amount or discount value that is not a number fails with the conversion's
// message, leaving the line being built unposted; a line without article fails to post.
void addInvoiceLines(data::Tfdm& fdm, records::Buffer& CFactdetalle, const SummaryRecord& record,
                     const LineDefaults& defaults);

}  // namespace importer
