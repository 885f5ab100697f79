// The report as a spreadsheet reads it: cells quoted as RFC 4180 says, none run as a formula,
// none breaking its line; and a report never written over an earlier one.
#include "import/csv_report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "platform/env.h"
#include "tests/support/helper_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using importer::CsvReport;

TEST(CsvReport, CellsAreQuotedInertAndOnOneLine) {
    testsupport::TempDir dir;
    const std::string path = dir.file("report.csv");
    {
        CsvReport report(platform::Env::system(), path);
        importer::ReportRow row;
        row.file = "[RDE_12_\x1b]2;x_20240131.txt";
        row.record = 2;
        row.outcome = importer::Outcome::Stored;
        row.company = "001";
        row.number = "20240131";
        row.id = "77";
        row.total = "-1785.5";  // a number stays a number
        row.vat = "+x";
        row.lines = 3;
        row.copied = 1;
        row.pending = 0;
        row.reason = "Ya existe, \"dos\"\r\nl\xednea\t=";
        report.row(row);
        importer::ReportRow formula;
        formula.file = "=HYPERLINK(\"x\")";
        formula.outcome = importer::Outcome::Kept;
        formula.reason = "@SUM(A1)";
        report.row(formula);
    }
    EXPECT_EQ(testsupport::readFile(path),
              std::string(CsvReport::kHeader) + "\r\n" +
                  "[RDE_12_\\x1b]2;x_20240131.txt,2,stored,001,,20240131,77,-1785.5,'+x,3,1,0,,"
                  "\"Ya existe, \"\"dos\"\" | l\xc3\xadnea\\x09=\"\r\n"
                  "\"'=HYPERLINK(\"\"x\"\")\",,kept,,,,,,,,,,,'@SUM(A1)\r\n");
}

TEST(CsvReport, NeverWritesOverAnEarlierReportOrIntoAFolder) {
    testsupport::TempDir dir;
    const std::string path = dir.file("importarfac-20240131.csv");
    CsvReport first(platform::Env::system(), path);
    fs::create_directory(dir.file("importarfac-20240131-3.csv"));
    CsvReport second(platform::Env::system(), path), third(platform::Env::system(), path);
    EXPECT_EQ(first.path(), path);
    EXPECT_EQ(second.path(), dir.file("importarfac-20240131-2.csv"));
    EXPECT_EQ(third.path(), dir.file("importarfac-20240131-4.csv"));
    EXPECT_EQ(testsupport::readFile(path), std::string(CsvReport::kHeader) + "\r\n");
}

TEST(CsvReport, AFolderThatCannotHoldItFailsWithTheSystemsReason) {
    testsupport::TempDir dir;
    const std::string path = dir.file("no such folder/report.csv");
    try {
        CsvReport report(platform::Env::system(), path);
        ADD_FAILURE() << "made " << report.path();
    } catch (const std::system_error& e) {
        EXPECT_NE(e.code().value(), 0) << e.what();
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
}

}  // namespace
