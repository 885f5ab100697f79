#include "import/branch_connections.h"

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
    for (const auto& [name, value] : fdm_.ConReplica.params()) b.connection.setParam(name, value);
    b.connection.setParam("Database", database);
    b.connection.setParam("User_Name", user_);
    b.connection.setParam("password", password_);
    try {
        b.connection.open();
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
    return row.FieldByName("RPVE_SERVIDOR").asString() + "\\datos\\" +
           row.FieldByName("RPVE_COD").asString() + "\\quorvan.fdb";
}

}  // namespace importer
