#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "remote_folder.h"
#include "script.h"

namespace transfer_client {

// Opens the session an open line names; throws ClientError when it cannot.
using Connector = std::function<std::unique_ptr<RemoteFolder>(const OpenCommand&)>;

// Carries out a parsed script in order; the first failure throws and ends it.
// For rm, the folder is listed once and every mask must match at least one
// entry before anything is deleted, so a mask without a match deletes nothing.
// A file matched by several masks is deleted once, in the listing's order. A
// lone mask that names one file is deleted by that name without a listing; a
// refused delete of a name the listing lacks is a mask without a match.
void run_script(const std::vector<ScriptLine>& script, const Connector& connect);

}  // namespace transfer_client
