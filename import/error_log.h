#pragma once
// The error log erroresimp.txt beside the flat files: one line per file that could not be
// imported, "yyyy/mm/dd,hh:mm:ss,<text>" ended by CR LF. Only ever appended to, and never
// through a link or into anything but a regular file.
#include <string>

#include "core/date.h"
#include "platform/env.h"

namespace importer {

inline constexpr char kErrorLogName[] = "erroresimp.txt";

// Appends one line to `direc` + "erroresimp.txt" (created when missing), the text on one line
// with its control characters written out (core::oneLine). False when it could not be
// written: the name is taken by a link, a folder, a FIFO or a device, or the system refused.
bool appendErrorLog(platform::Env& env, const std::string& direc, const core::Date& date,
                    const core::Time& time, const std::string& text);

}  // namespace importer
