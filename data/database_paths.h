#pragma once
// Where a server keeps the ERP's databases. The server text is the prefix of each path,
// used exactly as typed: no separator is added or removed ("srv:/erp/" gives
// "srv:/erp//datos/general.fdb").
#include <string>

namespace data {

// The general database, which lists the centres and their companies.
std::string generalDatabase(const std::string& server);
// The database of company `company`.
std::string companyDatabase(const std::string& server, const std::string& company);
// The database of branch `branch` as the branch rows name it, with Windows separators
// (server + "\datos\" + branch + "\quorvan.fdb"), whatever the system.
std::string branchDatabase(const std::string& server, const std::string& branch);

}  // namespace data
