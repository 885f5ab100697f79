#pragma once
// The named text parameters the data module describes its connections with, and the typed
// options of the database layer they stand for.
#include <string>
#include <utility>
#include <vector>

#include "fb/connection.h"

namespace data {

// Parameters by name, matched without regard to letter case: setting "password" replaces a
// "Password" already there. The names understood, and what each maps onto:
//   "Database", "User_Name", "password", "RoleName"   the attachment's path and login
//   "SQLDialect"                                       1 or 3
//   "ServerCharSet"                                    the character set (empty: none)
//   "WaitOnLocks"                                      True (or empty) / False
//   "IsolationLevel"                                   ReadCommitted (or empty) / SnapShot
//   "CommitRetain"                                     False only: a commit ends the transaction
//   "Trim Char"                                        False only: fixed-length text keeps its
//                                                      padding
//   "BlobSize", "LocaleCode"                           no effect: blobs are always read whole
class ConnectionParams {
  public:
    ConnectionParams() = default;
    ConnectionParams(std::initializer_list<std::pair<std::string, std::string>> params);

    void set(const std::string& name, const std::string& value);
    // The value of `name`; "" when it is not set.
    std::string get(const std::string& name) const;
    const std::vector<std::pair<std::string, std::string>>& list() const { return params_; }

    // The options these parameters stand for (the lock wait without a limit; the options'
    // own defaults for what is not set). A name not understood, or a value that the database
    // layer cannot honour, throws std::invalid_argument naming it.
    fb::ConnectionOptions options() const;

  private:
    std::vector<std::pair<std::string, std::string>> params_;
};

// The connections of the data module, and the parameters each is created with.
enum class ModuleConnection { Quorvan, General, ConReplica };
ConnectionParams designParams(ModuleConnection connection);

}  // namespace data
