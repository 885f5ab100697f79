#include "import/csv_report.h"

#include <cerrno>
#include <system_error>

#include "core/text.h"

namespace importer {
namespace {

std::string number(int n) {
    return n < 0 ? std::string() : std::to_string(n);
}

}  // namespace

const char* const CsvReport::kHeader =
    "file,record,outcome,company,prefix,invoice_number,invoice_id,total,vat,lines,"
    "branches_copied,branches_pending,remote,reason";

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Stored:
            return "stored";
        case Outcome::Duplicate:
            return "duplicate";
        case Outcome::Refused:
            return "refused";
        case Outcome::Skipped:
            return "skipped";
        case Outcome::Kept:
            return "kept";
        case Outcome::NotOpenable:
            return "not_openable";
        case Outcome::NotReached:
            return "not_reached";
        case Outcome::Removed:
            return "removed";
        case Outcome::Remote:
            return "remote";
        case Outcome::LimboCommitted:
            return "limbo_committed";
        case Outcome::LimboRolledBack:
            return "limbo_rolled_back";
        case Outcome::LimboLeft:
            return "limbo_left";
    }
    return "?";
}

std::string csvField(const std::string& utf8) {
    if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
    std::string quoted = "\"";
    for (char c : utf8) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string inertCell(const std::string& text) {
    if (text.empty() || std::string_view("=+-@\t\r").find(text[0]) == std::string_view::npos)
        return text;
    // A signed number stays a number.
    size_t digits = 0, points = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            ++digits;
        else if (text[i] == '.' && points == 0)
            ++points;
        else
            return "'" + text;
    }
    return (text[0] == '+' || text[0] == '-') && digits > 0 ? text : "'" + text;
}

CsvReport::CsvReport(platform::Env& env, const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    const std::string extension = hasExtension ? path.substr(dot) : "";
    for (int n = 1; n <= 999; ++n) {
        path_ = n == 1 ? path : stem + "-" + std::to_string(n) + extension;
        platform::OutputFile::Opened opened;
        std::error_code error;
        file_ = env.createFile(path_, opened, error);
        switch (opened) {
            case platform::OutputFile::Opened::Yes:
                write(kHeader);
                return;
            case platform::OutputFile::Opened::Exists:
            case platform::OutputFile::Opened::NotAFile:
                continue;
            case platform::OutputFile::Opened::Unavailable:
                throw std::system_error(error, "cannot create " + path_);
        }
    }
    throw std::system_error(EEXIST, std::generic_category(), "cannot create " + path);
}

void CsvReport::row(const ReportRow& r) {
    // The program's texts are Windows-1252; the report is UTF-8.
    auto text = [](const std::string& cp1252) {
        return csvField(core::cp1252ToUtf8(inertCell(core::oneLine(cp1252))));
    };
    auto name = [](const std::string& cp1252) {
        return csvField(core::cp1252ToUtf8(inertCell(core::escapeControls(cp1252))));
    };
    write(name(r.file) + "," + (r.record > 0 ? std::to_string(r.record) : "") + "," +
          outcomeName(r.outcome) + "," + text(r.company) + "," + text(r.prefix) + "," +
          text(r.number) + "," + text(r.id) + "," + text(r.total) + "," + text(r.vat) + "," +
          number(r.lines) + "," + number(r.copied) + "," + number(r.pending) + "," +
          text(r.remote) + "," + text(r.reason));
}

void CsvReport::write(const std::string& line) {
    if (!file_->write(line + "\r\n"))
        throw std::system_error(file_->error(), "cannot write " + path_);
}

}  // namespace importer
