// The report of a run that is killed: every row it holds is true of the databases and the
// folder, and at most the one invoice in flight at the kill is stored without its row.
#include <gtest/gtest.h>

#include "tests/crash/crash_scenario.h"
#include "tests/crash/crash_timeline.h"
#include "tests/support/csv.h"

namespace crash {
namespace {

Timeline timelineOfAWholeRun() {
    World w;
    const std::string trace = w.root() + "/trace.txt";
    const RunResult r = w.runKillable(0, trace);
    if (r.status != 0) throw std::runtime_error("the traced run failed: " + r.err);
    return Timeline::parse(readTrace(trace));
}

TEST(KilledRunReport, EveryRowOfTheReportIsTrue) {
    const Timeline t = timelineOfAWholeRun();
    ASSERT_EQ(t.invoices.size(), 6u);
    // Once the first invoice's row is written, inside the save of the fourth, inside the
    // posting of the last.
    for (size_t k :
         {t.invoices[1].duplicateTest, t.invoices[3].firstInsert, t.invoices[5].posting}) {
        SCOPED_TRACE(t.where(k));
        World w;
        const std::string path = w.root() + "/informe.csv";
        const RunResult r =
            World::finish(w.start(BINARY_DIR "/killable_importarfac", w.installation(),
                                  {"--pause-ms", "0", "--report", path},
                                  {{"CRASH_KILL_AT", std::to_string(k)}}, "killed"));
        ASSERT_TRUE(r.killed) << r.err;
        const std::vector<testsupport::CsvRow> rows = testsupport::parseCsv(readText(path));
        ASSERT_GE(rows.size(), 2u) << "a report with no row at event " << k;
        const Stored s = readStored(w);
        const std::set<std::string> left = w.folder();

        size_t named = 0;  // invoices the report says are stored
        for (size_t i = 1; i < rows.size(); ++i) {
            const testsupport::CsvRow& row = rows[i];
            SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2]);
            if (row[2] == "removed") {
                EXPECT_EQ(left.count(row[0]), 0u);
            } else if (row[2] == "stored") {
                const std::string day =
                    row[5].substr(0, 4) + "-" + row[5].substr(4, 2) + "-" + row[5].substr(6, 2);
                const auto it = s.invoices.find({row[4], day, row[3]});
                ASSERT_NE(it, s.invoices.end());
                ASSERT_EQ(it->second.size(), 1u);
                const StoredInvoice& got = it->second[0];
                EXPECT_EQ(row[6], got.factId);
                EXPECT_EQ(row[7], got.total);
                EXPECT_EQ(row[8], got.vat);
                EXPECT_EQ(row[9], std::to_string(got.lines.size()));
                ++named;
            }
        }
        size_t stored = 0;
        for (const auto& [key, list] : s.invoices) stored += list.size();
        EXPECT_GE(stored, named);
        EXPECT_LE(stored, named + 1) << "stored invoices the report does not name";
    }
}

}  // namespace
}  // namespace crash
