// The link to branch 102 cut, by a loopback proxy in front of the test command's server, at
// each round trip that a copied invoice's transaction sends over it, from the start of its
// part through the copy to the two phases of its commit (the question for the description,
// the prepare, the commit), once before the request reaches the server and once after the
// server answered, the answer lost. The run stops where it lost the link, as it
// stops for a lost company connection; the rerun resolves what was left in limbo and finds
// every invoice once, whole, copied once to each reachable branch and pending once for the
// other.
#include <gtest/gtest.h>

#include <fstream>

#include "bench/delay_proxy_process.h"
#include "tests/crash/crash_scenario.h"
#include "tests/crash/crash_timeline.h"

namespace crash {
namespace {

struct RoundTrip {
    unsigned long long n = 0;
    long long time = 0;
};

std::vector<RoundTrip> readRoundTrips(const std::string& path) {
    std::ifstream in(path);
    std::vector<RoundTrip> trips;
    RoundTrip t;
    while (in >> t.n >> t.time) trips.push_back(t);
    return trips;
}

int portOf(const Engine& server) {
    return std::stoi(server.serverPrefix.substr(server.serverPrefix.find('/') + 1));
}

// The round trips of branch 102's link inside each copied invoice's transaction, in a run that
// nothing disturbs: from the event before its lock (the transaction starts right before it)
// to the event after its "commit" phase. At least the three of the commit.
std::vector<unsigned long long> transactionRoundTrips(const Engine& server) {
    testsupport::TempDir dir;
    const std::string trips = dir.file("round-trips.txt");
    bench::DelayProxy proxy(BINARY_DIR "/delay_proxy", dir.path(), portOf(server), 0,
                            {"--trace", trips});
    World w(server, "127.0.0.1/" + std::to_string(proxy.port()));
    const std::string trace = w.root() + "/trace.txt";
    const RunResult r = w.runKillable(0, trace);
    if (r.status != 0) throw std::runtime_error("the traced run failed: " + r.err + r.out);
    proxy.stop();
    const Timeline t = Timeline::parse(readTrace(trace));
    std::vector<unsigned long long> moments;
    for (const InvoiceEvents& inv : t.invoices) {
        if (!inv.prepare) continue;
        const long long from = t.events.at(inv.lock - 2).time;
        const long long to = t.events.at(inv.commit).time;  // the event after the commit
        size_t inside = 0;
        for (const RoundTrip& trip : readRoundTrips(trips)) {
            if (trip.time > from && trip.time < to) {
                moments.push_back(trip.n);
                ++inside;
            }
        }
        if (inside < 3)
            throw std::runtime_error("expected the round trips of branch 102 in the commit of " +
                                     describe(inv.key) + ", found " + std::to_string(inside));
    }
    return moments;
}

TEST(BranchLinkCut, TheLinkToABranchCutAtEveryRoundTripOfItsTransaction) {
    const std::optional<Engine> server = loopbackServer();
    if (!server) GTEST_SKIP() << "FB_TEST_SERVER is not set; the test command starts a server";
    const std::vector<unsigned long long> moments = transactionRoundTrips(*server);
    std::set<std::string> resolved;
    for (unsigned long long n : moments) {
        for (const bool answerLost : {false, true}) {
            SCOPED_TRACE("link cut at round trip " + std::to_string(n) +
                         (answerLost ? ", the answer lost" : ", the request lost"));
            testsupport::TempDir dir;
            std::vector<std::string> cut = {"--cut-at", std::to_string(n)};
            if (answerLost) cut.push_back("--cut-answer");
            bench::DelayProxy proxy(BINARY_DIR "/delay_proxy", dir.path(), portOf(*server), 0, cut);
            World w(*server, "127.0.0.1/" + std::to_string(proxy.port()));

            const RunResult stopped = w.runProgram();
            EXPECT_EQ(stopped.status, 1) << stopped.out << stopped.err;
            const RunResult rerun = w.runProgram();  // the proxy lets later links pass
            EXPECT_EQ(rerun.status, 0) << rerun.out << rerun.err;
            for (const char* what : {"committed 1, rolled back 0", "committed 0, rolled back 1"})
                if (rerun.out.find("limbo transactions of earlier runs: " + std::string(what)) !=
                    std::string::npos)
                    resolved.insert(what);
            // Cut in the second phase, the stopped run said the invoice was decided.
            const bool committedLater =
                rerun.out.find("committed 1, rolled back 0") != std::string::npos;
            EXPECT_EQ(stopped.err.find(" quedó preparada en la compañía y en sus sucursales") !=
                          std::string::npos,
                      committedLater)
                << stopped.err;

            const Stored s = readStored(w);
            expectEachInvoiceOnceAndWhole(s);
            for (const Branch& b : kBranches) {
                if (!b.reachable) continue;
                SCOPED_TRACE(b.cod);
                ASSERT_EQ(s.branchCopies.count(b.cod), 1u);
                EXPECT_EQ(s.branchCopies.at(b.cod).size(), 2u);
                for (const auto& [number, copies] : s.branchCopies.at(b.cod))
                    EXPECT_EQ(copies.size(), 1u) << number;
            }
            EXPECT_EQ(s.pendingRows(), 2);
            EXPECT_EQ(w.folder(), std::set<std::string>{});
        }
    }
    // Cut between the phases, the commit was finished; cut in the first after the branch had
    // prepared, it was undone.
    EXPECT_EQ(resolved,
              (std::set<std::string>{"committed 1, rolled back 0", "committed 0, rolled back 1"}));
}

}  // namespace
}  // namespace crash
