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
    addInvoiceLines(fdm_, buffers_.CFactdetalle, record, defaults);
    if (!saveInvoice(buffers_)) return RecordOutcome::Refused;

    records::Buffer& h = buffers_.CFacturas;
    updateInvoiceTotals(buffers_);
    contabilice_factura(buffers_, fdm_, h.FieldByName("FACT_ID").asInteger(),
                        h.FieldByName("FACT_FECHA").asDate());
    if (replication_) replication_->replicate();
    return RecordOutcome::Stored;
}

}  // namespace importer
