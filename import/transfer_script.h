#pragma once
// The script the transfer client is started on, one per removed file: three lines that log
// into the remote account, remove that one file from its root folder, and end.
#include <string>

namespace importer {

// Whether the name of a flat file can go into the transfer script: not when it holds a
// control character (it could end the script's line) or a double quote (the script's quote).
bool remotelyRemovable(const std::string& name);

// The script's three lines, each ended by CR LF, for the flat file `name` (which begins
// with "["). Line 2 is "rm " and a mask of the client's script language that matches that
// one name only: "[[]" for the first "[", then the rest of the name with each character the
// client reads as a mask ("[", "*", "?") written as a set of that one character ("[[]",
// "[*]", "[?]") and each "%" doubled (a single one would start a variable); a mask holding a
// blank is enclosed in double quotes. `name` must be remotelyRemovable.
std::string transferScript(const std::string& openLine, const std::string& name);

}  // namespace importer
