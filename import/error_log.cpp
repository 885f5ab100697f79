#include "import/error_log.h"

#include "core/text.h"

namespace importer {

bool appendErrorLog(platform::Env& env, const std::string& direc, const core::Date& date,
                    const core::Time& time, const std::string& text) {
    platform::OutputFile::Opened opened;
    std::error_code error;
    const std::unique_ptr<platform::WrittenFile> log =
        env.appendToFile(direc + kErrorLogName, opened, error);
    if (!log) return false;
    return log->write(core::dateText(date) + "," + core::timeText(time) + "," +
                      core::oneLine(text) + "\r\n");
}

}  // namespace importer
