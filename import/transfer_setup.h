#pragma once
// How remote removals are set up on this machine: the first line of every transfer script
// (which logs the client into the remote account, with its password) and the client to start.
// Neither is built into the program.
#include <optional>
#include <string>

#include "platform/env.h"

namespace importer {

// The file name of the open line, in the credentials folder and in the installation directory.
inline constexpr char kOpenLineFileName[] = "transfer-open-line";

struct TransferSetup {
    // The script's first line; none: remote removal is not configured on this machine.
    std::optional<std::string> openLine;
    // Where it was found, for messages: "credential", "environment" or the file's path.
    std::string openLineSource;
    // The installation directory's file it was read from (whose permissions are worth a
    // warning); empty when it came from elsewhere.
    std::string openLineFile;
    // The transfer client, a whole path.
    std::string client;
    // Why a configured removal cannot start (an open line the script cannot carry, a client
    // that is not given by a whole path); empty when nothing is in the way.
    std::string problem;
};

// Looks the open line up, the first line that is not empty of:
//   1. the systemd credential "transfer-open-line" ($CREDENTIALS_DIRECTORY, which the unit's
//      LoadCredential= fills);
//   2. the environment variable IMPORTARFAC_TRANSFER_OPEN_LINE;
//   3. the file "transfer-open-line" in the ERP's installation directory (where settings.conf
//      lies).
// The client is the whole path in IMPORTARFAC_TRANSFER_CLIENT when that is set, else
// "winscp.com" in the program's own folder; the program search path is never searched.
TransferSetup transferSetup(platform::Env& env);

}  // namespace importer
