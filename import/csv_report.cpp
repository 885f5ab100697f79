#include "import/csv_report.h"

#include <cerrno>
#include <system_error>

#include "core/text.h"
#include "platform/file_names.h"

namespace importer {
namespace {

std::FILE* create(const std::string& path) {
#ifdef _WIN32
    return _wfopen(platform::nativePath(path).c_str(), L"wb");
#else
    return std::fopen(platform::nativePath(path).c_str(), "wb");
#endif
}

std::string number(int n) {
    return n < 0 ? std::string() : std::to_string(n);
}

}  // namespace

const char* const CsvReport::kHeader =
    "file,record,outcome,company,prefix,invoice_number,invoice_id,total,vat,lines,"
    "branches_copied,branches_pending,reason";

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
        case Outcome::Removed:
            return "removed";
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

CsvReport::CsvReport(const std::string& path) : path_(path), file_(create(path), std::fclose) {
    if (!file_) throw std::system_error(errno, std::generic_category(), "cannot create " + path);
    write(kHeader);
}

void CsvReport::row(const ReportRow& r) {
    // The program's texts are Windows-1252; the report is UTF-8.
    auto text = [](const std::string& cp1252) { return csvField(core::cp1252ToUtf8(cp1252)); };
    write(text(r.file) + "," + (r.record > 0 ? std::to_string(r.record) : "") + "," +
          outcomeName(r.outcome) + "," + text(r.company) + "," + text(r.prefix) + "," +
          text(r.number) + "," + text(r.id) + "," + text(r.total) + "," + text(r.vat) + "," +
          number(r.lines) + "," + number(r.copied) + "," + number(r.pending) + "," +
          text(r.reason));
}

void CsvReport::write(const std::string& line) {
    const std::string bytes = line + "\r\n";
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size() ||
        std::fflush(file_.get()) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot write " + path_);
}

}  // namespace importer
