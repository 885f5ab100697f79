// A transaction left in limbo on purpose, over both reachable branch databases and the
// company database, in the order the import gives its parts, the way a run killed in the
// middle of its commit leaves one: its company part holds AB01's prefix row, which every
// AB01 invoice needs, so nothing of AB01 could be imported before it is resolved. A check
// only tells what it would do; the next run resolves it first (committed when every part was
// prepared or one committed, rolled back when a part was never prepared), says so in its
// summary, its report and the error log, and then imports every invoice whole.
#include <gtest/gtest.h>

#include <filesystem>

#include "data/texts.h"
#include "tests/crash/crash_scenario.h"
#include "tests/support/csv.h"

namespace crash {
namespace {

const char kPrefixRow[] =
    "SELECT PREF_ACTUAL FROM PREFIJOS WHERE TIDO_COD = 31 AND PREF_PRE = 'AB01';";

TEST(LimboRecovery, ATransactionLeftInLimboIsResolvedByTheNextRunInEitherDirection) {
    struct Case {
        const char* what;
        int prepared, committed;  // parts, from the first: branch 101, branch 102, company
        bool commits;
    } cases[] = {
        {"every part prepared", 3, 0, true},
        {"the branches committed, the company prepared", 3, 2, true},
        {"the branches prepared, the company not", 2, 0, false},
        {"one branch prepared", 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        World w;
        const std::string marks = "CREATE TABLE MARCA (ID INTEGER);";
        for (const char* cod : {"101", "102"}) testsupport::execSql(w.branchDb(cod), marks);
        const std::string before = testsupport::queryValue(w.companyDb("001"), kPrefixRow);
        const RunResult made = w.runTool(
            BINARY_DIR "/make_limbo",
            {std::to_string(c.prepared), std::to_string(c.committed), w.engine().user,
             w.engine().password, w.branchDatabaseText("101"), "INSERT INTO MARCA VALUES (101)",
             w.branchDatabaseText("102"), "INSERT INTO MARCA VALUES (102)", w.companyDb("001"),
             "UPDATE PREFIJOS SET PREF_ACTUAL = COALESCE(PREF_ACTUAL, 0) + 1 "
             "WHERE TIDO_COD = 31 AND PREF_PRE = 'AB01'"});
        ASSERT_TRUE(made.killed) << made.status << " " << made.err;
        const std::string outcome =
            c.commits ? "committed 1, rolled back 0, left 0" : "committed 0, rolled back 1, left 0";

        // The check tells, and leaves the transaction where it was.
        const RunResult check = World::finish(w.start(BINARY_DIR "/importarfac", w.installation(),
                                                      {"--pause-ms", "0", "--check"}, {}, "check"));
        EXPECT_NE(check.out.find("limbo transactions of earlier runs: " + outcome),
                  std::string::npos)
            << check.out << check.err;
        EXPECT_FALSE(w.errorLogExists());
        EXPECT_EQ(testsupport::queryValue(w.companyDb("001"),
                                          "SELECT COUNT(*) FROM RDB$TRANSACTIONS "
                                          "WHERE RDB$TRANSACTION_STATE = 1;"),
                  c.prepared == 3 && c.committed < 3 ? "1" : "0");

        const std::string report = w.root() + "/informe.csv";
        const RunResult run =
            World::finish(w.start(BINARY_DIR "/importarfac", w.installation(),
                                  {"--pause-ms", "0", "--report", report}, {}, "run"));
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_NE(run.out.find("limbo transactions of earlier runs: " + outcome), std::string::npos)
            << run.out;
        const std::string logged =
            c.commits ? data::texts::kLimboConfirmada : data::texts::kLimboDeshecha;
        EXPECT_NE(w.errorLog().find(logged), std::string::npos) << w.errorLog();
        size_t reported = 0;
        for (const testsupport::CsvRow& row : testsupport::parseCsv(readText(report)))
            if (row.size() > 3 && row[2] == (c.commits ? "limbo_committed" : "limbo_rolled_back")) {
                EXPECT_EQ(row[0], "");
                EXPECT_EQ(row[3], "001");
                ++reported;
            }
        EXPECT_EQ(reported, 1u);

        // Every part went the same way, and the import after it is whole.
        for (const char* cod : {"101", "102"}) {
            EXPECT_EQ(testsupport::queryValue(w.branchDb(cod), "SELECT COUNT(*) FROM MARCA;"),
                      c.commits ? "1" : "0")
                << cod;
        }
        const std::string after = testsupport::queryValue(w.companyDb("001"), kPrefixRow);
        EXPECT_EQ(after, c.commits ? std::to_string(std::stoi(before) + 1) : before);
        const Stored s = readStored(w);
        expectEachInvoiceOnceAndWhole(s);
        EXPECT_EQ(s.pendingRows(), 2);
        EXPECT_EQ(w.folder(), std::set<std::string>{});
    }
}

// A branch out of reach when the next run resolves the company's part keeps its own part in
// limbo; a later run that reaches it resolves it the same way.
TEST(LimboRecovery, ABranchOutOfReachIsResolvedByALaterRun) {
    World w;
    const std::string file102 = testsupport::StandInErp::branchPath(w.root() + "/erp/br102", "102");
    testsupport::execSql(w.branchDb("102"), "CREATE TABLE MARCA (ID INTEGER);");
    const RunResult made = w.runTool(
        BINARY_DIR "/make_limbo",
        {"3", "0", w.engine().user, w.engine().password, w.branchDatabaseText("101"),
         "UPDATE ARTICULO SET ARTI_COD = ARTI_COD WHERE ARTI_COD = '01-01'",
         w.branchDatabaseText("102"), "INSERT INTO MARCA VALUES (102)", w.companyDb("001"),
         "UPDATE PREFIJOS SET PREF_ACTUAL = PREF_ACTUAL WHERE TIDO_COD = 31 AND PREF_PRE = "
         "'AB01'"});
    ASSERT_TRUE(made.killed) << made.err;
    std::filesystem::rename(file102, file102 + ".away");

    const RunResult first = w.runProgram();
    EXPECT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("limbo transactions of earlier runs: committed 1"), std::string::npos)
        << first.out;
    EXPECT_NE(w.errorLog().find(w.branchDatabaseText("102") + data::texts::kLimboTransaccion),
              std::string::npos);
    EXPECT_NE(w.errorLog().find(data::texts::kLimboFueraDeAlcance + ")"), std::string::npos)
        << w.errorLog();
    EXPECT_EQ(w.folder(), std::set<std::string>{});

    std::filesystem::rename(file102 + ".away", file102);
    const RunResult later = w.runProgram();
    EXPECT_EQ(later.status, 0) << later.out << later.err;
    EXPECT_NE(later.out.find("limbo transactions of earlier runs: committed 1"), std::string::npos)
        << later.out;
    EXPECT_EQ(testsupport::queryValue(w.branchDb("102"), "SELECT COUNT(*) FROM MARCA;"), "1");
    expectEachInvoiceOnceAndWhole(readStored(w));
    EXPECT_EQ(testsupport::queryValue(w.branchDb("102"),
                                      "SELECT COUNT(*) FROM RDB$TRANSACTIONS "
                                      "WHERE RDB$TRANSACTION_STATE = 1;"),
              "0");
}

}  // namespace
}  // namespace crash
