// The buffer's operations besides saving: opening against the declared columns, accepting rows
// and reporting empty required columns, line numbering, conversions as they reach the
// database, navigation, Locate, FetchParams, Execute, Refresh and Close.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/errors.h"
#include "records/errors.h"
#include "tests/db/invoice_fixture.h"

namespace {

using invoicetest::InvoiceBuffers;
using records::Buffer;
using records::DataAction;

class BufferOps : public InvoiceBuffers {};

// The message of what `f` throws, or "" when it does not throw; a failure that is not an `E`
// says so before its message.
template <class E = std::exception, class F>
std::string failureOf(F f) {
    try {
        f();
    } catch (const std::exception& e) {
        if (dynamic_cast<const E*>(&e)) return e.what();
        return std::string("(not of the expected type) ") + e.what();
    }
    return "";
}

TEST_F(BufferOps, NumberingHookRunsOnEveryNewLineBeforeTheCallerSetsColumns) {
    connect();
    std::vector<std::string> seen;  // the line as the hook found it
    w.CFactdetalle.AfterInsert = [&](Buffer& d) {
        int filled = 0;
        for (int i = 0; i < d.FieldCount(); ++i) filled += d.Fields(i).isNull() ? 0 : 1;
        seen.push_back(d.FieldByName("FACT_ID").asString() + " filled " + std::to_string(filled));
        CFactdetalleAfterInsert(d);
    };
    auto [first, r1] = saveInvoice({"01-01", "01-03", "01-04", "01-07", "01-01", "01-03"});
    ASSERT_EQ(r1, 0);
    auto [refused, r2] = saveInvoice({"01-01", "NO-EXISTE"});
    ASSERT_EQ(r2, 1);
    w.CFacturas.CancelUpdates();
    w.CFacturas.Refresh();
    auto [third, r3] = saveInvoice({"01-04", "01-07"});
    ASSERT_EQ(r3, 0);

    ASSERT_EQ(seen.size(), 10u);
    EXPECT_EQ(seen[0], std::to_string(first) + " filled 1");  // only the link column
    EXPECT_EQ(seen[9], std::to_string(third) + " filled 1");
    auto lines = rows(
        "SELECT FACT_ID, FADE_ITEM, FADE_ANULADO, FADE_TRANSMIT FROM FACTURAS_DETALLE "
        "ORDER BY FACT_ID, FADE_ITEM;");
    std::vector<testsupport::Row> expected;
    for (int i = 1; i <= 6; ++i)
        expected.push_back({std::to_string(first), std::to_string(i), "N", "N"});
    for (int i = 1; i <= 2; ++i)
        expected.push_back({std::to_string(third), std::to_string(i), "N", "N"});
    EXPECT_EQ(lines, expected);
}

TEST_F(BufferOps, OpenRequiresEveryDeclaredColumnWithItsType) {
    testsupport::execSql(company,
                         "ALTER TABLE PUNTO_VENTA DROP PTVT_COLOR;"
                         "ALTER TABLE REPLICA_VENTAS ALTER RPVE_PTVT TYPE VARCHAR(20);");
    connect();
    std::string missing = failureOf<records::UnknownField>([&] { w.CPtovta.Open(); });
    EXPECT_NE(missing.find("PTVT_COLOR"), std::string::npos) << missing;
    EXPECT_FALSE(w.CPtovta.Active());
    std::string type = failureOf<records::TypeMismatch>([&] { w.CReplicaf.Open(); });
    EXPECT_NE(type.find("RPVE_PTVT"), std::string::npos) << type;
    EXPECT_FALSE(w.CReplicaf.Active());
}

TEST_F(BufferOps, ReplicaBufferDoesNotOpenOnATableWithADoubleTrm) {
    // The company database's FACT_TRM is a double; the replica buffer declares two decimals.
    connect();
    fdm.ConReplica.options().database = company;
    fdm.ConReplica.options().user = "SYSDBA";
    fdm.ConReplica.open();
    std::string e = failureOf<records::TypeMismatch>([&] { w.CFactreplica.Open(); });
    EXPECT_NE(e.find("FACT_TRM"), std::string::npos) << e;
}

TEST_F(BufferOps, EmptyRequiredColumnFailsPostThroughThePostErrorHook) {
    connect();
    struct Case {
        const char* hook;  // "none", "fail", "abort"
        bool silent;
    } cases[] = {{"none", false}, {"fail", false}, {"abort", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hook);
        std::vector<std::string> calls;
        w.CFacturas.OnPostError = nullptr;
        if (std::string(c.hook) != "none")
            w.CFacturas.OnPostError = [&](Buffer& b, const std::exception& e, DataAction& a) {
                calls.push_back(b.name() + ": " + e.what());
                a = std::string(c.hook) == "abort" ? DataAction::daAbort : DataAction::daFail;
            };
        w.CFacturas.Insert();
        w.CFacturas.FieldByName("PTVT_ID").setInteger(12);
        bool silentAbort = false;
        std::string message, field;
        try {
            w.CFacturas.Post();
        } catch (const core::SilentAbort&) {
            silentAbort = true;
        } catch (const records::RequiredFieldEmpty& e) {
            message = e.what();
            field = e.field();
        }
        EXPECT_EQ(silentAbort, c.silent);
        if (!c.silent) {
            EXPECT_EQ(message, "Field 'FACT_ID' must have a value");
            EXPECT_EQ(field, "FACT_ID");
        }
        if (std::string(c.hook) != "none") {
            EXPECT_EQ(calls,
                      std::vector<std::string>{"CFacturas: Field 'FACT_ID' must have a value"});
        }
        w.CFacturas.CancelUpdates();
    }
}

TEST_F(BufferOps, PostErrorHookSeesTheRowAndMayRetry) {
    connect();
    addHeader();
    w.CFactdetalle.AfterInsert = nullptr;  // FADE_ITEM stays empty
    std::vector<std::string> emptyRequired;
    int calls = 0;
    w.CFactdetalle.OnPostError = [&](Buffer& b, const std::exception&, DataAction& a) {
        ++calls;
        emptyRequired.clear();
        for (const auto& f : b.fieldDefs())
            if (f.required && b.FieldByName(f.name).isNull()) emptyRequired.push_back(f.name);
        b.FieldByName("FADE_ITEM").setInteger(1);
        b.FieldByName("BODE_COD").setString("01");
        a = calls == 1 ? DataAction::daRetry : DataAction::daFail;  // never loop
    };
    w.CFactdetalle.Insert();
    w.CFactdetalle.FieldByName("ARTI_COD").setString("01-01");
    w.CFactdetalle.Post();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(emptyRequired, (std::vector<std::string>{"FADE_ITEM", "BODE_COD"}));
    EXPECT_EQ(w.CFacturas.ApplyUpdates(0), 0);
    EXPECT_EQ(count("FACTURAS_DETALLE WHERE BODE_COD = '01' AND FADE_ITEM = 1"), "1");
}

TEST_F(BufferOps, LineThatCannotBeAcceptedLeavesNothingOfItsInvoice) {
    connect();
    int aborts = 0;
    w.CFactdetalle.OnPostError = [&](Buffer&, const std::exception&, DataAction& a) {
        ++aborts;
        a = DataAction::daAbort;
    };
    addHeader();
    addLine("01-01");
    EXPECT_THROW(addLine(""), core::SilentAbort);  // the article was not found
    // Whatever comes next cannot save part of the invoice: the line is checked again first.
    EXPECT_THROW(w.CFacturas.ApplyUpdates(0), core::SilentAbort);
    EXPECT_EQ(inserts(), 0);
    EXPECT_EQ(aborts, 2);
    EXPECT_EQ(count("FACTURAS"), "0");
    EXPECT_EQ(count("FACTURAS_DETALLE"), "0");
}

TEST_F(BufferOps, EmptyTextCountsAsEmptyForTheRequiredCheck) {
    connect();
    w.CFacturas.Insert();
    w.CFacturas.FieldByName("FACT_ID").setInteger(newId());
    w.CFacturas.FieldByName("PTVT_ID").setInteger(12);
    w.CFacturas.FieldByName("VEND_COD").setInteger(7);
    w.CFacturas.FieldByName("TERC_NIT").setString("");
    EXPECT_EQ(failureOf<records::RequiredFieldEmpty>([&] { w.CFacturas.Post(); }),
              "Field 'TERC_NIT' must have a value");
}

TEST_F(BufferOps, ConversionsAsTheyReachTheDatabase) {
    connect();
    int id = addHeader();
    Buffer& h = w.CFacturas;
    Buffer& d = w.CFactdetalle;
    // Money into two decimals, text that is not a number, empty text.
    addLine("01-01", "12.345");
    addLine("01-03", "12.355");
    d.Insert();
    d.FieldByName("BODE_COD").setString("01");
    d.FieldByName("ARTI_COD").setString("01-04");
    EXPECT_EQ(failureOf<records::FieldConversionError>(
                  [&] { d.FieldByName("LIPR_COD").setString("abc"); }),
              "'abc' is not a valid integer value");
    d.FieldByName("LIPR_COD").setString("");  // empty text: the column stays empty
    d.FieldByName("FADE_PRUNIT").setString("7.5");
    d.Post();
    ASSERT_EQ(h.ApplyUpdates(0), 0);
    auto lines = rows("SELECT FADE_PRUNIT, LIPR_COD FROM FACTURAS_DETALLE WHERE FACT_ID = " +
                      std::to_string(id) + " ORDER BY FADE_ITEM;");
    EXPECT_EQ(lines,
              (std::vector<testsupport::Row>{{"12.34", "1"}, {"12.36", "1"}, {"7.50", "<null>"}}));

    const std::string name70 = std::string(40, 'A') + std::string(30, 'B');
    // Texts cut to width, numbers and dates from text, an empty rate, the exchange rate.
    h.Insert();
    h.FieldByName("FACT_ID").setInteger(newId());
    h.FieldByName("PTVT_ID").setString("12");
    h.FieldByName("VEND_COD").setString("7");
    h.FieldByName("TERC_NIT").setString("800100200");
    h.FieldByName("FACT_FECHA").setString("2024/02/29");
    h.FieldByName("FACT_IVAINC").setString("SI");
    h.FieldByName("FACT_NUMERO").setString("202402290");
    h.FieldByName("FACT_NOMCLIENTE").setString(name70);
    h.FieldByName("FACT_RTCREE").setString("");
    h.FieldByName("FACT_RTCREEM").setMoney(core::Money());
    h.FieldByName("FACT_TRM").setMoney(m("1"));
    h.Post();
    EXPECT_EQ(h.FieldByName("FACT_FECHA").asString(), "2024/02/29");
    EXPECT_EQ(h.FieldByName("FACT_TRM").asString(), "1");
    EXPECT_EQ(h.FieldByName("FACT_RTCREE").asString(), "");
    EXPECT_EQ(h.FieldByName("FACT_RTCREE").asMoney(), core::Money());
    const int third = h.FieldByName("FACT_ID").asInteger();
    ASSERT_EQ(h.ApplyUpdates(0), 0);
    auto header = rows(
        "SELECT FACT_NOMCLIENTE, FACT_IVAINC, FACT_NUMERO, FACT_FECHA, FACT_RTCREE, "
        "FACT_RTCREEM, CAST(FACT_TRM AS NUMERIC(15,4)) FROM FACTURAS WHERE FACT_ID = " +
        std::to_string(third) + ";");
    EXPECT_EQ(header, (std::vector<testsupport::Row>{{name70.substr(0, 60), "S", "20240229",
                                                      "2024-02-29", "<null>", "0.00", "1.0000"}}));
}

TEST_F(BufferOps, MovingOffARowBeingInsertedAcceptsItFirst) {
    connect();
    auto [saved, ok] = saveInvoice({"01-01"});
    ASSERT_EQ(ok, 0);
    int id = addHeader();
    // A line left in insertion is accepted when its header buffer moves on.
    w.CFactdetalle.Insert();
    w.CFactdetalle.FieldByName("BODE_COD").setString("01");
    w.CFactdetalle.FieldByName("ARTI_COD").setString("01-03");
    w.CFacturas.First();
    EXPECT_EQ(w.CFacturas.FieldByName("FACT_ID").asInteger(), saved);
    // The saved invoice is not in insertion: setting its columns is refused.
    EXPECT_EQ(failureOf<records::Misuse>(
                  [&] { w.CFacturas.FieldByName("FACT_NOMCLIENTE").setString("X"); }),
              "CFacturas: Dataset not in edit or insert mode");
    EXPECT_EQ(w.CFacturas.FieldByName("FACT_NOMCLIENTE").asString(), "PARQUEADEROS DEL NORTE S.A.");
    // A header left in insertion is accepted when the buffer moves on as well.
    w.CFacturas.Insert();
    w.CFacturas.FieldByName("FACT_ID").setInteger(id + 100);
    w.CFacturas.FieldByName("PTVT_ID").setInteger(12);
    w.CFacturas.FieldByName("VEND_COD").setInteger(7);
    w.CFacturas.FieldByName("TERC_NIT").setString("800100200");
    w.CFacturas.FieldByName("FACT_FECHA").setDate({2024, 1, 31});
    w.CFacturas.FieldByName("FACT_IVAINC").setString("S");
    w.CFacturas.FieldByName("FACT_NUMERO").setString("X1");
    w.CFacturas.First();
    EXPECT_FALSE(w.CFacturas.inserting());
    sent.clear();
    ASSERT_EQ(w.CFacturas.ApplyUpdates(0), 0);
    EXPECT_EQ(inserts(), 3);
    EXPECT_EQ(count("FACTURAS_DETALLE WHERE FACT_ID = " + std::to_string(id)), "1");
    EXPECT_EQ(count("FACTURAS WHERE FACT_ID = " + std::to_string(id + 100)), "1");
}

TEST_F(BufferOps, RefreshIsRefusedWhileChangesArePending) {
    connect();
    const std::string refused = "Must apply updates before refreshing data";
    w.CFacturas.Insert();
    EXPECT_EQ(failureOf<records::Misuse>([&] { w.CFacturas.Refresh(); }), refused);  // in insertion
    w.CFacturas.CancelUpdates();
    addHeader();
    EXPECT_EQ(failureOf<records::Misuse>([&] { w.CFacturas.Refresh(); }),
              refused);  // accepted, not applied
    addLine("01-01");
    ASSERT_EQ(w.CFacturas.ApplyUpdates(0), 0);
    addLine("01-03");  // a further line of the saved invoice
    EXPECT_EQ(failureOf<records::Misuse>([&] { w.CFactdetalle.Refresh(); }), refused);
    ASSERT_EQ(w.CFacturas.ApplyUpdates(0), 0);
    EXPECT_EQ(failureOf<records::Misuse>([&] { w.CFacturas.Refresh(); }), "");
    EXPECT_TRUE(w.CFacturas.IsEmpty());  // its query returns the rows of ID 0
}

TEST_F(BufferOps, CloseDiscardsPendingRows) {
    connect();
    addHeader();
    addLine("01-01");
    w.CFacturas.Close();
    EXPECT_FALSE(w.CFacturas.Active());
    EXPECT_EQ(failureOf<records::Misuse>([&] { w.CFacturas.Insert(); }),
              "CFacturas: Cannot perform this operation on a closed dataset");
    w.CFacturas.Open();
    EXPECT_TRUE(w.CFacturas.IsEmpty());
    sent.clear();
    EXPECT_EQ(w.CFacturas.ApplyUpdates(0), 0);
    EXPECT_TRUE(sent.empty());
}

TEST_F(BufferOps, LocateFindsThePointOfSaleByItsCodeAsText) {
    connect();
    Buffer& p = w.CPtovta;
    p.Open();
    ASSERT_TRUE(p.Locate("PTVT_ID", "13"));
    EXPECT_EQ(p.FieldByName("BODE_COD").asString(), "02");
    EXPECT_EQ(p.FieldByName("PREF_PRE").asString(), "AB02");
    EXPECT_EQ(p.FieldByName("TERC_NIT").asString(), "900300400");
    // Not found: the current row stays where it was.
    EXPECT_FALSE(p.Locate("PTVT_ID", "99"));
    EXPECT_FALSE(p.Locate("PTVT_ID", "abc"));
    EXPECT_EQ(p.FieldByName("PTVT_ID").asInteger(), 13);
    ASSERT_TRUE(p.Locate("ptvt_id", "21"));
    EXPECT_EQ(p.FieldByName("BODE_COD").asString(), "03");
    p.Close();
}

TEST_F(BufferOps, FetchParamsCopiesTheDatasetsParameters) {
    Buffer& r = w.CFactreplica;
    r.Params.clear();
    r.FetchParams();
    ASSERT_EQ(r.Params.size(), 1u);
    EXPECT_EQ(r.Params.ParamByName("ID").asString(), "0");
    r.Params.ParamByName("ID").setText("5");
    EXPECT_EQ(fdm.Tfactreplica.params().ParamByName("ID").asString(), "0");
}

TEST_F(BufferOps, ExecuteRunsAStatementWithoutRows) {
    connect();
    auto [id, refused] = saveInvoice({"01-01", "01-03"});
    ASSERT_EQ(refused, 0);
    testsupport::execSql(company, "UPDATE FACTURAS SET FACT_TOTAL = 0;");
    sent.clear();
    const std::string totals =
        "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, " + std::to_string(id) + ")";
    w.CBorrar.Close();
    w.CBorrar.CommandText = totals;
    w.CBorrar.Execute();
    EXPECT_EQ(sent, std::vector<std::string>{totals});
    EXPECT_EQ(testsupport::queryValue(company, "SELECT FACT_TOTAL FROM FACTURAS WHERE FACT_ID = " +
                                                   std::to_string(id) + ";"),
              "3000.00");

    w.CBorrar.CommandText = "EXECUTE PROCEDURE NO_EXISTE(31)";
    std::string e = failureOf<fb::Error>([&] { w.CBorrar.Execute(); });
    EXPECT_EQ(e.rfind("SQL Server Error: ", 0), 0u) << e;
    EXPECT_NE(e.find("NO_EXISTE"), std::string::npos) << e;
}

TEST_F(BufferOps, CommandBufferShowsTheColumnsOfItsStatement) {
    connect();
    Buffer& b = w.CBorrar;
    b.Close();
    b.CommandText =
        "select pref_ivainc, pref_actual from prefijos where tido_cod = 31 and pref_pre = 'AB02'";
    b.Open();
    ASSERT_FALSE(b.IsEmpty());
    EXPECT_EQ(b.Fields(0).asString(), "N");
    EXPECT_EQ(b.FieldByName("PREF_ACTUAL").asInteger(), 0);
    b.Close();
    b.CommandText = "SELECT FACT_ID FROM FACTURAS WHERE PREF_PRE = 'AB01'";
    b.Open();
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.Fields(0).asString(), "");  // no row: reads empty
    b.Close();
    // A buffer whose provider does not allow command text runs its dataset's own statement.
    w.CPtovta.CommandText = "SELECT * FROM PUNTO_VENTA WHERE PTVT_ID = 13";
    w.CPtovta.Open();
    EXPECT_EQ(w.CPtovta.RecordCount(), 3);
}

}  // namespace
