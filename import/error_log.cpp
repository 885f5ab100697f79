#include "import/error_log.h"

#include <fstream>

#include "platform/file_names.h"

namespace importer {

void appendErrorLog(const std::string& direc, const core::Date& date, const core::Time& time,
                    const std::string& text) {
    const std::filesystem::path path = platform::nativePath(direc + kErrorLogName);
    // A log that cannot be read is made anew, replacing whatever has that name.
    const bool readable = std::ifstream(path, std::ios::binary).is_open();
    std::ofstream log(path, std::ios::binary | (readable ? std::ios::app : std::ios::trunc));
    const std::string line =
        core::dateText(date) + "," + core::timeText(time) + "," + text + "\r\n";
    log.write(line.data(), static_cast<std::streamsize>(line.size()));
}

}  // namespace importer
