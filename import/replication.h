#pragma once
// Copies the invoice just saved into every branch database that REPLICA_VENTAS names for its
// prefix and point of sale. The copy gets an id from the branch's CAMBIE_ID_FACTURA and the
// branch row's prefix and point of sale; a branch that cannot be reached gets a pending row
// in REPLICA_ARTICULO_ESTADO of the company database and an information box.
//
// Header fields are copied by name into the replica buffer; header fields that the replica
// buffer does not declare (FACT_IDFMAR to FACT_AUTOCOVINOC) are passed over, so the branch
// receives NULL in them. Line fields are copied by name as well, but a line field that the
// branch's FACTURAS_DETALLE lacks fails the copy (and ends the run): a line is never copied
// in part.
#include "data/fdm.h"
#include "import/run_steps.h"
#include "import/window_buffers.h"

namespace importer {

class Replicator : public InvoiceReplication {
  public:
    Replicator(data::Tfdm& fdm, WindowBuffers& buffers);

    // The invoice is the current row of CFacturas, its lines those of CFactdetalle. A refused
    // copy has been shown by the replica provider's error hook and leaves nothing in the
    // branch; failures of the id procedure or of filling the copy propagate.
    BranchCopies replicate() override;

  private:
    bool matches(records::Buffer& branch) const;
    // Counts in `copies` the copy made, or the branch recorded pending.
    void copyTo(records::Buffer& branch, BranchCopies& copies);
    void recordPending(records::Buffer& branch, const std::string& database);
    void fillHeader(records::Buffer& branch, const std::string& branchId);
    void fillLines(const std::string& branchId);

    data::Tfdm& fdm_;
    WindowBuffers& b_;
};

}  // namespace importer
