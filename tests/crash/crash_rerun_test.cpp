// The headless import killed with SIGKILL at every statement it sends, at both phases of each
// distributed commit and at every deletion of a flat file, each time on fresh copies of the
// databases and the folder, then run again to its end. Whatever the moment, an invoice is in
// the company database whole (header, every line, its totals and its posting) with its copy in
// each reachable branch and its pending row for the one out of reach, or nowhere at all; one
// killed between the two phases is in limbo, and the rerun commits it before it imports; no
// file leaves the folder before its invoices are stored; after the rerun every invoice is
// there exactly once, whole, copied once to each reachable branch with one pending row for the
// other, and the folder is empty. A file's removal on the server is queued before it is
// deleted here, so that after a kill anywhere the rerun removes every file there too.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "core/text.h"
#include "data/texts.h"
#include "tests/crash/crash_scenario.h"
#include "tests/crash/crash_timeline.h"

namespace crash {
namespace {

// The header as the flat file gave it, before ACTUALICE_TOTAL_DOCVENTA recomputed it: what
// a branch copy carries.
const char kUntotalledTotal[] = "2.00";

// A run that is not killed, traced: its events, and the databases it leaves.
struct Reference {
    Timeline timeline;
    Stored stored;
};

Reference makeReference(const Engine& engine) {
    World w(engine);
    const std::string trace = w.root() + "/trace.txt";
    const RunResult r = w.runKillable(0, trace);
    if (r.killed || r.status != 0)
        throw std::runtime_error("the traced run failed: " + r.err + r.out);
    return {Timeline::parse(readTrace(trace)), readStored(w)};
}

const Reference& embeddedReference() {
    static const Reference ref = makeReference({});
    return ref;
}

const char kNeverRemovedRemotely[] = "deleted here but never removed on the server: ";

// The transfer script's line that removes the flat file `name` on the server.
std::string removal(const std::string& name) {
    return "rm [[]" + name.substr(1) + "\r\n";
}

std::string invoiceNumber(const InvoiceKey& k) {
    std::string n = k.date;
    n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
    return n;
}

// The copies of an invoice in branch `cod` (they keep its number).
const std::vector<BranchCopy>* copiesOf(const Stored& s, const std::string& cod,
                                        const InvoiceKey& k) {
    auto branch = s.branchCopies.find(cod);
    if (branch == s.branchCopies.end()) return nullptr;
    auto it = branch->second.find(invoiceNumber(k));
    return it == branch->second.end() ? nullptr : &it->second;
}

size_t copiesIn(const Stored& s, const std::string& cod, const InvoiceKey& k) {
    const std::vector<BranchCopy>* copies = copiesOf(s, cod, k);
    return copies ? copies->size() : 0;
}

size_t allCopies(const Stored& s) {
    size_t n = 0;
    for (const auto& [cod, byNumber] : s.branchCopies)
        for (const auto& [number, copies] : byNumber) n += copies.size();
    return n;
}

// The pending rows of an invoice for the branch out of reach.
int pendingOf(const Stored& s, const InvoiceKey& k) {
    auto it = s.pending.find({"103", k.prefix + invoiceNumber(k)});
    return it == s.pending.end() ? 0 : it->second;
}

// What a run writes on standard error: the one branch out of reach, told once, when it
// copies anything.
bool onlyTheBranchOutOfReach(const World& w, const std::string& err) {
    const std::string told =
        core::cp1252ToUtf8(data::texts::kSinConexion + w.branchDatabaseText("103")) + "\n";
    return err.empty() || err == told;
}

class CrashRerunTest : public ::testing::Test {
  protected:
    // Kills the import at event k of `ref`'s run, then reruns the program, checking both.
    void killAndRerun(const Reference& ref, size_t k, const Engine& engine = {}) {
        const Timeline& t = ref.timeline;
        SCOPED_TRACE(t.where(k));
        World w(engine);

        for (const InvoiceEvents& inv : t.invoices) ++seen_[inv.stageAtKill(k)];
        const RunResult killed = w.runKillable(k);
        ASSERT_TRUE(killed.killed)
            << "the run ended before the moment: status " << killed.status << "\n"
            << killed.err;
        checkAfterKill(ref, k, w);

        const RunResult rerun = w.runProgram();
        EXPECT_EQ(rerun.status, 0) << rerun.err << rerun.out;
        EXPECT_TRUE(onlyTheBranchOutOfReach(w, rerun.err)) << rerun.err;
        checkAfterRerun(ref, k, w, rerun);
    }

    void killEach(const Reference& ref, size_t from, size_t to, const Engine& engine = {}) {
        ASSERT_LE(from, to);
        ASSERT_LE(to, ref.timeline.events.size());
        for (size_t k = from; k <= to; ++k) {
            killAndRerun(ref, k, engine);
            if (HasFatalFailure()) return;
        }
    }

    // Every stage that a kill can leave an invoice at was met among the moments, so that none
    // of the expectations above went untried.
    void expectEveryStageMet(bool withBranchCopy) {
        for (Stage s : {Stage::NotSaved, Stage::Complete}) EXPECT_GT(seen_[s], 0) << describe(s);
        EXPECT_EQ(seen_[Stage::InLimbo] > 0, withBranchCopy) << describe(Stage::InLimbo);
    }

    // An invoice as stored, against the run that was not killed: its lines, totals and
    // posting.
    static void expectWhole(const StoredInvoice& got, const StoredInvoice& want) {
        EXPECT_EQ(got.lines, want.lines);
        EXPECT_EQ(got.total, want.total) << "not totalled";
        EXPECT_EQ(got.vat, want.vat);
        EXPECT_EQ(got.entries, 1) << "no accounting entry";
        EXPECT_EQ(got.posted, 1) << "not posted";
    }

  private:
    std::map<Stage, int> seen_;

    // The killed run: files leave the folder only once their invoices are stored, and an
    // invoice is there whole or not at all.
    static void checkAfterKill(const Reference& ref, size_t k, const World& w) {
        const Timeline& t = ref.timeline;
        const Stored s = readStored(w);
        const std::set<std::string> left = w.folder();
        for (const FlatFile& f : flatFiles()) {
            bool deletionStarted = false;
            for (const FileEvents& fe : t.files)
                if (fe.name == f.name) deletionStarted = fe.del < k;
            EXPECT_EQ(left.count(f.name), deletionStarted ? 0u : 1u) << f.name;
            if (!left.count(f.name)) {
                EXPECT_EQ(s.invoices.count(f.key), 1u)
                    << f.name << " was removed before its invoice " << describe(f.key)
                    << " was stored";
            }
        }
        for (const InvoiceEvents& inv : t.invoices) {
            const Stage stage = inv.stageAtKill(k);
            SCOPED_TRACE(describe(inv.key) + ": " + describe(stage));
            auto it = s.invoices.find(inv.key);
            const size_t stored = it == s.invoices.end() ? 0 : it->second.size();
            const size_t whole = stage == Stage::Complete ? 1 : 0;
            EXPECT_EQ(stored, whole);
            if (stored == 1) {
                SCOPED_TRACE("stored but not whole");
                expectWhole(it->second[0], ref.stored.invoices.at(inv.key)[0]);
            }
            if (!inv.copied()) continue;
            for (const Branch& b : kBranches) {
                if (b.reachable) {
                    EXPECT_EQ(copiesIn(s, b.cod, inv.key), whole) << b.cod;
                }
            }
            EXPECT_EQ(pendingOf(s, inv.key), static_cast<int>(whole));
        }
        // From just before its deletion here, a file's removal on the server is queued until
        // a client has done it.
        for (const FileEvents& fe : t.files) {
            if (fe.del > k) continue;
            EXPECT_TRUE(w.queuedRemovals().count(fe.name) ||
                        w.remoteLog().find(removal(fe.name)) != std::string::npos)
                << kNeverRemovedRemotely << fe.name;
        }
    }

    // The rerun: every invoice once and whole, copied once to each reachable branch and
    // pending once for the other; every file gone; a transaction the kill left in limbo
    // committed first, and said so.
    static void checkAfterRerun(const Reference& ref, size_t k, const World& w,
                                const RunResult& rerun) {
        const Timeline& t = ref.timeline;
        const Stored s = readStored(w);
        EXPECT_EQ(w.folder(), std::set<std::string>{});
        EXPECT_EQ(s.invoices.size(), expectedInvoices().size());
        EXPECT_EQ(s.strayEntries, 0);

        bool inLimbo = false;
        size_t copied = 0;
        for (const InvoiceEvents& inv : t.invoices) {
            SCOPED_TRACE(describe(inv.key) + ": " + describe(inv.stageAtKill(k)));
            inLimbo = inLimbo || inv.stageAtKill(k) == Stage::InLimbo;
            auto it = s.invoices.find(inv.key);
            ASSERT_NE(it, s.invoices.end()) << "lost";
            ASSERT_EQ(it->second.size(), 1u) << "doubled";
            expectWhole(it->second[0], ref.stored.invoices.at(inv.key)[0]);

            if (!inv.copied()) continue;
            ++copied;
            for (const Branch& b : kBranches) {
                if (!b.reachable) continue;
                ASSERT_EQ(copiesIn(s, b.cod, inv.key), 1u) << b.cod;
                EXPECT_EQ((*copiesOf(s, b.cod, inv.key))[0].lines,
                          (*copiesOf(ref.stored, b.cod, inv.key))[0].lines);
            }
            EXPECT_EQ(pendingOf(s, inv.key), 1);
        }
        EXPECT_EQ(allCopies(s), 2 * copied);
        EXPECT_EQ(s.pendingRows(), static_cast<int>(copied));

        const std::string limboLine =
            "limbo transactions of earlier runs: committed 1, rolled back 0, left 0\n";
        if (inLimbo) {
            EXPECT_NE(rerun.out.find(limboLine), std::string::npos) << rerun.out;
            ASSERT_TRUE(w.errorLogExists());
            EXPECT_NE(w.errorLog().find(data::texts::kLimboConfirmada), std::string::npos);
        } else {
            EXPECT_EQ(rerun.out.find("limbo"), std::string::npos) << rerun.out;
            EXPECT_FALSE(w.errorLogExists());
        }
        // Every file is removed on the server too, and nothing is left queued.
        for (const FlatFile& f : flatFiles())
            EXPECT_NE(w.remoteLog().find(removal(f.name)), std::string::npos)
                << kNeverRemovedRemotely << f.name;
        EXPECT_EQ(w.queuedRemovals(), std::set<std::string>{});
    }
};

// The reference run itself: every invoice complete with the lines its summary record asks
// for, every AB01 invoice copied to both reachable branches in the same commit and pending for
// the other, every file removed, and each kind of event traced, so that the kill moments
// below land where they are meant to.
TEST_F(CrashRerunTest, TheTracedRunIsCompleteAndTracesEveryKindOfMoment) {
    const Reference& ref = embeddedReference();
    const Timeline& t = ref.timeline;
    struct Want {
        InvoiceKey key;
        size_t lines;
        bool copied;
    };
    const Want want[] = {
        {{"AB01", "2024-03-01", "001"}, 4, true},  {{"AB01", "2024-03-02", "001"}, 1, true},
        {{"AB02", "2024-03-01", "001"}, 6, false}, {{"AB02", "2024-03-02", "001"}, 0, false},
        {{"CD01", "2024-03-01", "002"}, 7, false}, {{"CD01", "2024-03-02", "002"}, 3, false},
    };
    ASSERT_EQ(t.invoices.size(), std::size(want));
    ASSERT_EQ(ref.stored.invoices.size(), std::size(want));
    for (size_t i = 0; i < std::size(want); ++i) {
        const Want& w = want[i];
        SCOPED_TRACE(describe(w.key));
        EXPECT_EQ(t.invoices[i].key, w.key);
        EXPECT_EQ(t.invoices[i].copied(), w.copied);
        EXPECT_EQ(t.invoices[i].prepare != 0, w.copied);  // the coordinator only with copies
        EXPECT_EQ(t.invoices[i].pendingRow != 0, w.copied);
        const auto& stored = ref.stored.invoices.at(w.key);
        ASSERT_EQ(stored.size(), 1u);
        ASSERT_EQ(stored[0].lines.size(), w.lines);
        for (size_t n = 0; n < w.lines; ++n)
            EXPECT_EQ(stored[0].lines[n].item, std::to_string(n + 1));
        EXPECT_NE(stored[0].total, kUntotalledTotal);
        EXPECT_EQ(stored[0].entries, 1);
        EXPECT_EQ(stored[0].posted, 1);
        EXPECT_EQ(pendingOf(ref.stored, w.key), w.copied ? 1 : 0);
        if (!w.copied) continue;
        for (const Branch& b : kBranches) {
            if (!b.reachable) continue;
            const std::vector<BranchCopy>* copies = copiesOf(ref.stored, b.cod, w.key);
            ASSERT_EQ(copies ? copies->size() : 0u, 1u) << b.cod;
            EXPECT_EQ((*copies)[0].lines, stored[0].lines);
            EXPECT_EQ((*copies)[0].total, kUntotalledTotal);  // the header as the import built it
        }
    }
    EXPECT_EQ(allCopies(ref.stored), 4u);
    // One sample line in full: 15000 for cars at 19 %.
    EXPECT_EQ(ref.stored.invoices.at(want[0].key)[0].lines[0],
              (Line{"1", "01-01", "AUTOS", "15000.00", "2850.00", "17850.00"}));
    EXPECT_EQ(ref.stored.invoices.at(want[0].key)[0].total, "22848.00");

    ASSERT_EQ(t.files.size(), flatFiles().size());
    for (size_t i = 0; i < t.files.size(); ++i) {
        EXPECT_EQ(t.files[i].name, flatFiles()[i].name);
        EXPECT_EQ(t.files[i].deleted, t.files[i].del + 1);
    }
}

// From the first statement to the end of the files of point of sale 12: the first invoice
// with its copy to the branch, a file with a second record of its day, a second file of a
// day already stored.
TEST_F(CrashRerunTest, KilledAtEachMomentOfPointOfSale12) {
    const Reference& ref = embeddedReference();
    killEach(ref, 1, ref.timeline.files.at(2).deleted);
    expectEveryStageMet(true);
}

// Point of sale 13: six amount lines, then an invoice without lines.
TEST_F(CrashRerunTest, KilledAtEachMomentOfPointOfSale13) {
    const Reference& ref = embeddedReference();
    killEach(ref, ref.timeline.files.at(2).deleted + 1, ref.timeline.files.at(4).deleted);
    expectEveryStageMet(false);
}

// The switch to company 002 and its two files, up to the last deletion.
TEST_F(CrashRerunTest, KilledAtEachMomentOfCompany002) {
    const Reference& ref = embeddedReference();
    killEach(ref, ref.timeline.files.at(4).deleted + 1, ref.timeline.events.size());
    expectEveryStageMet(false);
}

// Each invoice as one block, as the program stores it over a network: killed at every moment
// of the whole run, the block itself and the commits after it included.
TEST_F(CrashRerunTest, KilledAtEachMomentWithTheInvoicesInBlocks) {
    Engine inBlocks;
    inBlocks.inBlocks = true;
    const Reference ref = makeReference(inBlocks);
    ASSERT_EQ(ref.timeline.invoices.size(), 6u);
    for (const InvoiceEvents& inv : ref.timeline.invoices) EXPECT_TRUE(inv.block);
    killEach(ref, 1, ref.timeline.events.size(), inBlocks);
    expectEveryStageMet(true);
}

// Through the loopback server: the client dies while the server lives on and must undo the
// dead attachment's open transaction itself, or leave its prepared parts in limbo. A few
// moments only: inside a save, before the totals, before the posting, inside the copies,
// before each phase of the commit, right after it, at a deletion, inside a save of the second
// company.
TEST_F(CrashRerunTest, KilledClientOfTheLoopbackServer) {
    const std::optional<Engine> server = loopbackServer();
    if (!server) GTEST_SKIP() << "FB_TEST_SERVER is not set; the test command starts a server";
    const Reference ref = makeReference(*server);
    const auto& inv = ref.timeline.invoices;
    ASSERT_EQ(inv.size(), 6u);
    for (size_t k : {inv[0].firstInsert + 1, inv[0].totals, inv[0].posting,
                     inv[0].firstBranchInsert + 1, inv[0].prepare, inv[0].commit, inv[0].commit + 1,
                     ref.timeline.files.at(0).deleted, inv[4].lastInsert}) {
        killAndRerun(ref, k, *server);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace crash
