// The Firebird layer against the embedded engine: values of every column type, dialects,
// states, failures and the statement cache.
#include <gtest/gtest.h>

#include "fb/connection.h"
#include "tests/support/support.h"

namespace {

using fb::Connection;
using fb::ConnectionState;
using fb::Value;

// A fresh dialect-3 database with one table of every column type the program uses.
class FbLayer : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.file("types.fdb");
        fb::AttachOptions o;
        o.user = "SYSDBA";
        fb::Attachment a = fb::Attachment::create(path_, o, "ISO8859_1");
        fb::Transaction t(a, {});
        fb::Statement(a, t,
                      "CREATE TABLE T (I INTEGER, S SMALLINT, D2 NUMERIC(15,2), D4 DECIMAL(15,4), "
                      "D8 NUMERIC(15,8), F DOUBLE PRECISION, DT DATE, TM TIME, C CHAR(5), "
                      "V VARCHAR(20), TB BLOB SUB_TYPE TEXT, BB BLOB SUB_TYPE BINARY, "
                      "N INTEGER NOT NULL)",
                      3)
            .execute(t, {});
        t.commit();
        a.detach();
        conn_.options().database = path_;
        conn_.options().user = "SYSDBA";
        conn_.options().dialect = 3;
    }

    testsupport::TempDir dir_;
    std::string path_;
    Connection conn_{"Quorvan"};
};

TEST_F(FbLayer, EveryColumnTypeRoundTripsWithNull) {
    conn_.open();
    std::string bytes("\x00\x01\xff\x80zz", 6);
    std::string longText(100000, 'x');  // several blob segments
    longText[99999] = '\xe9';
    std::vector<Value> row = {
        Value::ofInt(-2147483647),
        Value::ofInt(-32768),
        Value::ofDecimal(-123456789012345, 2),
        Value::ofDecimal(12345678901, 4),
        Value::ofDecimal(123456789, 8),
        Value::ofDouble(0.1),
        Value::ofDate({2024, 1, 31}),
        Value::ofTime({23, 59, 58, 1234}),
        Value::ofText("ab"),
        Value::ofText("Compa\xf1\xed"
                      "a \x80"),
        Value::ofText(longText),
        Value::ofBlob(bytes),
        Value::ofInt(1),
    };
    const std::string insert =
        "INSERT INTO T (I, S, D2, D4, D8, F, DT, TM, C, V, TB, BB, N) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    conn_.run(insert, row);
    std::vector<Value> nulls(12);
    nulls.push_back(Value::ofInt(2));
    conn_.run(insert, nulls);
    conn_.close();

    // Read back through a second connection, opened afresh.
    Connection reader("reader");
    reader.options().database = path_;
    reader.options().user = "SYSDBA";
    reader.open();
    fb::Table t = reader.run("SELECT I, S, D2, D4, D8, F, DT, TM, C, V, TB, BB FROM T ORDER BY N");
    ASSERT_EQ(t.rows.size(), 2u);
    std::vector<Value> expected(row.begin(), row.end() - 1);
    expected[8] = Value::ofText("ab   ");  // CHAR keeps the padding the server sends
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(t.rows[0][i], expected[i])
            << t.columns[i].name << " reads " << t.rows[0][i].asText();
        EXPECT_TRUE(t.rows[1][i].isNull()) << t.columns[i].name;
    }
    EXPECT_EQ(t.columns[2].type, fb::FieldType::Decimal);
    EXPECT_EQ(t.columns[2].scale, 2);
    EXPECT_EQ(t.columns[8].type, fb::FieldType::Char);
    EXPECT_EQ(t.columns[10].type, fb::FieldType::TextBlob);
    EXPECT_EQ(t.columns[11].type, fb::FieldType::ByteBlob);
    EXPECT_EQ(t.rows[0][2].asText(), "-1234567890123.45");
    EXPECT_EQ(t.rows[0][6].asText(), "2024/01/31");
}

TEST_F(FbLayer, TextParametersConvertToTheColumnType) {
    conn_.open();
    conn_.run("INSERT INTO T (I, D2, DT, F, N) VALUES (?, ?, ?, ?, ?)",
              {Value::ofText(" 42"), Value::ofText("1500.505"), Value::ofText("2024/02/29"),
               Value::ofText("2.5"), Value::ofText("7")});
    fb::Table t = conn_.run("SELECT I, D2, DT, F FROM T WHERE N = ?", {Value::ofText("7")});
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.rows[0][0], Value::ofInt(42));
    EXPECT_EQ(t.rows[0][1], Value::ofDecimal(150050, 2));  // half to even
    EXPECT_EQ(t.rows[0][2].asText(), "2024/02/29");
    EXPECT_EQ(t.rows[0][3], Value::ofDouble(2.5));
}

TEST_F(FbLayer, ValuesThatDoNotFitAreErrorsNotWrongValues) {
    conn_.open();
    struct Case {
        const char* sql;
        Value v;
    } cases[] = {
        {"INSERT INTO T (N, S) VALUES (1, ?)", Value::ofInt(40000)},
        {"INSERT INTO T (N, I) VALUES (1, ?)", Value::ofText("12abc")},
        {"INSERT INTO T (N, C) VALUES (1, ?)", Value::ofText("toolong")},
        {"INSERT INTO T (N, DT) VALUES (1, ?)", Value::ofText("2024/02/30")},
        {"INSERT INTO T (N, D2) VALUES (1, ?)", Value::ofText("99999999999999999999")},
    };
    for (const Case& c : cases) EXPECT_THROW(conn_.run(c.sql, {c.v}), fb::Error) << c.sql;
    EXPECT_TRUE(conn_.run("SELECT COUNT(*) FROM T").rows[0][0] == Value::ofInt(0));
}

TEST_F(FbLayer, RefusedStatementCarriesTheServerText) {
    conn_.open();
    try {
        conn_.run("INSERT INTO T (I) VALUES (1)");  // N is NOT NULL
        FAIL() << "no error";
    } catch (const fb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("validation error for column"), std::string::npos)
            << e.what();
    }
    try {
        conn_.run("SELECT * FROM NO_SUCH_TABLE");
        FAIL() << "no error";
    } catch (const fb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("Table unknown"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("NO_SUCH_TABLE"), std::string::npos) << e.what();
    }
    // The connection stays usable after a refused statement.
    EXPECT_EQ(conn_.run("SELECT COUNT(*) FROM T").rows.size(), 1u);
}

TEST_F(FbLayer, OpeningAMissingDatabaseFailsWithTheEngineText) {
    conn_.options().database = dir_.file("missing.fdb");
    try {
        conn_.open();
        FAIL() << "no error";
    } catch (const fb::Error& e) {
        EXPECT_NE(std::string(e.what()).find("missing.fdb"), std::string::npos) << e.what();
    }
    EXPECT_EQ(conn_.state(), ConnectionState::Closed);
    EXPECT_FALSE(conn_.connected());
}

TEST_F(FbLayer, StatesFollowTheConnection) {
    EXPECT_EQ(static_cast<int>(conn_.state()), 0);
    std::vector<ConnectionState> seen;
    conn_.setHooks({.statement = [&](const std::string&, const std::vector<fb::Value>&) {
        seen.push_back(conn_.state());
    }});
    conn_.open();
    EXPECT_EQ(static_cast<int>(conn_.state()), 1);
    conn_.run("SELECT COUNT(*) FROM T");
    EXPECT_EQ(conn_.state(), ConnectionState::Open);
    conn_.open();  // reopening closes first
    EXPECT_EQ(conn_.state(), ConnectionState::Open);
    conn_.close();
    conn_.close();
    EXPECT_EQ(conn_.state(), ConnectionState::Closed);
    conn_.setHooks({});
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_THROW(conn_.run("SELECT COUNT(*) FROM T"), fb::Error);
}

TEST_F(FbLayer, SameTextIsPreparedOncePerConnection) {
    conn_.open();
    for (int i = 0; i < 50; ++i)
        conn_.run("INSERT INTO T (N, I) VALUES (?, ?)", {Value::ofInt(i), Value::ofInt(i * 2)});
    conn_.run("SELECT COUNT(*) FROM T");
    conn_.run("SELECT COUNT(*) FROM T");
    EXPECT_EQ(conn_.preparedCount(), 2u);
    EXPECT_EQ(conn_.executedCount(), 52u);
    EXPECT_EQ(conn_.run("SELECT SUM(I) FROM T").rows[0][0].asText(), "2450");
    conn_.open();  // a new attachment prepares again
    conn_.run("SELECT COUNT(*) FROM T");
    EXPECT_EQ(conn_.preparedCount(), 4u);
}

TEST_F(FbLayer, TheCacheKeepsTheTextsInUseAndDropsTheOldest) {
    conn_.open();
    const std::string hot = "SELECT COUNT(*) FROM T";
    for (int i = 0; i < 300; ++i) {
        conn_.run(hot);
        conn_.run("SELECT COUNT(*) FROM T WHERE N = " + std::to_string(i));  // a text per value
    }
    EXPECT_LE(conn_.cachedCount(), fb::Connection::kCacheSize);
    EXPECT_EQ(conn_.preparedCount(), 301u);  // the repeated text was never prepared again
}

TEST_F(FbLayer, OneTransactionSpansManyStatementsAndRollsBackUnlessCommitted) {
    conn_.open();
    {
        fb::Transaction t = conn_.begin();
        conn_.run(t, "INSERT INTO T (N) VALUES (1)", {});
        conn_.run(t, "INSERT INTO T (N) VALUES (2)", {});
        EXPECT_EQ(conn_.run(t, "SELECT COUNT(*) FROM T", {}).rows[0][0], Value::ofInt(2));
    }  // destroyed without commit
    EXPECT_EQ(conn_.run("SELECT COUNT(*) FROM T").rows[0][0], Value::ofInt(0));
    fb::Transaction t = conn_.begin();
    conn_.run(t, "INSERT INTO T (N) VALUES (3)", {});
    t.commit();
    EXPECT_FALSE(t.active());
    EXPECT_EQ(conn_.run("SELECT COUNT(*) FROM T").rows[0][0], Value::ofInt(1));
}

TEST_F(FbLayer, ProceduresExecutableAndSelectable) {
    conn_.open();
    conn_.run("CREATE GENERATOR G");
    conn_.run("CREATE PROCEDURE NEXT_ID RETURNS (ID INTEGER) AS BEGIN ID = GEN_ID(G, 1); END");
    conn_.run(
        "CREATE PROCEDURE SQUARES (N INTEGER) RETURNS (K INTEGER, SQ NUMERIC(15,8)) AS "
        "BEGIN K = 1; WHILE (K <= N) DO BEGIN SQ = K * K / 3.0; SUSPEND; K = K + 1; END END");
    fb::Table a = conn_.run("EXECUTE PROCEDURE NEXT_ID");
    fb::Table b = conn_.run("EXECUTE PROCEDURE NEXT_ID");
    ASSERT_EQ(a.rows.size(), 1u);
    EXPECT_EQ(a.columnIndex("id"), 0);
    EXPECT_EQ(b.rows[0][0].integer, a.rows[0][0].integer + 1);
    fb::Table s = conn_.run("SELECT * FROM SQUARES(?)", {Value::ofInt(3)});
    ASSERT_EQ(s.rows.size(), 3u);
    EXPECT_EQ(s.columns[1].scale, 8);
    EXPECT_EQ(s.rows[2][0], Value::ofInt(3));
}

TEST(FbDialect1, DoubleStoredNumericsAndTimestampDates) {
    testsupport::TempDir dir;
    std::string path = dir.file("general.fdb");
    fb::AttachOptions o;
    o.user = "SYSDBA";
    o.dialect = 1;
    {
        fb::Attachment a = fb::Attachment::create(path, o);
        fb::Transaction t(a, {});
        fb::Statement(a, t, "CREATE TABLE X (CODE VARCHAR(5), AMOUNT NUMERIC(15,2), DT DATE)", 1)
            .execute(t, {});
        t.commit();
    }
    Connection c("General");
    c.options().database = path;
    c.options().user = "SYSDBA";
    c.options().dialect = 1;
    c.open();
    c.run("INSERT INTO X VALUES ('12', 1234.56, '2024-01-31')");
    fb::Table t = c.run("SELECT * FROM X");
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.columns[1].type, fb::FieldType::Double);
    EXPECT_DOUBLE_EQ(t.rows[0][1].real, 1234.56);
    EXPECT_EQ(t.columns[2].type, fb::FieldType::Timestamp);
    EXPECT_EQ(t.rows[0][2].asText(), "2024/01/31");
}

}  // namespace
