#include "import/error_log.h"

#include "core/text.h"
#include "platform/output_file.h"

namespace importer {

bool appendErrorLog(const std::string& direc, const core::Date& date, const core::Time& time,
                    const std::string& text) {
    platform::OutputFile log;
    if (log.appendTo(direc + kErrorLogName) != platform::OutputFile::Opened::Yes) return false;
    return log.write(core::dateText(date) + "," + core::timeText(time) + "," + core::oneLine(text) +
                     "\r\n");
}

}  // namespace importer
