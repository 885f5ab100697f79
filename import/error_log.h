#pragma once
// The error log erroresimp.txt beside the flat files: one line per file that could not be
// imported, "yyyy/mm/dd,hh:mm:ss,<text>" ended by CR LF. Only ever appended to.
#include <string>

#include "core/date.h"

namespace importer {

inline constexpr char kErrorLogName[] = "erroresimp.txt";

// Appends one line to `direc` + "erroresimp.txt" (created when it cannot be read).
// Failures to open, write or close the log are ignored.
void appendErrorLog(const std::string& direc, const core::Date& date, const core::Time& time,
                    const std::string& text);

}  // namespace importer
