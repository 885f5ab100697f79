#pragma once
// What a run is started with: the folder to read, the file format, the databases' server and
// login for the company switches, and the prefix and date shown until the first file gives
// its own. A value: the run never reads the window.
#include <optional>
#include <string>

#include "core/date.h"

namespace importer {

struct RunInputs {
    std::string folder;             // empty: the run only says it needs one
    char separator = ';';           // between fields
    std::optional<char> delimiter;  // around a field; none: fields are not delimited
    std::string server, user, password;
    std::string prefix;
    core::Date date;
};

}  // namespace importer
