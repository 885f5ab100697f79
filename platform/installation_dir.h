#pragma once
// Where the ERP records its installation directory: the value "Directorio" of the key
// Software\Ostrel\Quorvan2021 of the local machine. On Windows that is the registry
// (HKEY_LOCAL_MACHINE, read only: its 64-bit view, else its 32-bit one, where a 32-bit
// installer writes); elsewhere the same key and value through Qt's native
// settings of the system scope (on Linux the file Ostrel/Quorvan2021.conf under
// $XDG_CONFIG_DIRS, by default /etc/xdg, with a line "Directorio=/path").
#include <optional>
#include <string>

namespace platform {

// The directory text (Windows-1252 bytes): nullopt when the key does not exist or cannot be
// opened; "" when the key exists without the value. A value that is not text, or (on Windows)
// names a folder that no Windows-1252 text can, throws std::runtime_error.
std::optional<std::string> readInstallationDirectory();

}  // namespace platform
