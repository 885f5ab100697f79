#pragma once
// The report of a scheduled run as a CSV file (RFC 4180: a header row, fields quoted where
// they hold a comma, a quote or a line break, lines ended by CR LF), in UTF-8. Each row is
// written and flushed as soon as the run gives it, so a run that is killed leaves a true
// account of what it did.
#include <cstdio>
#include <memory>
#include <string>

#include "import/run_report.h"

namespace importer {

class CsvReport : public RunReport {
  public:
    // Creates or empties `path` (a path text of the program) and writes the header. Throws
    // std::system_error when the file cannot be made.
    explicit CsvReport(const std::string& path);

    // Throws std::system_error when the row cannot be written.
    void row(const ReportRow& row) override;

    static const char* const kHeader;

  private:
    void write(const std::string& line);

    std::string path_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
};

// One CSV field: as it is, or between double quotes with each quote doubled.
std::string csvField(const std::string& utf8);

}  // namespace importer
