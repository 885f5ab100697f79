#pragma once
// The one crossing between the program's path texts, Windows-1252 bytes like every text of
// the program, and the names of the file system: UTF-8 on Linux, UTF-16 on Windows (where the
// bytes are read as Windows-1252, whatever the system's own code page). Every path the
// program opens, searches, creates or deletes passes through here.
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// The file system's name for the path text `path`. Every byte has a character, so every text
// names exactly one file.
std::filesystem::path nativePath(const std::string& path);

// The program's text for a name that the file system gave (a folder's entry, the working
// directory), or nothing when it has none: a character outside Windows-1252, or bytes that
// are no text. Such a name is never taken for another.
std::optional<std::string> programText(const std::filesystem::path& name);

// The same, with '?' for each character that has no Windows-1252 form: for messages only.
std::string displayText(const std::filesystem::path& name);

}  // namespace platform
