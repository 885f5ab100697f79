#pragma once
// Transactions that a run left in limbo: the invoice's distributed transaction prepared in
// some of its databases when the run was killed or a link was cut, before or during its
// second phase. Their rows stay locked until they are resolved, so each run resolves them
// before it imports into a company, with the rule the engine's own tools apply to the parts'
// states: commit where any part committed, or where every part was prepared; roll back where a
// part was rolled back or never prepared.
//
// The parts are prepared and committed in the order of the transaction's description, the
// company's part last. So a part whose description record is gone (a normal commit erases it)
// was committed when a later part is still prepared, and never prepared when it comes after
// the last prepared one; a part out of reach before the last prepared one was prepared too.
// A company part in limbo thus always commits, and a branch part follows the company's.
#include <set>
#include <string>
#include <vector>

#include "data/fdm.h"
#include "import/branch_connections.h"
#include "import/run_steps.h"
#include "import/window_buffers.h"
#include "platform/env.h"

namespace importer {

// The state of one part of a transaction in its database (RDB$TRANSACTIONS).
enum class PartState {
    Prepared,    // in limbo
    Committed,   // resolved by commit
    RolledBack,  // rolled back after its prepare, or resolved so
    Missing,     // no record: committed normally, or never prepared
    Unknown,     // its database is out of reach
};

enum class Resolution { Commit, Rollback, Undecided, Contradictory };

// What the rule above decides for the parts' states, in their order.
Resolution resolve(const std::vector<PartState>& parts);

class LimboRecovery : public RunDatabases {
  public:
    // What it does with a transaction it finds: resolves it, or (a check's) only tells how it
    // would resolve it.
    enum class Mode { Resolve, ReportOnly };

    // Pauses, while a part another attachment holds is waited for, through `env`.
    LimboRecovery(data::Tfdm& fdm, records::Buffer& branchRows, BranchConnections& branches,
                  Mode mode = Mode::Resolve, platform::Env& env = platform::Env::system());

    // Looks into the company database and into every branch database its REPLICA_VENTAS
    // rows name that can be reached (connected for the run). A transaction is one of ours when
    // its description names the company database. A part held by a live attachment (another
    // run in its commit) leaves the transaction as it is. A failure to resolve a part that was
    // taken over is thrown (a lost link stops the run; the next run takes it up again).
    std::vector<LimboOutcome> enterCompany() override;
    void endRun() noexcept override;

  private:
    data::Tfdm& fdm_;
    records::Buffer& branchRows_;
    BranchConnections& branches_;
    Mode mode_;
    platform::Env& env_;
};

}  // namespace importer
