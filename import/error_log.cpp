#include "import/error_log.h"

#include <cstdio>

namespace importer {

void appendErrorLog(const std::string& direc, const core::Date& date, const core::Time& time,
                    const std::string& text) {
    const std::string path = direc + kErrorLogName;
    // A log that cannot be read is made anew, replacing whatever has that name.
    std::FILE* probe = std::fopen(path.c_str(), "rb");
    const bool readable = probe != nullptr;
    if (probe) std::fclose(probe);
    std::FILE* f = std::fopen(path.c_str(), readable ? "ab" : "wb");
    if (!f) return;
    std::string line = core::dateText(date) + "," + core::timeText(time) + "," + text + "\r\n";
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
}

}  // namespace importer
