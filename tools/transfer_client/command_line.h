#pragma once

#include <string>
#include <vector>

namespace transfer_client {

// The script file named by the command line (arguments without the program
// name). Switches start with "/" or "-" and their names ignore letter case:
// "script=FILE" is required once; "log=", "loglevel=", "xmllog=" and "ini="
// are accepted and ignored, as this client keeps no log or settings. Blanks
// around an argument are dropped (the import's parameter text starts with
// one). Anything else throws ClientError(BadArguments).
std::string script_path(const std::vector<std::string>& arguments);

}  // namespace transfer_client
