// The type of each database failure, provoked for real on the embedded engine: the server's
// text as it was, the type its status vector calls for, kept through the records layer's
// prefix, and the message the data module's translation shows for it.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/fdm.h"
#include "data/texts.h"
#include "fb/connection.h"
#include "records/buffer.h"
#include "records/server_dataset.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace {

using app::PortCall;
using app::PortCallKind;
using fb::ErrorKind;

std::vector<PortCall> boxed(const std::string& text) {
    return {{PortCallKind::Beep, {}}, {PortCallKind::Error, text}};
}

const char* kindName(ErrorKind k) {
    switch (k) {
        case ErrorKind::Other:
            return "Other";
        case ErrorKind::UniqueKey:
            return "UniqueKey";
        case ErrorKind::ForeignKey:
            return "ForeignKey";
        case ErrorKind::LockConflict:
            return "LockConflict";
        case ErrorKind::UnknownObject:
            return "UnknownObject";
        case ErrorKind::LostConnection:
            return "LostConnection";
        case ErrorKind::InDoubt:
            return "InDoubt";
    }
    return "?";
}

// Whether `e` is of the class of `kind` (and of no other of the hierarchy).
bool isOfType(const fb::Error& e, ErrorKind kind) {
    const bool unique = dynamic_cast<const fb::UniqueKeyViolation*>(&e) != nullptr;
    const bool foreign = dynamic_cast<const fb::ForeignKeyViolation*>(&e) != nullptr;
    const bool lock = dynamic_cast<const fb::LockConflict*>(&e) != nullptr;
    const bool unknown = dynamic_cast<const fb::UnknownObject*>(&e) != nullptr;
    const bool lost = dynamic_cast<const fb::LostConnection*>(&e) != nullptr;
    const bool inDoubt = dynamic_cast<const fb::InDoubt*>(&e) != nullptr;
    const int typed = unique + foreign + lock + unknown + lost + inDoubt;
    switch (kind) {
        case ErrorKind::Other:
            return typed == 0;
        case ErrorKind::UniqueKey:
            return unique && typed == 1;
        case ErrorKind::ForeignKey:
            return foreign && typed == 1;
        case ErrorKind::LockConflict:
            return lock && typed == 1;
        case ErrorKind::UnknownObject:
            return unknown && typed == 1;
        case ErrorKind::LostConnection:
            return lost && typed == 1;
        case ErrorKind::InDoubt:
            return inDoubt && typed == 1;
    }
    return false;
}

// The failure `action` throws, caught by the base type (thrown stays false when none).
struct Caught {
    bool thrown = false;
    ErrorKind kind = ErrorKind::Other;
    bool ofType = false;
    std::string text;
    bool lockConflict = false, lostConnection = false;
};

Caught caught(const std::function<void()>& action, ErrorKind expected) {
    Caught c;
    try {
        action();
    } catch (const fb::Error& e) {
        c.thrown = true;
        c.kind = e.kind();
        c.ofType = isOfType(e, expected);
        c.text = e.what();
        c.lockConflict = e.lockConflict();
        c.lostConnection = e.lostConnection();
    }
    return c;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// A dialect-3 database with a parent and a child table: keys, a foreign key, and a unique
// index that belongs to no constraint. PARENT 1 and CHILD 1 ('A') are there.
class ErrorTypes : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.file("errors.fdb");
        fb::AttachOptions o;
        o.user = "SYSDBA";
        fb::Attachment a = fb::Attachment::create(path_, o, "ISO8859_1");
        {
            fb::Transaction t(a, {});
            for (const char* ddl :
                 {"CREATE TABLE PARENT (ID INTEGER NOT NULL, N INTEGER, "
                  "CONSTRAINT PK_PARENT PRIMARY KEY (ID))",
                  "CREATE TABLE CHILD (ID INTEGER NOT NULL, PARENT_ID INTEGER, CODE VARCHAR(10), "
                  "CONSTRAINT PK_CHILD PRIMARY KEY (ID), "
                  "CONSTRAINT FK_CHILD_PARENT FOREIGN KEY (PARENT_ID) REFERENCES PARENT (ID))",
                  "CREATE UNIQUE INDEX UX_CHILD_CODE ON CHILD (CODE)"})
                fb::Statement(a, t, ddl, 3).execute(t, {});
            t.commit();
        }
        a.detach();
        open(conn_);
        conn_.run("INSERT INTO PARENT (ID, N) VALUES (1, 0)");
        conn_.run("INSERT INTO CHILD (ID, PARENT_ID, CODE) VALUES (1, 1, 'A')");
    }

    void open(fb::Connection& c) {
        c.options().database = path_;
        c.options().user = "SYSDBA";
        c.options().dialect = 3;
        c.open();
    }

    testsupport::TempDir dir_;
    std::string path_;
    fb::Connection conn_{"Quorvan"};
};

// A statement the server refuses, with the kind it must be thrown as and the first line of
// the server's own text.
struct Refused {
    const char* what;
    const char* sql;
    ErrorKind kind;
    std::string firstLine;
    const char* alsoSays;  // a later line of the text
};

const std::vector<Refused>& refusedStatements() {
    static const std::vector<Refused> cases = {
        {"duplicate primary key", "INSERT INTO PARENT (ID, N) VALUES (1, 5)", ErrorKind::UniqueKey,
         "violation of PRIMARY or UNIQUE KEY constraint \"PK_PARENT\" on table \"PARENT\"",
         "Problematic key value is (\"ID\" = 1)"},
        {"unique index of no constraint",
         "INSERT INTO CHILD (ID, PARENT_ID, CODE) VALUES (2, 1, 'A')", ErrorKind::UniqueKey,
         "attempt to store duplicate value (visible to active transactions) in unique index "
         "\"UX_CHILD_CODE\"",
         "Problematic key value is (\"CODE\" = 'A')"},
        {"missing parent", "INSERT INTO CHILD (ID, PARENT_ID, CODE) VALUES (3, 99, 'B')",
         ErrorKind::ForeignKey,
         "violation of FOREIGN KEY constraint \"FK_CHILD_PARENT\" on table \"CHILD\"",
         "Foreign key reference target does not exist"},
        {"parent still referred to", "DELETE FROM PARENT WHERE ID = 1", ErrorKind::ForeignKey,
         "violation of FOREIGN KEY constraint \"FK_CHILD_PARENT\" on table \"CHILD\"",
         "Foreign key references are present for the record"},
        {"unknown table", "SELECT * FROM NO_SUCH_TABLE", ErrorKind::UnknownObject,
         "Dynamic SQL Error", "Table unknown\n-NO_SUCH_TABLE"},
        {"unknown procedure", "EXECUTE PROCEDURE NO_SUCH_PROCEDURE", ErrorKind::UnknownObject,
         "Dynamic SQL Error", "Procedure unknown\n-NO_SUCH_PROCEDURE"},
        {"unknown column", "SELECT NO_SUCH_COLUMN FROM PARENT", ErrorKind::UnknownObject,
         "Dynamic SQL Error", "Column unknown\n-NO_SUCH_COLUMN"},
        {"unknown function", "SELECT NO_SUCH_FUNCTION(1) FROM RDB$DATABASE",
         ErrorKind::UnknownObject, "Dynamic SQL Error", "Function unknown\n-NO_SUCH_FUNCTION"},
        {"dropping an unknown table", "DROP TABLE NO_SUCH_TABLE", ErrorKind::UnknownObject,
         "unsuccessful metadata update", "NO_SUCH_TABLE"},
        {"none of them", "SELECT 1 / 0 FROM RDB$DATABASE", ErrorKind::Other,
         "arithmetic exception, numeric overflow, or string truncation", "Integer divide by zero"},
    };
    return cases;
}

TEST_F(ErrorTypes, EachRefusedStatementIsThrownAsItsTypeWithTheServersText) {
    for (const Refused& r : refusedStatements()) {
        SCOPED_TRACE(r.what);
        const Caught c = caught([&] { conn_.run(r.sql); }, r.kind);
        ASSERT_TRUE(c.thrown);
        EXPECT_TRUE(c.ofType) << kindName(c.kind);
        EXPECT_EQ(c.kind, r.kind) << kindName(c.kind);
        EXPECT_EQ(firstLine(c.text), r.firstLine) << c.text;
        EXPECT_NE(c.text.find(r.alsoSays), std::string::npos) << c.text;
        EXPECT_FALSE(c.lockConflict);
        EXPECT_FALSE(c.lostConnection);
    }
    // Nothing of the refused statements was stored.
    EXPECT_EQ(conn_.run("SELECT COUNT(*) FROM PARENT").rows[0][0].asText(), "1");
    EXPECT_EQ(conn_.run("SELECT COUNT(*) FROM CHILD").rows[0][0].asText(), "1");
}

// The records layer puts "SQL Server Error: " before the text and keeps the type, as does a
// second prefix (the invoice's lock explanation).
TEST_F(ErrorTypes, ThePrefixesOfTheLayersAboveKeepTheType) {
    records::ServerDataset dataset("QPARENT", nullptr, conn_, records::ServerDataset::Kind::Query,
                                   "SELECT * FROM PARENT");
    for (const Refused& r : refusedStatements()) {
        SCOPED_TRACE(r.what);
        const Caught direct = caught([&] { conn_.run(r.sql); }, r.kind);
        const Caught prefixed = caught([&] { dataset.execute(r.sql, {}); }, r.kind);
        ASSERT_TRUE(prefixed.thrown);
        EXPECT_TRUE(prefixed.ofType) << kindName(prefixed.kind);
        EXPECT_EQ(prefixed.text, "SQL Server Error: " + direct.text);

        const Caught twice = caught(
            [&] {
                try {
                    dataset.execute(r.sql, {});
                } catch (const fb::Error& e) {
                    e.rethrowWithPrefix("Factura AB01:\n");
                }
            },
            r.kind);
        EXPECT_TRUE(twice.ofType) << kindName(twice.kind);
        EXPECT_EQ(twice.text, "Factura AB01:\nSQL Server Error: " + direct.text);
    }
}

// Another attachment holds PARENT 1: changing it again is a lock conflict however it shows
// (no wait, a wait that timed out, a snapshot that saw an older version).
TEST_F(ErrorTypes, ARowAnotherTransactionHoldsIsALockConflict) {
    struct Case {
        const char* what;
        fb::ConnectionOptions options;  // what the waiting side's transactions start with
        bool holderCommitsFirst;
        int waitsAtLeastMs;
    } cases[] = {
        {"no wait", {.waitOnLocks = false}, false, 0},
        // The engine counts the time-out in whole seconds from its own clock: 2 waits more
        // than one second.
        {"wait that timed out", {.lockTimeout = 2}, false, 900},
        {"update conflict in a snapshot", {.readCommitted = false}, true, 0},
    };
    // The engine words all three the same way.
    const std::string server =
        "deadlock\n-update conflicts with concurrent update\n-concurrent transaction number is ";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fb::Connection other("Otro", c.options);
        open(other);
        fb::Transaction mine = other.begin();
        other.run(mine, "SELECT COUNT(*) FROM CHILD", {});  // the snapshot starts here at latest
        fb::Transaction held = conn_.begin();
        conn_.run(held, "UPDATE PARENT SET N = N + 1 WHERE ID = 1", {});
        if (c.holderCommitsFirst) held.commit();

        const auto start = std::chrono::steady_clock::now();
        const Caught e =
            caught([&] { other.run(mine, "UPDATE PARENT SET N = 100 WHERE ID = 1", {}); },
                   ErrorKind::LockConflict);
        const auto waited = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(e.thrown);
        EXPECT_TRUE(e.ofType) << kindName(e.kind);
        EXPECT_EQ(e.text.rfind(server, 0), 0u) << e.text;
        EXPECT_GE(waited, std::chrono::milliseconds(c.waitsAtLeastMs));
        EXPECT_TRUE(e.lockConflict);
        EXPECT_FALSE(e.lostConnection);
        mine.rollback();
        if (held.active()) held.rollback();
    }
    EXPECT_EQ(conn_.run("SELECT N FROM PARENT WHERE ID = 1").rows[0][0].asText(), "1");
}

// An attachment that the database ends (here another attachment removes it, as an
// administrator would) can send nothing more.
TEST_F(ErrorTypes, AnAttachmentTheDatabaseEndedIsALostConnection) {
    fb::Connection other("Otro");
    open(other);
    const std::string id =
        other.run("SELECT CURRENT_CONNECTION FROM RDB$DATABASE").rows[0][0].asText();
    conn_.run("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + id);

    const Caught e =
        caught([&] { other.run("SELECT COUNT(*) FROM PARENT"); }, ErrorKind::LostConnection);
    ASSERT_TRUE(e.thrown);
    EXPECT_TRUE(e.ofType) << kindName(e.kind);
    EXPECT_EQ(firstLine(e.text), "connection shutdown") << e.text;
    EXPECT_TRUE(e.lostConnection);
    EXPECT_FALSE(e.lockConflict);
}

// What the translation shows for each refused statement, whichever way the failure reaches
// the provider's hook: the buffer's own apply, or the typed failure itself, whose text has
// no prefix that a rule on the text could read.
TEST_F(ErrorTypes, TheTranslationTellsARefusalByItsType) {
    app::RecordingPort port;
    data::Tfdm fdm(port);
    core::Component window("window", nullptr);
    records::ServerDataset dataset("THIJO", &window, conn_, records::ServerDataset::Kind::Table,
                                   "CHILD");
    records::Provider provider("PHijo", &window, dataset);
    records::Buffer buffer("CHijo", &window, provider);
    fdm.ConfigurarProviders(window);
    buffer.Open();

    const std::string related = data::texts::kRelacionInicio + "HIJO" + data::texts::kRelacionFin;
    const std::string exists = "Ya existe el registro en la tabla HIJO";
    struct Case {
        const char* what;
        int id, parent;
        const char* code;
        std::string shown;  // "" : the failure's own text
    } cases[] = {
        {"duplicate primary key", 1, 1, "Z", exists},
        {"missing parent", 2, 99, "Y", related},
        {"unique index of no constraint", 3, 1, "A", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string insert = "INSERT INTO CHILD (ID, PARENT_ID, CODE) VALUES (" +
                                   std::to_string(c.id) + ", " + std::to_string(c.parent) + ", '" +
                                   c.code + "')";
        // The failure itself, as the server worded it.
        std::string serverText;
        try {
            conn_.run(insert);
            ADD_FAILURE() << "accepted";
        } catch (const fb::Error& e) {
            serverText = e.what();
            const std::string expected = c.shown.empty() ? serverText : c.shown;
            port.clear();
            records::ResolverResponse response = records::ResolverResponse::rrApply;
            fdm.ManejarError(&provider, &buffer, e, records::UpdateKind::ukInsert, response);
            EXPECT_EQ(response, records::ResolverResponse::rrAbort);
            EXPECT_EQ(port.calls(), boxed(expected));
        }

        // Through the buffer, as the window's buffers save.
        port.clear();
        buffer.Insert();
        buffer.FieldByName("ID").setInteger(c.id);
        buffer.FieldByName("PARENT_ID").setInteger(c.parent);
        buffer.FieldByName("CODE").setString(c.code);
        buffer.Post();
        EXPECT_EQ(buffer.ApplyUpdates(0), 1);
        EXPECT_EQ(port.calls(),
                  boxed(c.shown.empty() ? "SQL Server Error: " + serverText : c.shown));
        buffer.CancelUpdates();
    }
    EXPECT_EQ(conn_.run("SELECT COUNT(*) FROM CHILD").rows[0][0].asText(), "1");
}

// Failures of other kinds are shown as they came, however they reach the hook.
TEST_F(ErrorTypes, TheTranslationShowsOtherFailuresAsTheyCame) {
    app::RecordingPort port;
    data::Tfdm fdm(port);
    core::Component window("window", nullptr);
    records::ServerDataset dataset("QPARENT", &window, conn_, records::ServerDataset::Kind::Query,
                                   "SELECT * FROM PARENT");
    records::Provider provider("PPadre", &window, dataset);
    records::Buffer buffer("CPadre", &window, provider);
    fdm.ConfigurarProviders(window);
    for (const Refused& r : refusedStatements()) {
        if (r.kind == ErrorKind::UniqueKey || r.kind == ErrorKind::ForeignKey) continue;
        SCOPED_TRACE(r.what);
        port.clear();
        try {
            dataset.execute(r.sql, {});
            ADD_FAILURE() << "accepted";
        } catch (const fb::Error& e) {
            records::ResolverResponse response = records::ResolverResponse::rrApply;
            provider.OnUpdateError(provider, buffer, e, records::UpdateKind::ukInsert, response);
            fdm.ManejarError(&provider, &buffer, e, records::UpdateKind::ukInsert, response);
            std::vector<PortCall> twice = boxed(e.what());
            for (const PortCall& call : boxed(e.what())) twice.push_back(call);
            EXPECT_EQ(port.calls(), twice);
        }
    }
}

}  // namespace
