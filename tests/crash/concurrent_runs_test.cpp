// Runs side by side. Two runs on one folder: one works, the other stops at once with exit
// status 3 and changes nothing. Two installations importing copies of the same files into
// the same company database: each invoice is stored once. (A run whose process died holds
// nothing: every rerun of the crash tests starts right after a killed run.)
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "core/text.h"
#include "data/texts.h"
#include "tests/crash/crash_scenario.h"

namespace crash {
namespace {

// What a run that copies invoices writes on standard error: the branch out of reach, once.
std::string unreachableBranch(const World& w) {
    return core::cp1252ToUtf8(core::utf8ToCp1252("No se pudo entablar la conexión con ") +
                              w.branchDatabaseText("103")) +
           "\n";
}

// Every script the stand-in client was given, one per removed file: each file's removal once.
void expectEachFileRemovedOnce(const std::string& remoteLog) {
    for (const FlatFile& f : flatFiles()) {
        const std::string line = "rm [[]" + f.name.substr(1) + "\r\n";
        const size_t at = remoteLog.find(line);
        EXPECT_NE(at, std::string::npos) << f.name;
        if (at != std::string::npos) {
            EXPECT_EQ(remoteLog.find(line, at + 1), std::string::npos) << f.name << " twice";
        }
    }
}

TEST(ConcurrentRuns, TwoRunsOnOneFolderStartedTogetherOneWorksTheOtherTouchesNothing) {
    World w;
    const Installation& inst = w.installation();
    // A pause after each removed file keeps the first run at work while the second starts.
    const Started a = w.start(BINARY_DIR "/importarfac", inst, {"--pause-ms", "300"}, {}, "a");
    const Started b = w.start(BINARY_DIR "/importarfac", inst, {"--pause-ms", "300"}, {}, "b");
    const RunResult ra = World::finish(a), rb = World::finish(b);

    ASSERT_EQ((std::multiset<int>{ra.status, rb.status}), (std::multiset<int>{0, 3}))
        << ra.err << rb.err;
    const RunResult& worked = ra.status == 0 ? ra : rb;
    const RunResult& stopped = ra.status == 0 ? rb : ra;
    EXPECT_EQ(worked.err, unreachableBranch(w));
    EXPECT_EQ(stopped.out, "");
    // One line, naming the run at work as its lock file tells.
    const std::string start =
        core::cp1252ToUtf8(data::texts::kOtraImportacion) + inst.in + " (proceso ";
    EXPECT_EQ(stopped.err.substr(0, start.size()), start) << stopped.err;
    EXPECT_TRUE(stopped.err.ends_with(core::cp1252ToUtf8(data::texts::kOtraImportacionFin) + "\n"))
        << stopped.err;
    EXPECT_EQ(std::count(stopped.err.begin(), stopped.err.end(), '\n'), 1);

    expectEachInvoiceOnceAndWhole(readStored(w));
    EXPECT_EQ(w.folder(), std::set<std::string>{});
    EXPECT_FALSE(w.errorLogExists());
    expectEachFileRemovedOnce(w.remoteLog());
}

// Both processes pause before each invoice's header insert, so that each has tested for a
// duplicate, and found none, while the other is about to store the same invoice.
TEST(ConcurrentRuns, TwoInstallationsImportingTheSameFilesStoreEachInvoiceOnce) {
    World w;
    const Installation& second = w.addInstallation();
    const std::map<std::string, std::string> meet = {{"CRASH_PAUSE_SQL", "INSERT INTO FACTURAS ("},
                                                     {"CRASH_PAUSE_MS", "300"}};
    const std::string program = BINARY_DIR "/killable_importarfac";
    const Started a = w.start(program, w.installation(), {"--pause-ms", "0"}, meet, "a");
    const Started b = w.start(program, second, {"--pause-ms", "0"}, meet, "b");
    const RunResult ra = World::finish(a), rb = World::finish(b);
    EXPECT_EQ(ra.status, 0) << ra.err;
    EXPECT_EQ(rb.status, 0) << rb.err;
    for (const RunResult* r : {&ra, &rb})
        EXPECT_TRUE(r->err.empty() || r->err == unreachableBranch(w)) << r->err;

    const Stored s = readStored(w);
    expectEachInvoiceOnceAndWhole(s);
    // Only the process that stored an invoice copies it to the branches, and records it
    // pending for the one out of reach.
    for (const Branch& b : kBranches) {
        if (!b.reachable) continue;
        SCOPED_TRACE(b.cod);
        size_t copies = 0;
        for (const auto& [number, list] : s.branchCopies.at(b.cod)) {
            EXPECT_EQ(list.size(), 1u) << number;
            copies += list.size();
        }
        EXPECT_EQ(copies, 2u);
    }
    EXPECT_EQ(s.pendingRows(), 2);
    EXPECT_EQ(w.folder(0), std::set<std::string>{});
    EXPECT_EQ(w.folder(1), std::set<std::string>{});
}

}  // namespace
}  // namespace crash
