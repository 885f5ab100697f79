// The connection's reader on the loopback server: the read-only read committed transaction
// that the lookups share instead of a transaction each. What the server shows is checked:
// the transaction's own number and kind, the oldest active transaction, what is stored, and
// what is still attached.
#include <gtest/gtest.h>

#include "fb/connection.h"
#include "records/buffer.h"
#include "records/provider.h"
#include "records/server_dataset.h"
#include "tests/load/set/load_set.h"
#include "tests/support/support.h"

namespace {

constexpr const char* kTransaction = "SELECT CURRENT_TRANSACTION FROM RDB$DATABASE";

class ReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto s = load::serverFromEnvironment();
        if (!s) GTEST_SKIP() << "FB_TEST_SERVER is not set; the test command starts a server";
        server_ = *s;
        for (const char* name : {"one.fdb", "two.fdb"}) create(dir_.file(name));
        connect(reader_, dir_.file("one.fdb"));
        connect(writer_, dir_.file("one.fdb"));
    }

    void create(const std::string& file) {
        fb::AttachOptions o;
        o.user = server_.user;
        o.password = server_.password;
        fb::Attachment a = fb::Attachment::create(server_.path(file), o, "ISO8859_1");
        for (const char* ddl :
             {"CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20))",
              "CREATE PROCEDURE POSTS RETURNS (X INTEGER) AS BEGIN "
              "INSERT INTO T VALUES (99, 'posted'); X = 1; SUSPEND; END",
              "CREATE PROCEDURE ADDS (N INTEGER) AS BEGIN INSERT INTO T VALUES (:N, 'x'); END"}) {
            fb::Transaction t(a, {});
            fb::Statement(a, t, ddl, 3).execute(t, {});
            t.commit();
        }
    }
    void connect(fb::Connection& c, const std::string& file) {
        c.options().database = server_.path(file);
        c.options().user = server_.user;
        c.options().password = server_.password;
        c.options().dialect = 3;
        c.open();
    }
    static int64_t number(fb::Connection& c, const std::string& sql) {
        return c.run(sql).rows.at(0).at(0).integer;
    }
    static int64_t readNumber(fb::Connection& c, const std::string& sql) {
        return c.read(sql).rows.at(0).at(0).integer;
    }

    testsupport::TempDir dir_;
    load::Server server_;
    fb::Connection reader_{"Quorvan"};
    fb::Connection writer_{"Other"};
};

TEST_F(ReaderTest, ReadsShareOneReadOnlyTransactionThatSeesEachCommitAndHoldsNothingBack) {
    const int64_t first = readNumber(reader_, kTransaction);
    EXPECT_EQ(readNumber(reader_, kTransaction), first);
    EXPECT_TRUE(reader_.readerActive());
    // Read only, read committed with record versions (isolation mode 2).
    const fb::Table kind = reader_.read(
        "SELECT MON$READ_ONLY, MON$ISOLATION_MODE FROM MON$TRANSACTIONS "
        "WHERE MON$TRANSACTION_ID = CURRENT_TRANSACTION");
    ASSERT_EQ(kind.rows.size(), 1u);
    EXPECT_EQ(kind.rows[0][0].integer, 1);
    EXPECT_EQ(kind.rows[0][1].integer, 2);

    EXPECT_EQ(readNumber(reader_, "SELECT COUNT(*) FROM T"), 0);
    writer_.run("INSERT INTO T VALUES (1, 'uno')");
    EXPECT_EQ(readNumber(reader_, "SELECT COUNT(*) FROM T"), 1);
    writer_.run("INSERT INTO T VALUES (2, 'dos')");
    EXPECT_EQ(readNumber(reader_, "SELECT COUNT(*) FROM T"), 2);
    EXPECT_EQ(readNumber(reader_, kTransaction), first);

    // Pre-committed: the oldest active transaction has moved past the open reader.
    EXPECT_GT(number(writer_, "SELECT MON$OLDEST_ACTIVE FROM MON$DATABASE"), first);
    // A statement of its own still gets a transaction of its own.
    EXPECT_NE(number(reader_, kTransaction), first);
}

TEST_F(ReaderTest, AStatementThatWritesIsRefusedThereAndStoresNothing) {
    const int64_t before = readNumber(reader_, kTransaction);
    for (const char* writes :
         {"INSERT INTO T VALUES (5, 'x')", "SELECT * FROM POSTS", "EXECUTE PROCEDURE ADDS(6)"}) {
        try {
            reader_.read(writes);
            ADD_FAILURE() << "accepted in the reader: " << writes;
        } catch (const fb::Error& e) {
            EXPECT_NE(std::string(e.what()).find("read-only transaction"), std::string::npos)
                << e.what();
        }
        EXPECT_FALSE(reader_.readerActive()) << "a failure ends the reader";
    }
    EXPECT_EQ(number(writer_, "SELECT COUNT(*) FROM T"), 0);
    // The next read starts a new reader, and works.
    EXPECT_GT(readNumber(reader_, kTransaction), before);
    EXPECT_EQ(readNumber(reader_, "SELECT COUNT(*) FROM T"), 0);
}

TEST_F(ReaderTest, ClosingEndsTheReaderSoTheConnectionDetachesAndOpensElsewhere) {
    readNumber(reader_, "SELECT COUNT(*) FROM T");
    const std::string others =
        "SELECT COUNT(*) FROM MON$TRANSACTIONS T JOIN MON$ATTACHMENTS A "
        "ON A.MON$ATTACHMENT_ID = T.MON$ATTACHMENT_ID "
        "WHERE A.MON$SYSTEM_FLAG = 0 AND A.MON$ATTACHMENT_ID <> CURRENT_CONNECTION";
    EXPECT_EQ(number(writer_, others), 1);  // the reader
    reader_.close();
    EXPECT_FALSE(reader_.connected());
    EXPECT_FALSE(reader_.readerActive());
    EXPECT_EQ(number(writer_, others), 0);
    EXPECT_EQ(number(writer_,
                     "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> "
                     "CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0"),
              0);

    // The company switch: open again on another database while a reader is open.
    connect(reader_, dir_.file("one.fdb"));
    readNumber(reader_, "SELECT COUNT(*) FROM T");
    connect(reader_, dir_.file("two.fdb"));
    fb::Connection two{"Two"};
    connect(two, dir_.file("two.fdb"));
    two.run("INSERT INTO T VALUES (7, 'siete')");
    const fb::Table t = reader_.read("SELECT NAME FROM T");
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.rows[0][0].asText(), "siete");
    EXPECT_EQ(number(writer_, others), 0) << "the first database keeps no reader";
}

TEST_F(ReaderTest, TheStatementHookFiresOnceForEveryRead) {
    std::vector<std::string> seen;
    reader_.setHooks({.statement = [&seen](const std::string& sql, const std::vector<fb::Value>&) {
        seen.push_back(sql);
    }});
    reader_.read("SELECT COUNT(*) FROM T");
    reader_.read(kTransaction);
    reader_.describe("SELECT NAME FROM T");  // prepares, runs nothing
    EXPECT_EQ(seen, (std::vector<std::string>{"SELECT COUNT(*) FROM T", kTransaction}));
}

// Only datasets that say so open in the reader; what a buffer executes never does.
TEST_F(ReaderTest, ADatasetOptsInForItsOpensAndExecutesInATransactionOfItsOwn) {
    using records::ServerDataset;
    ServerDataset lookups("QBorrar", nullptr, reader_, ServerDataset::Kind::Query, "");
    lookups.setReadsOnly(true);
    ServerDataset posting("QContafactura", nullptr, reader_, ServerDataset::Kind::Query, "");
    records::Provider pl("PBorrar", nullptr, lookups,
                         {records::ProviderOption::poAllowCommandText});
    records::Provider pp("PContafactura", nullptr, posting,
                         {records::ProviderOption::poAllowCommandText});
    records::Buffer look("CBorrar", nullptr, pl), post("CContafactura", nullptr, pp);

    auto openedIn = [](records::Buffer& b, const std::string& sql) {
        b.Close();
        b.CommandText = sql;
        b.Open();
        return b.Fields(0).asString();
    };
    const std::string first = openedIn(look, kTransaction);
    EXPECT_EQ(openedIn(look, kTransaction), first);
    EXPECT_NE(openedIn(post, kTransaction), first);

    // A selectable procedure that writes, through the dataset that did not opt in, posts.
    EXPECT_EQ(openedIn(post, "SELECT * FROM POSTS"), "1");
    // A statement executed through the opted-in dataset writes in its own transaction.
    look.Close();
    look.CommandText = "EXECUTE PROCEDURE ADDS(8)";
    look.Execute();
    EXPECT_EQ(number(writer_, "SELECT COUNT(*) FROM T"), 2);
    // And the same procedure opened there is refused, with the server's text.
    try {
        openedIn(look, "SELECT * FROM POSTS");
        ADD_FAILURE() << "a writing procedure ran in the reader";
    } catch (const fb::Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("SQL Server Error: ", 0), 0u) << e.what();
    }
    EXPECT_EQ(number(writer_, "SELECT COUNT(*) FROM T"), 2);
}

}  // namespace
