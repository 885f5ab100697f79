#pragma once
// The report of a scheduled run as a CSV file (RFC 4180: a header row, fields quoted where
// they hold a comma, a quote or a line break, lines ended by CR LF), in UTF-8. Each row is
// written as soon as the run gives it, so a run that is killed leaves a true account of what
// it did. Cells hold no control character (core::oneLine), and a cell that a spreadsheet would
// take for a formula is made inert.
#include <string>

#include <memory>
#include "import/run_report.h"

#include "platform/env.h"

namespace importer {

class CsvReport : public RunReport {
  public:
    // Creates `path` (a path text of the program) and writes the header. A report of that name
    // is never overwritten, nor is a link of that name followed: the next free name of the form
    // "<stem>-2<extension>", "-3", ... is taken instead (path() tells which). Throws
    // std::system_error when no file can be made.
    CsvReport(platform::Env& env, const std::string& path);

    // Throws std::system_error when the row cannot be written.
    void row(const ReportRow& row) override;

    // The file the report went to.
    const std::string& path() const { return path_; }

    static const char* const kHeader;

  private:
    void write(const std::string& line);

    std::string path_;
    std::unique_ptr<platform::WrittenFile> file_;
};

// One CSV field: as it is, or between double quotes with each quote doubled.
std::string csvField(const std::string& utf8);
// A cell as a spreadsheet may open it: a text starting with "=", "+", "-", "@", a tab or a CR
// that is not a number gets a leading "'", so that it is never run as a formula.
std::string inertCell(const std::string& text);

}  // namespace importer
