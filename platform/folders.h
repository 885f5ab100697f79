#pragma once
// What the folder picker asks of the system: where the program runs, and whether a path text
// names a folder.
#include <string>

namespace platform {

// The working directory as a message shows it ('?' for a character without a Windows-1252
// form); empty when the system does not tell.
std::string workingDirectory();
// Whether `path` (a path text of the program) names a folder.
bool isFolder(const std::string& path);

}  // namespace platform
