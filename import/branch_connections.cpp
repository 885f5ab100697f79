#include "import/branch_connections.h"

#include "data/database_paths.h"

namespace importer {

BranchConnections::BranchConnections(data::Tfdm& fdm) : fdm_(fdm) {}

BranchConnections::~BranchConnections() {
    closeAll();
}

BranchConnections::Branch& BranchConnections::reach(const std::string& database) {
    fb::Connection& company = fdm_.Quorvan;
    if (loginOf_ != company.openCount()) {
        user_ = fdm_.configuracion("INVENTARIO", "ARTICULOS",
                                   "NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS");
        password_ = fdm_.configuracion("INVENTARIO", "ARTICULOS",
                                       "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS");
        loginOf_ = company.openCount();
    }
    auto& slot = open_[{database, user_, password_}];
    if (slot) return *slot;
    slot = std::make_unique<Branch>();
    Branch& b = *slot;
    b.database = database;
    b.connection.options() = fdm_.ConReplica.options();
    b.connection.shareHooks(fdm_.ConReplica);
    try {
        fdm_.connect(b.connection, database, user_, password_);
        b.reached = true;
    } catch (const std::exception&) {
        // Out of reach for this run: its copies are recorded as pending.
    }
    return b;
}

void BranchConnections::use(Branch& branch) {
    for (records::ServerDataset* d :
         {&fdm_.SIdfactreplica, &fdm_.Tfactreplica, &fdm_.TFactdetreplica})
        d->setConnection(branch.connection);
}

void BranchConnections::closeAll() noexcept {
    for (records::ServerDataset* d :
         {&fdm_.SIdfactreplica, &fdm_.Tfactreplica, &fdm_.TFactdetreplica})
        d->setConnection(fdm_.ConReplica);
    for (auto& [key, branch] : open_) {
        try {
            branch->connection.close();
        } catch (...) {
            // A lost link: the attachment is gone on the server's side already.
        }
    }
    open_.clear();
    loginOf_ = 0;
}

std::string branchDatabase(records::Buffer& row) {
    return data::branchDatabase(row.FieldByName("RPVE_SERVIDOR").asString(),
                                row.FieldByName("RPVE_COD").asString());
}

}  // namespace importer
