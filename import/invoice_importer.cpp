#include "import/invoice_importer.h"

#include "import/invoice_header.h"
#include "import/invoice_lines.h"
#include "import/invoice_save.h"

namespace importer {

InvoiceImporter::InvoiceImporter(app::Tfimportarfac& window, data::Tfdm& fdm,
                                 WindowBuffers& buffers, InvoiceReplication* replication)
    : window_(window), fdm_(fdm), buffers_(buffers), replication_(replication) {}

RecordOutcome InvoiceImporter::importRecord(const SummaryRecord& record) {
    if (invoiceAlreadyStored(window_, buffers_)) return RecordOutcome::Duplicate;
    const LineDefaults defaults = buildInvoiceHeader(window_, fdm_, buffers_, record);
    window_.port().repaint();  // Edit1 names the invoice while it is stored
    addInvoiceLines(fdm_, buffers_.CFactdetalle, record, defaults);
    const RecordOutcome outcome = storeInvoice(window_, fdm_, buffers_);
    // The copies follow the commit: a branch never holds an invoice the company lacks.
    if (outcome == RecordOutcome::Stored && replication_) replication_->replicate();
    return outcome;
}

}  // namespace importer
