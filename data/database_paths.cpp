#include "data/database_paths.h"

namespace data {

std::string generalDatabase(const std::string& server) {
    return server + "/datos/general.fdb";
}

std::string companyDatabase(const std::string& server, const std::string& company) {
    return server + "/datos/" + company + "/quorvan.fdb";
}

std::string branchDatabase(const std::string& server, const std::string& branch) {
    return server + "\\datos\\" + branch + "\\quorvan.fdb";
}

}  // namespace data
