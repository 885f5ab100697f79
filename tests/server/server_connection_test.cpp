// The Firebird layer through a real server on 127.0.0.1 (started by the test command, which
// exports FB_TEST_SERVER, FB_TEST_USER and FB_TEST_PASSWORD).
#include <gtest/gtest.h>

#include <cstdlib>

#include "fb/connection.h"
#include "tests/support/support.h"

namespace {

struct Server {
    std::string prefix, user, password;
};

std::optional<Server> server() {
    const char* p = std::getenv("FB_TEST_SERVER");
    if (!p || !*p) return std::nullopt;
    const char* u = std::getenv("FB_TEST_USER");
    const char* w = std::getenv("FB_TEST_PASSWORD");
    return Server{p, u ? u : "SYSDBA", w ? w : ""};
}

class ServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto s = server();
        if (!s) GTEST_SKIP() << "FB_TEST_SERVER is not set; the test command starts a server";
        srv_ = *s;
        path_ = srv_.prefix + ":" + dir_.file("server.fdb");
        fb::AttachOptions o;
        o.user = srv_.user;
        o.password = srv_.password;
        fb::Attachment a = fb::Attachment::create(path_, o, "ISO8859_1");
        fb::Transaction t(a, {});
        fb::Statement(a, t, "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20))", 3)
            .execute(t, {});
        t.commit();
    }

    void connect(fb::Connection& c, const std::string& password) {
        c.options().database = path_;
        c.options().user = srv_.user;
        c.options().password = password;
        c.options().dialect = 3;
        c.options().role = "RoleName";
        c.open();
    }

    testsupport::TempDir dir_;
    Server srv_;
    std::string path_;
};

TEST_F(ServerTest, StatementsRunThroughTheServer) {
    fb::Connection c("Quorvan");
    connect(c, srv_.password);
    EXPECT_EQ(c.state(), fb::ConnectionState::Open);
    c.run("INSERT INTO T VALUES (?, ?)", {fb::Value::ofInt(1), fb::Value::ofText("Compa\xf1\xed"
                                                                                 "a")});
    fb::Table t = c.run("SELECT NAME FROM T WHERE ID = ?", {fb::Value::ofText("1")});
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.rows[0][0].asText(),
              "Compa\xf1\xed"
              "a");
    try {
        c.run("INSERT INTO T VALUES (1, 'x')");
        FAIL() << "duplicate accepted";
    } catch (const fb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("violation of PRIMARY or UNIQUE KEY constraint"),
                  std::string::npos)
            << e.what();
    }
}

// Rows go in blocks where each statement is a round trip, and one by one in process; the
// setting decides when given. A reconnection asks again.
TEST_F(ServerTest, RowsGoInBlocksOnlyOverTheNetwork) {
    fb::Connection remote("Quorvan");
    connect(remote, srv_.password);
    EXPECT_TRUE(remote.insertsInBlocks());
    remote.options().insertBlocks = false;
    EXPECT_FALSE(remote.insertsInBlocks());

    fb::Connection local("Quorvan");
    local.options().database = dir_.file("local.fdb");
    local.options().user = "SYSDBA";
    fb::AttachOptions o;
    o.user = "SYSDBA";
    fb::Attachment::create(dir_.file("local.fdb"), o, "ISO8859_1").detach();
    local.open();
    EXPECT_FALSE(local.insertsInBlocks());
    local.options().insertBlocks = true;
    EXPECT_TRUE(local.insertsInBlocks());

    // The same connection object moved to the server.
    local.options().insertBlocks = std::nullopt;
    local.options().database = path_;
    local.options().user = srv_.user;
    local.options().password = srv_.password;
    local.open();
    EXPECT_TRUE(local.insertsInBlocks());
}

TEST_F(ServerTest, WrongPasswordFailsWithTheServerText) {
    fb::Connection c("Quorvan");
    try {
        connect(c, srv_.password + "x");
        FAIL() << "connected with a wrong password";
    } catch (const fb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("Your user name and password are not defined"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(c.state(), fb::ConnectionState::Closed);
}

TEST_F(ServerTest, UnreachablePortFailsWithoutHanging) {
    fb::Connection c("ConReplica");
    c.options().database = "127.0.0.1/1:" + dir_.file("server.fdb");
    c.options().user = srv_.user;
    c.options().password = srv_.password;
    EXPECT_THROW(c.open(), fb::Error);
    EXPECT_FALSE(c.connected());
}

}  // namespace
