// The rule that resolves a transaction left in limbo, from the states of its parts in the
// order they are prepared and committed (the company's last), and the coordinator's
// description it reads them from.
#include <gtest/gtest.h>

#include "fb/transaction_description.h"
#include "import/limbo_recovery.h"

namespace {

using importer::PartState;
using importer::Resolution;
using P = PartState;

TEST(LimboRule, CommitWhereAPartCommittedOrAllWerePreparedRollBackWhereOneNeverWas) {
    struct Case {
        const char* what;
        std::vector<PartState> parts;  // branch, branch, company
        Resolution want;
    } cases[] = {
        {"every part prepared", {P::Prepared, P::Prepared, P::Prepared}, Resolution::Commit},
        {"the branches committed (their records erased), the company prepared",
         {P::Missing, P::Missing, P::Prepared},
         Resolution::Commit},
        {"a branch out of reach before a prepared part was prepared too",
         {P::Unknown, P::Prepared, P::Prepared},
         Resolution::Commit},
        {"the company resolved by commit",
         {P::Prepared, P::Prepared, P::Committed},
         Resolution::Commit},
        {"the company never prepared",
         {P::Prepared, P::Prepared, P::Missing},
         Resolution::Rollback},
        {"the second branch never prepared",
         {P::Prepared, P::Missing, P::Missing},
         Resolution::Rollback},
        {"the first branch rolled back after its prepare",
         {P::RolledBack, P::Prepared, P::Missing},
         Resolution::Rollback},
        {"the company resolved by rollback", {P::Prepared, P::RolledBack}, Resolution::Rollback},
        {"a part never prepared decides even beside one out of reach",
         {P::Prepared, P::Missing, P::Unknown},
         Resolution::Rollback},
        {"the last part out of reach, all others prepared",
         {P::Prepared, P::Prepared, P::Unknown},
         Resolution::Undecided},
        {"committed and rolled back",
         {P::Committed, P::RolledBack, P::Prepared},
         Resolution::Contradictory},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(importer::resolve(c.parts), c.want);
    }
}

TEST(LimboRule, TheCoordinatorsDescriptionNamesEachPartWithItsTransaction) {
    using D = fb::TransactionDescription;
    // As Firebird 3's coordinator writes it, in process and over a network (the client's own
    // text for the database), and as it must not be read.
    const std::string embedded(
        "\x01\x01\x02vm\x02\x10/tmp/exp22/a.fdb\x03\x04\x0d\x00\x00\x00"
        "\x02\x10/tmp/exp22/b.fdb\x03\x04\x0d\x00\x00\x00",
        53);
    const std::string remote = std::string("\x01\x01\x02vm\x02\x23") +
                               "localhost/3056:/tmp/exp22/srv/c.fdb" +
                               std::string("\x03\x04\x03\x00\x00\x00", 6) + "\x02\x2b" +
                               "localhost/3056:/tmp/exp22/srv/x\\datos\\y.fdb" +
                               std::string("\x03\x04\x03\x00\x00\x00", 6);
    const std::string longId = std::string("\x01\x02\x05p.fdb\x06\x08", 10) +
                               std::string("\x01\x00\x00\x00\x01\x00\x00\x00", 8);
    struct Case {
        const char* what;
        std::string bytes;
        std::optional<D> want;
    } cases[] = {
        {"in process", embedded, D{"vm", {{"/tmp/exp22/a.fdb", 13}, {"/tmp/exp22/b.fdb", 13}}}},
        {"over a network", remote,
         D{"vm",
           {{"localhost/3056:/tmp/exp22/srv/c.fdb", 3},
            {"localhost/3056:/tmp/exp22/srv/x\\datos\\y.fdb", 3}}}},
        {"a long transaction number", longId, D{"", {{"p.fdb", (int64_t(1) << 32) + 1}}}},
        {"empty", "", std::nullopt},
        {"another version", "\x02" + embedded.substr(1), std::nullopt},
        {"cut inside a path", embedded.substr(0, 20), std::nullopt},
        {"a database without its transaction", embedded.substr(0, 44), std::nullopt},
        {"a transaction without its database", std::string("\x01\x03\x04\x01\x00\x00\x00", 7),
         std::nullopt},
        {"an unknown tag", embedded + std::string("\x09\x01x", 3), std::nullopt},
        {"no part at all", std::string("\x01\x01\x02vm", 5), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fb::parseTransactionDescription(c.bytes), c.want);
    }
}

}  // namespace
