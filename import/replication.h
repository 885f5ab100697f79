#pragma once
// Copies of the invoice being stored into the branch databases that REPLICA_VENTAS names for
// its prefix and point of sale, inside the invoice's own transaction: the copy gets an id from
// the branch's CAMBIE_ID_FACTURA and the branch row's prefix and point of sale; a branch that
// cannot be reached gets a pending row in REPLICA_ARTICULO_ESTADO of the company database and
// an information box (once per run and branch database).
//
// Header fields are copied by name into the replica buffer; header fields that the replica
// buffer does not declare (FACT_IDFMAR to FACT_AUTOCOVINOC) are passed over, so the branch
// receives NULL in them. Line fields are copied by name as well; a line field that the
// branch's FACTURAS_DETALLE lacks makes that branch refuse the copy: a line is never copied
// in part, and the branch keeps nothing of the invoice.
#include <optional>
#include <string>
#include <vector>

#include "data/fdm.h"
#include "import/branch_connections.h"
#include "import/run_steps.h"
#include "import/window_buffers.h"

namespace importer {

class Replicator : public InvoiceReplication {
  public:
    Replicator(data::Tfdm& fdm, const ReplicaBuffers& buffers, BranchConnections& branches);

    // The invoice is the pending header of CFacturas with its lines in CFactdetalle.
    std::vector<fb::Connection*> prepareCopies() override;
    // A refusal of a branch has been shown (the replica provider's error hook, or the failure
    // as it came); the copy is undone to the savepoint taken before it, so the branch's part
    // holds nothing of it.
    BranchCopies copy(const fb::Transaction& tra) override;
    BranchCopies check(const fb::Transaction& tra) override;
    bool presumeNoCopies() override;

  private:
    // One matching branch row, as the row gave it, and the branch it names.
    struct Copy {
        std::string cod, prefdes, database;
        int32_t ptvtdes = 0;
        BranchConnections::Branch* branch = nullptr;
        std::optional<std::string> id;  // drawn once per invoice, kept for a retry
    };

    bool matches(records::Buffer& branch) const;
    // Whether the branch took the copy; a refusal adds its text to `copies`. A check (`check`
    // true) only prepares, in a transaction of the branch's own that is rolled back.
    bool copyTo(Copy& c, const fb::Transaction& tra, BranchCopies& copies, bool check);
    void fill(Copy& c, const fb::Transaction& tra);
    // The pending row of a branch out of reach, written in `tra`, or (a check) prepared.
    void recordPending(const Copy& c, const fb::Transaction& tra, bool check);
    void fillHeader(const Copy& c);
    void fillLines(const std::string& branchId);

    data::Tfdm& fdm_;
    ReplicaBuffers b_;
    BranchConnections& branches_;
    std::vector<Copy> plan_;  // of the invoice being stored
    // The prefix and point of sale whose last read found no branch row asking for them, in
    // the run of Tfdm::answersEpoch() `noneEpoch_` (0: none).
    std::string nonePrefix_;
    int32_t nonePtvt_ = 0;
    uint64_t noneEpoch_ = 0;
};

}  // namespace importer
