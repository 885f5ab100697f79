// Saving invoices through the header buffer: what is sent, what lands in the database, what
// the buffer holds afterwards, and how refused rows are reported and undone.
#include <gtest/gtest.h>

#include <algorithm>

#include <set>
#include <string>
#include <vector>

#include "records/layouts.h"
#include "tests/db/invoice_fixture.h"

namespace {

using invoicetest::InvoiceBuffers;
using records::Buffer;
using records::Provider;
using records::ResolverResponse;
using records::UpdateKind;

class BufferApply : public InvoiceBuffers {};

const std::string kUnknownArticle = "NO-EXISTE";

// What the update-error hook was shown, one entry per call.
struct HookCall {
    std::string provider, dataset, buffer, message;
    UpdateKind kind;
    std::string key;  // FACT_ID of a refused header, FADE_ITEM/ARTI_COD of a refused line
};

Provider::UpdateErrorHook recordingHook(std::vector<HookCall>& calls, ResolverResponse answer) {
    return [&calls, answer](Provider& p, Buffer& b, const std::exception& e, UpdateKind k,
                            ResolverResponse& r) {
        std::string key =
            b.FindFieldIndex("FADE_ITEM") >= 0
                ? b.FieldByName("FADE_ITEM").asString() + "/" + b.FieldByName("ARTI_COD").asString()
                : b.FieldByName("FACT_ID").asString();
        calls.push_back({p.name(), p.dataset().name(), b.name(), e.what(), k, key});
        r = answer;
    };
}

TEST_F(BufferApply, NothingPendingReturnsZeroAndSendsNothing) {
    connect();
    EXPECT_EQ(w.CFacturas.ApplyUpdates(0), 0);
    EXPECT_TRUE(sent.empty());

    // Saved rows are no longer pending: a second apply sends nothing either.
    ASSERT_EQ(saveInvoice({"01-01", "01-03"}).second, 0);
    sent.clear();
    EXPECT_EQ(w.CFacturas.ApplyUpdates(0), 0);
    EXPECT_EQ(w.CFactdetalle.ApplyUpdates(0), 0);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(count("FACTURAS_DETALLE"), "2");
}

TEST_F(BufferApply, RefusedThirdLineLeavesNothingOfTheInvoice) {
    connect();
    // Lines 3 to 5 would all be refused: the first refusal ends the sending.
    auto [id, refused] =
        saveInvoice({"01-01", "01-03", kUnknownArticle, kUnknownArticle, kUnknownArticle});
    EXPECT_EQ(refused, 1);
    // The block the database refused, then its rows one by one up to the refused one.
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                            [](const std::string& s) { return s.rfind("EXECUTE BLOCK", 0) == 0; }),
              1);
    EXPECT_EQ(singleInserts("FACTURAS"), 1);
    EXPECT_EQ(singleInserts("FACTURAS_DETALLE"), 3);
    const std::string key = std::to_string(id);
    EXPECT_TRUE(rows("SELECT FACT_ID FROM FACTURAS WHERE FACT_ID = " + key + ";").empty());
    EXPECT_TRUE(
        rows("SELECT FADE_ITEM FROM FACTURAS_DETALLE WHERE FACT_ID = " + key + ";").empty());
}

TEST_F(BufferApply, UpdateErrorHookSeesTheRefusedLine) {
    connect();
    std::vector<HookCall> calls;
    w.PFacturas.OnUpdateError = recordingHook(calls, ResolverResponse::rrAbort);
    auto [id, refused] = saveInvoice({"01-01", "01-03", kUnknownArticle, "01-04"});
    EXPECT_EQ(refused, 1);
    ASSERT_EQ(calls.size(), 1u);
    const HookCall& c = calls[0];
    EXPECT_EQ(c.provider, "PFacturas");
    EXPECT_EQ(c.dataset, "TFactura");
    EXPECT_EQ(c.buffer, "CFactdetalle");
    EXPECT_EQ(c.kind, UpdateKind::ukInsert);
    EXPECT_EQ(c.key, "3/" + kUnknownArticle);
    // The translation reads the 20 characters after the 18-character prefix.
    EXPECT_EQ(c.message.rfind("SQL Server Error: ", 0), 0u) << c.message;
    EXPECT_EQ(c.message.substr(18, 20), "violation of FOREIGN") << c.message;
    EXPECT_EQ(singleInserts("FACTURAS_DETALLE"), 3);  // line 4 was not sent
    EXPECT_EQ(count("FACTURAS WHERE FACT_ID = " + std::to_string(id)), "0");
}

TEST_F(BufferApply, UpdateErrorHookSeesTheRefusedHeader) {
    connect();
    auto [first, ok] = saveInvoice({"01-01"});
    ASSERT_EQ(ok, 0);
    std::vector<HookCall> calls;
    w.PFacturas.OnUpdateError = recordingHook(calls, ResolverResponse::rrAbort);
    sent.clear();
    addHeader(first);  // the same FACT_ID again
    addLine("01-03");
    EXPECT_EQ(w.CFacturas.ApplyUpdates(0), 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].buffer, "CFacturas");
    EXPECT_EQ(calls[0].key, std::to_string(first));
    EXPECT_EQ(calls[0].message.substr(18, 20), "violation of PRIMARY") << calls[0].message;
    EXPECT_EQ(singleInserts(), 1);  // its line was not sent
    EXPECT_EQ(count("FACTURAS_DETALLE WHERE ARTI_COD = '01-03'"), "0");
}

TEST_F(BufferApply, NeverMoreThanOneRefusedWithMaxErrorsZero) {
    connect();
    std::vector<HookCall> calls;
    // Even a hook that asks to go on cannot make MaxErrors 0 send past the first refusal.
    w.PFacturas.OnUpdateError = recordingHook(calls, ResolverResponse::rrSkip);
    auto [id, refused] = saveInvoice({kUnknownArticle, kUnknownArticle, kUnknownArticle});
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(singleInserts(), 2);
    EXPECT_EQ(count("FACTURAS WHERE FACT_ID = " + std::to_string(id)), "0");
}

TEST_F(BufferApply, HookIsCalledOncePerRefusedRowWhenErrorsAreTolerated) {
    connect();
    std::vector<HookCall> calls;
    w.PFacturas.OnUpdateError = recordingHook(calls, ResolverResponse::rrSkip);
    int id = addHeader();
    addLine("01-01");
    addLine(kUnknownArticle);
    addLine("01-03");
    addLine(kUnknownArticle);
    EXPECT_EQ(w.CFacturas.ApplyUpdates(-1), 2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].key, "2/" + kUnknownArticle);
    EXPECT_EQ(calls[1].key, "4/" + kUnknownArticle);
    // Within MaxErrors the accepted rows are committed.
    auto lines =
        rows("SELECT FADE_ITEM FROM FACTURAS_DETALLE WHERE FACT_ID = " + std::to_string(id) +
             " ORDER BY FADE_ITEM;");
    EXPECT_EQ(lines, (std::vector<testsupport::Row>{{"1"}, {"3"}}));
    // The buffer's current row did not move during the hook calls.
    EXPECT_EQ(w.CFacturas.FieldByName("FACT_ID").asInteger(), id);
}

TEST_F(BufferApply, ProviderWithoutHookStopsAtTheRefusedRow) {
    connect();
    ASSERT_FALSE(w.PFacturas.OnUpdateError);
    int id = addHeader();
    addLine("01-01");
    addLine(kUnknownArticle);
    addLine("01-03");
    // As on rrAbort: nothing after the refused row is sent, even when errors are tolerated.
    EXPECT_EQ(w.CFacturas.ApplyUpdates(-1), 1);
    EXPECT_EQ(singleInserts(), 3);
    EXPECT_EQ(count("FACTURAS WHERE FACT_ID = " + std::to_string(id)), "1");
    EXPECT_EQ(count("FACTURAS_DETALLE WHERE FACT_ID = " + std::to_string(id)), "1");
    // The rows not sent are still pending: discarding them leaves the saved ones.
    EXPECT_GT(w.CFacturas.ChangeCount(), 0);
    w.CFacturas.CancelUpdates();
    w.CFacturas.First();
    EXPECT_EQ(w.CFacturas.FieldByName("FACT_ID").asInteger(), id);
    EXPECT_EQ(w.CFactdetalle.RecordCount(), 1);
}

TEST_F(BufferApply, AfterRefusalCancelAndRefreshEmptyTheBufferAndTheNextInvoiceSaves) {
    connect();
    auto [saved, ok] = saveInvoice({"01-01", "01-03"});
    ASSERT_EQ(ok, 0);
    auto [lost, refused] = saveInvoice({"01-01", "01-03", kUnknownArticle});
    ASSERT_EQ(refused, 1);
    w.CFacturas.CancelUpdates();
    w.CFacturas.Refresh();
    EXPECT_TRUE(w.CFacturas.IsEmpty());
    EXPECT_EQ(w.CFacturas.RecordCount(), 0);
    EXPECT_TRUE(w.CFactdetalle.IsEmpty());
    EXPECT_EQ(w.CFacturas.ChangeCount(), 0);

    sent.clear();
    auto [next, result] = saveInvoice({"01-04", "01-07"});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(inserts("FACTURAS"), 1);
    EXPECT_EQ(inserts("FACTURAS_DETALLE"), 2);
    auto headers = rows("SELECT FACT_ID FROM FACTURAS ORDER BY FACT_ID;");
    EXPECT_EQ(headers,
              (std::vector<testsupport::Row>{{std::to_string(saved)}, {std::to_string(next)}}));
    EXPECT_EQ(count("FACTURAS_DETALLE WHERE FACT_ID = " + std::to_string(lost)), "0");
    auto lines = rows("SELECT FADE_ITEM, ARTI_COD FROM FACTURAS_DETALLE WHERE FACT_ID = " +
                      std::to_string(next) + " ORDER BY FADE_ITEM;");
    EXPECT_EQ(lines, (std::vector<testsupport::Row>{{"1", "01-04"}, {"2", "01-07"}}));
}

TEST_F(BufferApply, SavedInvoiceStaysCurrentWithItsLinesInOrder) {
    connect();
    ASSERT_EQ(saveInvoice({"01-07", "01-01"}).second, 0);
    auto [id, refused] = saveInvoice({"01-04", "01-01", "01-03"});
    ASSERT_EQ(refused, 0);
    records::Buffer& h = w.CFacturas;
    EXPECT_EQ(h.FieldByName("FACT_ID").asInteger(), id);
    EXPECT_EQ(h.FieldByName("FACT_NUMERO").asString(), std::to_string(id));
    EXPECT_EQ(h.FieldByName("PREF_PRE").asString(), "AB01");
    EXPECT_EQ(h.FieldByName("FACT_FECHA").asString(), "2024/01/31");
    EXPECT_EQ(h.FieldByName("FACT_TOTAL").asMoney(), core::Money::parse("1785"));
    EXPECT_EQ(h.RecordCount(), 2);

    std::vector<std::string> walked;
    for (w.CFactdetalle.First(); !w.CFactdetalle.Eof(); w.CFactdetalle.Next())
        walked.push_back(w.CFactdetalle.FieldByName("FADE_ITEM").asString() + " " +
                         w.CFactdetalle.FieldByName("ARTI_COD").asString() + " " +
                         w.CFactdetalle.FieldByName("FACT_ID").asString());
    const std::string f = std::to_string(id);
    EXPECT_EQ(walked, (std::vector<std::string>{"1 01-04 " + f, "2 01-01 " + f, "3 01-03 " + f}));
}

TEST_F(BufferApply, SecondInvoiceOfAFileSendsOnlyItsOwnRows) {
    connect();
    ASSERT_EQ(saveInvoice({"01-01", "01-03", "01-04"}).second, 0);
    sent.clear();
    int id = addHeader();
    addLine("01-07");
    addLine("01-01");
    // Applying from the nested buffer applies its header buffer.
    EXPECT_EQ(w.CFactdetalle.ApplyUpdates(0), 0);
    EXPECT_EQ(inserts("FACTURAS"), 1);
    EXPECT_EQ(inserts("FACTURAS_DETALLE"), 2);
    EXPECT_EQ(inserts(), 3);
    EXPECT_EQ(count("FACTURAS"), "2");
    EXPECT_EQ(count("FACTURAS_DETALLE WHERE FACT_ID = " + std::to_string(id)), "2");
    EXPECT_EQ(count("FACTURAS_DETALLE"), "5");
}

TEST_F(BufferApply, LineAddedToAnEarlierSavedInvoiceIsSent) {
    connect();
    auto [first, r1] = saveInvoice({"01-01"});
    auto [second, r2] = saveInvoice({"01-03"});
    ASSERT_EQ(r1 + r2, 0);
    w.CFacturas.First();
    ASSERT_EQ(w.CFacturas.FieldByName("FACT_ID").asInteger(), first);
    NroIte = 1;
    addLine("01-04");
    sent.clear();
    EXPECT_EQ(w.CFacturas.ApplyUpdates(0), 0);
    EXPECT_EQ(inserts("FACTURAS_DETALLE"), 1);
    EXPECT_EQ(inserts("FACTURAS"), 0);
    EXPECT_EQ(rows("SELECT FADE_ITEM, ARTI_COD FROM FACTURAS_DETALLE WHERE FACT_ID = " +
                   std::to_string(first) + " ORDER BY FADE_ITEM;"),
              (std::vector<testsupport::Row>{{"1", "01-01"}, {"2", "01-04"}}));
    EXPECT_EQ(count("FACTURAS_DETALLE WHERE FACT_ID = " + std::to_string(second)), "1");
}

TEST_F(BufferApply, LineTakesTheHeadersFactId) {
    connect();
    int id = addHeader();
    w.CFactdetalle.Insert();
    EXPECT_EQ(w.CFactdetalle.FieldByName("FACT_ID").asInteger(), id);
    w.CFactdetalle.FieldByName("BODE_COD").setString("01");
    w.CFactdetalle.FieldByName("ARTI_COD").setString("01-01");
    w.CFactdetalle.Post();
    addLine("01-03");
    ASSERT_EQ(w.CFacturas.ApplyUpdates(0), 0);
    auto lines = rows("SELECT FACT_ID, FADE_ITEM FROM FACTURAS_DETALLE ORDER BY FADE_ITEM;");
    const std::string f = std::to_string(id);
    EXPECT_EQ(lines, (std::vector<testsupport::Row>{{f, "1"}, {f, "2"}}));
}

TEST_F(BufferApply, InsertIsPreparedOncePerConnectionAndTable) {
    connect();
    ASSERT_EQ(saveInvoice({"01-01", "01-03", "01-04"}).second, 0);
    const uint64_t prepared = fdm.Quorvan.preparedCount();
    for (int i = 0; i < 4; ++i) ASSERT_EQ(saveInvoice({"01-01", "01-03", "01-04"}).second, 0);
    EXPECT_EQ(fdm.Quorvan.preparedCount(), prepared);
    // Header and lines in one block, the same text each time.
    std::set<std::string> blocks;
    for (const std::string& s : sent)
        if (s.find("INSERT INTO") != std::string::npos) blocks.insert(s);
    EXPECT_EQ(blocks.size(), 1u);
    EXPECT_EQ(inserts(), 5 * 4);
}

// Every column without a value of the program's is written as NULL, so that neither a column
// default nor a column outside the declared ones gets a value of its own.
class BufferNulls : public InvoiceBuffers {
  protected:
    // The columns of `table` that are "<null>" in the row that `where` selects.
    std::set<std::string> nullColumns(const std::string& db, const std::string& table,
                                      const std::string& where) {
        auto names = testsupport::queryRows(
            db, "SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = '" +
                    table + "' ORDER BY RDB$FIELD_POSITION;");
        std::string list;
        for (const auto& n : names) list += (list.empty() ? "" : ", ") + n[0];
        auto row = testsupport::queryRows(
            db, "SELECT " + list + " FROM " + table + " WHERE " + where + ";");
        EXPECT_EQ(row.size(), 1u);
        std::set<std::string> nulls;
        if (row.size() != 1) return nulls;
        for (size_t i = 0; i < names.size(); ++i)
            if (row[0][i] == "<null>") nulls.insert(names[i][0]);
        return nulls;
    }
};

TEST_F(BufferNulls, UnsetColumnsOfAnInvoiceAreNull) {
    // Defaults the program must not let apply, and a column the buffer does not declare.
    testsupport::execSql(company,
                         "ALTER TABLE FACTURAS ALTER FACT_USUARIO SET DEFAULT 'ADMIN';"
                         "ALTER TABLE FACTURAS ALTER BODE_COD SET DEFAULT '01';"
                         "ALTER TABLE FACTURAS ADD FACT_FUERA VARCHAR(10) DEFAULT 'X';"
                         "ALTER TABLE FACTURAS_DETALLE ALTER FADE_DTO3 SET DEFAULT 0;");
    connect();
    auto [id, refused] = saveInvoice({"01-01"});
    ASSERT_EQ(refused, 0);

    const std::set<std::string> setHeader = {
        "FACT_ID",         "PTVT_ID",       "VEND_COD",        "TERC_NIT",        "FACT_FECHA",
        "FACT_VENCE",      "FACT_IVAINC",   "FACT_IVAMONTO",   "FACT_RTFTEMONTO", "FACT_RTIVAMONTO",
        "FACT_RTICAMONTO", "PREF_PRE",      "FACT_NOMCLIENTE", "FACT_ANULADO",    "FACT_TRANSMIT",
        "FACT_TOTAL",      "FACT_SUCURSAL", "FACT_FACTOR",     "FACT_NUMERO",     "FACT_RTCREE",
        "FACT_RTCREEM",    "FACT_TRM"};
    std::set<std::string> expectedNull;
    for (const auto& f : records::facturasLayout())
        if (!f.nested && !setHeader.count(f.name)) expectedNull.insert(f.name);
    expectedNull.insert("FACT_FUERA");
    EXPECT_EQ(expectedNull.size(), 96u - setHeader.size() + 1);
    EXPECT_EQ(nullColumns(company, "FACTURAS", "FACT_ID = " + std::to_string(id)), expectedNull);

    EXPECT_EQ(
        nullColumns(company, "FACTURAS_DETALLE", "FACT_ID = " + std::to_string(id)),
        (std::set<std::string>{"FADE_LOTE", "FADE_OBS", "FADE_REMISIONADO", "FADE_DEVUELTO",
                               "FADE_REFERENCIA", "FADE_FACTORLISTA", "FADE_DTO3", "FADE_CAJAS"}));
}

TEST_F(BufferNulls, ReplicaLeavesTheUndeclaredColumnsOfTheBranchNull) {
    const std::string server = erp.root() + "/SERVIDOR";
    const std::string branch = erp.addBranch(server, "002");
    testsupport::execSql(branch,
                         "ALTER TABLE FACTURAS ALTER FACT_MONEDA SET DEFAULT 1;"
                         "ALTER TABLE FACTURAS ALTER FACT_ESTADO SET DEFAULT 0;");
    connect();
    ASSERT_EQ(saveInvoice({"01-01", "01-03"}).second, 0);

    fdm.ConReplica.options().database = branch;
    fdm.ConReplica.options().user = "SYSDBA";
    fdm.ConReplica.open();
    fdm.SIdfactreplica.ExecProc();
    const int64_t newId = fdm.SIdfactreplica.params().ParamByName("ID").value.integer;

    // The copy as the replication makes it: every declared column from the saved header.
    records::Buffer& r = w.CFactreplica;
    r.Close();
    r.FetchParams();
    r.Params.ParamByName("ID").setText("0");
    r.Open();
    r.Insert();
    for (const auto& f : r.fieldDefs())
        if (!f.nested) r.FieldByName(f.name).setValue(w.CFacturas.FieldByName(f.name).value());
    r.FieldByName("FACT_ID").setInteger(newId);
    r.Post();
    EXPECT_EQ(r.FieldByName("FACT_TRM").asString(), "1");
    for (w.CFactdetalle.First(); !w.CFactdetalle.Eof(); w.CFactdetalle.Next()) {
        w.CFactdetreplica.Insert();
        for (const auto& f : w.CFactdetreplica.fieldDefs())
            w.CFactdetreplica.FieldByName(f.name).setValue(
                w.CFactdetalle.FieldByName(f.name).value());
        w.CFactdetreplica.FieldByName("FACT_ID").setInteger(newId);
        w.CFactdetreplica.Post();
    }
    EXPECT_EQ(w.CFactdetreplica.FieldCount(), 32);
    ASSERT_EQ(r.ApplyUpdates(0), 0);

    const std::string where = "FACT_ID = " + std::to_string(newId);
    EXPECT_EQ(testsupport::queryValue(branch, "SELECT FACT_TRM FROM FACTURAS WHERE " + where + ";"),
              "1.00");
    std::set<std::string> nulls = nullColumns(branch, "FACTURAS", where);
    bool undeclared = false;
    for (const auto& f : records::facturasLayout()) {
        if (f.name == "FACT_IDFMAR") undeclared = true;
        if (undeclared) {
            EXPECT_TRUE(nulls.count(f.name)) << f.name;
        }
    }
    EXPECT_EQ(testsupport::queryRows(branch,
                                     "SELECT FADE_ITEM, ARTI_COD FROM FACTURAS_DETALLE "
                                     "WHERE " +
                                         where + " ORDER BY FADE_ITEM;"),
              (std::vector<testsupport::Row>{{"1", "01-01"}, {"2", "01-03"}}));
}

TEST_F(BufferNulls, ReplicaFollowsTheColumnsOfEachBranch) {
    // Two branches whose FACTURAS differ in a column the replica does not declare: the copy
    // into the second names the second's columns, not those of the first.
    const std::string server = erp.root() + "/SERVIDOR";
    const std::string first = erp.addBranch(server, "002");
    const std::string second = erp.addBranch(server, "003");
    testsupport::execSql(second, "ALTER TABLE FACTURAS DROP FACT_CUMPLEANOS;");
    connect();
    ASSERT_EQ(saveInvoice({"01-01"}).second, 0);

    for (const std::string& branch : {first, second}) {
        SCOPED_TRACE(branch);
        fdm.ConReplica.close();
        fdm.ConReplica.options().database = branch;
        fdm.ConReplica.options().user = "SYSDBA";
        fdm.ConReplica.open();
        fdm.SIdfactreplica.ExecProc();
        records::Buffer& r = w.CFactreplica;
        r.Close();
        r.Open();
        r.Insert();
        for (const auto& f : r.fieldDefs())
            if (!f.nested) r.FieldByName(f.name).setValue(w.CFacturas.FieldByName(f.name).value());
        r.FieldByName("FACT_ID").setValue(fdm.SIdfactreplica.params().ParamByName("ID").value);
        r.Post();
        EXPECT_EQ(r.ApplyUpdates(0), 0);
        r.Close();
        EXPECT_EQ(testsupport::queryValue(branch, "SELECT COUNT(*) FROM FACTURAS;"), "1");
    }
}

}  // namespace
