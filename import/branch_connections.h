#pragma once
// The branch databases a run reaches: one connection per database and replication login,
// opened the first time the run needs it and kept until the run ends, so that every copy
// and every look into its limbo goes through the same attachment with its statements
// prepared once. A database that cannot be reached stays out of reach for the rest of the
// run (a dead server would otherwise cost its connect time at every invoice).
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "data/fdm.h"
#include "records/buffer.h"

namespace importer {

class BranchConnections {
  public:
    // Each connection takes the options of `fdm.ConReplica`, which is never opened itself, and
    // shares its hooks.
    explicit BranchConnections(data::Tfdm& fdm);
    ~BranchConnections();
    BranchConnections(const BranchConnections&) = delete;
    BranchConnections& operator=(const BranchConnections&) = delete;

    struct Branch {
        std::string database;  // as a REPLICA_VENTAS row names it
        fb::Connection connection{"ConReplica"};
        bool reached = false;
        bool told = false;  // the person has been told it is out of reach
    };

    // The branch database `database`, with the replication login that the company
    // connection's configuration gives (read once per company connection). Connected on the
    // first call of the run; a failure to connect leaves it out of reach, not an error.
    Branch& reach(const std::string& database);
    // Binds the data module's branch datasets (the id procedure, the replica header and
    // lines) to `branch`, which must be reached.
    void use(Branch& branch);
    // The run is over: every connection closes (a failure to detach is passed over) and the
    // branch datasets go back to ConReplica.
    void closeAll() noexcept;

  private:
    data::Tfdm& fdm_;
    // database, user, password
    std::map<std::tuple<std::string, std::string, std::string>, std::unique_ptr<Branch>> open_;
    uint64_t loginOf_ = 0;  // Quorvan.openCount() of the login below; 0: not read
    std::string user_, password_;
};

// The path of the branch database a REPLICA_VENTAS row names: RPVE_SERVIDOR + "\datos\" +
// RPVE_COD + "\quorvan.fdb" (the current row of `row`).
std::string branchDatabase(records::Buffer& row);

}  // namespace importer
