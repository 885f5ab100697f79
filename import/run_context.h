#pragma once
// The working state of the import, shared by the run, the invoice steps and the line-number
// hook of the detail buffer: the file being read, the invoice being built, the rounding
// setting, and which company the company connection holds.
#include <cstdint>
#include <optional>
#include <string>

#include "core/date.h"

namespace importer {

struct RunContext {
    int32_t Arch = 0;     // handle of the flat file being read; 0 when none is open
    int32_t NroIte = 0;   // last detail line number given out for the invoice being built
    int32_t Digitos = 0;  // rounding setting read at the start of each run
    std::string CodCia;   // company of the centre of the file being read
    std::string CiaAct;   // company whose database the company connection holds
    // The file being read: the date its name gives, and its point of sale's prefix.
    core::Date date;
    std::string prefix;
    // The last day this file or a later one of the run names for the same point of sale:
    // how far ahead the duplicate test asks at once. None: it asks for the day alone.
    std::optional<core::Date> lastDate;
};

}  // namespace importer
