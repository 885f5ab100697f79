// The header of imported invoices and the duplicate test, end to end through the run: the
// row stored in FACTURAS, the header as the buffer holds it after the save, what the window
// shows, and the statements sent.
#include <gtest/gtest.h>

#include "data/texts.h"
#include "tests/db/invoice_fixture.h"

namespace invoicetest {
namespace {

using app::PortCallKind;
using importer::RecordOutcome;

class InvoiceHeaderTest : public InvoiceImportTest {
  protected:
    // The saved header as the buffer holds it when the copies to the branches run.
    struct Held {
        std::string id, total, tax, edit1;
        bool totalNull = false, taxNull = false;
    };
    InvoiceHeaderTest() {
        replication_.onReplicate = [this] {
            records::Buffer& h = w_.buffers.CFacturas;
            held.push_back(
                {h.FieldByName("FACT_ID").asString(), h.FieldByName("FACT_TOTAL").asString(),
                 h.FieldByName("FACT_IVAMONTO").asString(), w_.form.Edit1.text,
                 h.FieldByName("FACT_TOTAL").isNull(), h.FieldByName("FACT_IVAMONTO").isNull()});
        };
    }
    std::vector<Held> held;
};

TEST_F(InvoiceHeaderTest, HeaderComesFromThePointOfSaleItsPrefixAndCustomer) {
    Summary s;
    s.motos = "500";
    s.tax = "95";
    s.total = "595";
    write("[RDE_12_20240131.txt", {s});
    run();
    ASSERT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});

    std::vector<Row> got = rows(
        "SELECT PREF_PRE, FACT_NUMERO, FACT_FECHA, FACT_VENCE, PTVT_ID, TERC_NIT, "
        "FACT_NOMCLIENTE, VEND_COD, FACT_SUCURSAL, FACT_IVAINC, FACT_ANULADO, FACT_TRANSMIT, "
        "FACT_FACTOR, FACT_TRM, FACT_RTFTEMONTO, FACT_RTIVAMONTO, FACT_RTICAMONTO, FACT_RTCREE, "
        "FACT_RTCREEM, FACT_TOTAL, FACT_IVAMONTO, BODE_COD, FACT_USUARIO, FACT_OBS, AUTO_NUMERO, "
        "FACT_DTOMONTO FROM FACTURAS");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], (Row{"AB01",
                           "20240131",
                           "2024-01-31",
                           "2024-01-31",
                           "12",
                           "800100200",
                           "PARQUEADEROS DEL NORTE S.A.",
                           "7",
                           "01",
                           "S",
                           "N",
                           "S",
                           "1.000000000000000",
                           "1.000000000000000",
                           "0.00",
                           "0.00",
                           "0.00",
                           "2.5000",
                           "12.50",
                           "595.00",
                           "95.00",
                           "<null>",
                           "<null>",
                           "<null>",
                           "<null>",
                           "<null>"}));
    // The id drawn for the header is the one its lines and the buffer carry.
    const std::string id = value("SELECT FACT_ID FROM FACTURAS");
    EXPECT_EQ(value("SELECT DISTINCT FACT_ID FROM FACTURAS_DETALLE"), id);
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].id, id);
    EXPECT_EQ(held[0].edit1, "AB0120240131 - PARQUEADEROS DEL NORTE S.A.");
    EXPECT_EQ(w_.form.Edit1.text, "AB0120240131 - PARQUEADEROS DEL NORTE S.A.");
}

TEST_F(InvoiceHeaderTest, TaxAndTotalComeFromFieldsTenAndElevenAndGiveTheCreeWithholding) {
    struct Case {
        const char* file;
        std::string tax, total;
        const char *rtcree, *rtcreem;
        std::string heldTax, heldTotal;
    } cases[] = {
        // 2.5 % of 595 - 95.
        {"[RDE_12_20240101.txt", "95", "595", "2.5000", "12.50", "95", "595"},
        // 2.5 % of 1001 is 25.025: four decimals first, then the column's two, half to even.
        {"[RDE_12_20240102.txt", "0", "1001", "2.5000", "25.02", "0", "1001"},
        {"[RDE_12_20240103.txt", " 19.5 ", "119,5", "2.5000", "2.50", "19.5", "119.5"},
        // Empty fields leave the header's amounts empty.
        {"[RDE_12_20240104.txt", "", "", "2.5000", "0.00", "", ""},
        // Point of sale 13: a customer without CREE rate.
        {"[RDE_13_20240101.txt", "95", "595", "<null>", "0.00", "95", "595"},
    };
    for (const Case& c : cases) {
        Summary s;
        s.tax = c.tax;
        s.total = c.total;
        write(c.file, {s});
    }
    run();
    ASSERT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
    std::vector<Row> got =
        rows("SELECT FACT_RTCREE, FACT_RTCREEM FROM FACTURAS ORDER BY PREF_PRE, FACT_FECHA");
    ASSERT_EQ(got.size(), std::size(cases));
    ASSERT_EQ(held.size(), std::size(cases));
    for (size_t i = 0; i < got.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.file);
        EXPECT_EQ(got[i], (Row{c.rtcree, c.rtcreem}));
        EXPECT_EQ(held[i].tax, c.heldTax);
        EXPECT_EQ(held[i].total, c.heldTotal);
        EXPECT_EQ(held[i].taxNull, c.heldTax.empty());
        EXPECT_EQ(held[i].totalNull, c.heldTotal.empty());
    }
}

TEST_F(InvoiceHeaderTest, MissingPrefixFlagCustomerOrSellerFallBack) {
    // AB01's flag row is gone; AB02's flag turns to "S"; point of sale 21's customer has no
    // CLIENTES row; company 001's customer 900300400 has no seller.
    exec("DELETE FROM PREFIJOS WHERE PREF_PRE = 'AB01'");
    exec("UPDATE PREFIJOS SET PREF_IVAINC = 'S' WHERE PREF_PRE = 'AB02'");
    exec("UPDATE CLIENTES SET VEND_COD = NULL WHERE TERC_NIT = '900300400'");
    exec("UPDATE PUNTO_VENTA SET TERC_NIT = '555' WHERE PTVT_ID = 21", "002");
    Summary s;
    s.cars = "100";
    write("[RDE_12_20240131.txt", {s});
    write("[RDE_13_20240131.txt", {s});
    write("[RDE_21_20240131.txt", {s});
    run();
    ASSERT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
    const std::string sql =
        "SELECT F.PREF_PRE, F.FACT_IVAINC, F.VEND_COD, F.TERC_NIT, F.FACT_NOMCLIENTE, "
        "F.FACT_RTCREE, F.FACT_RTCREEM, D.LIPR_COD FROM FACTURAS F JOIN FACTURAS_DETALLE D ON "
        "D.FACT_ID = F.FACT_ID ORDER BY F.PREF_PRE";
    EXPECT_EQ(
        rows(sql),
        (std::vector<Row>{
            {"AB01", "N", "7", "800100200", "PARQUEADEROS DEL NORTE S.A.", "2.5000", "0.00", "1"},
            {"AB02", "S", "1", "900300400", "CLIENTES VARIOS", "<null>", "0.00", "2"},
        }));
    EXPECT_EQ(rows(sql, "002"),
              (std::vector<Row>{{"CD01", "S", "1", "555", "<null>", "<null>", "0.00", "<null>"}}));
    ASSERT_EQ(held.size(), 3u);
    EXPECT_EQ(held[2].edit1, "CD0120240131 - ");
}

TEST_F(InvoiceHeaderTest, AnInvoiceOfThePrefixAndDayAlreadyStoredMakesEveryRecordADuplicate) {
    std::vector<std::pair<RecordOutcome, int>> seen;  // outcome, pending rows in the buffer
    steps_.after = [this, &seen](RecordOutcome o) {
        seen.push_back({o, w_.buffers.CFacturas.ChangeCount()});
    };
    // One stored by the ERP itself for 12 (AB01) on 2024/01/31.
    exec(
        "INSERT INTO FACTURAS (FACT_ID, PTVT_ID, VEND_COD, TERC_NIT, FACT_FECHA, FACT_IVAINC, "
        "FACT_NUMERO, PREF_PRE) VALUES (1, 12, 7, '800100200', '2024-01-31', 'S', 'X', 'AB01')");
    Summary s;
    s.cars = "100";
    write("[RDE_12_20240131.txt", {s, s});
    // Two records of one day in one file: the second finds the first.
    write("[RDE_13_20240131.txt", {s, s, s});
    run();
    ASSERT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
    EXPECT_EQ((std::vector<std::pair<RecordOutcome, int>>{{RecordOutcome::Duplicate, 0},
                                                          {RecordOutcome::Duplicate, 0},
                                                          {RecordOutcome::Stored, 0},
                                                          {RecordOutcome::Duplicate, 0},
                                                          {RecordOutcome::Duplicate, 0}}),
              seen);
    EXPECT_EQ(rows("SELECT PREF_PRE, COUNT(*) FROM FACTURAS GROUP BY PREF_PRE"),
              (std::vector<Row>{{"AB01", "1"}, {"AB02", "1"}}));
    EXPECT_EQ(value("SELECT FADE_ITEM FROM FACTURAS_DETALLE"), "1");  // after two duplicates
    EXPECT_EQ(replication_.calls, 1);
    EXPECT_EQ(cleanup_.cleaned,
              (std::vector<std::string>{"[RDE_12_20240131.txt", "[RDE_13_20240131.txt"}));

    // A later run finds the stored one too, and totals, posts and copies nothing again.
    const std::string entries = value("SELECT COUNT(*) FROM CONTABILIDAD_ASIENTOS");
    write("[RDE_13_20240131.txt", {s});
    run();
    EXPECT_EQ(invoiceCount(), 2);
    EXPECT_EQ(value("SELECT COUNT(*) FROM CONTABILIDAD_ASIENTOS"), entries);
    EXPECT_EQ(replication_.calls, 1);
    EXPECT_EQ(cleanup_.cleaned.back(), "[RDE_13_20240131.txt");
}

TEST_F(InvoiceHeaderTest, APrefixWithAQuoteIsSentDoubled) {
    testsupport::execSql(erp_.generalPath(), "INSERT INTO CENTROS VALUES ('14', '001', 'X')");
    exec(
        "INSERT INTO PUNTO_VENTA (PTVT_ID, BODE_COD, PTVT_NOM, PREF_PRE, TERC_NIT) "
        "VALUES (14, '04', 'COMILLA', 'A''B', '900300400')");
    exec("INSERT INTO PREFIJOS (TIDO_COD, PREF_PRE, PREF_IVAINC) VALUES (31, 'A''B', 'S')");
    exec("INSERT INTO INTERFAZ_VENTAS (INVE_ID, TIDO_COD, PREF_PRE) VALUES (8, 31, 'A''B')");
    StatementLog log{fdm_};
    Summary s;
    s.cars = "100";
    write("[RDE_14_20241205.txt", {s, s});
    run();
    ASSERT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
    EXPECT_EQ(rows("SELECT PREF_PRE, FACT_NUMERO, FACT_IVAINC FROM FACTURAS"),
              (std::vector<Row>{{"A'B", "20241205", "S"}}));
    const std::string dup =
        "SELECT FACT_ID FROM FACTURAS WHERE PREF_PRE = 'A''B' AND FACT_FECHA = '2024/12/05'";
    // The first record's test, again inside its save, then the second record's.
    EXPECT_EQ(log.startingWith("SELECT FACT_ID FROM FACTURAS"),
              (std::vector<std::string>{dup, dup, dup}));
    EXPECT_EQ(log.startingWith("SELECT PREF_PRE FROM PREFIJOS"),
              std::vector<std::string>{"SELECT PREF_PRE FROM PREFIJOS WHERE TIDO_COD = 31 AND "
                                       "PREF_PRE = 'A''B' WITH LOCK"});
    EXPECT_EQ(log.startingWith("select pref_ivainc"),
              std::vector<std::string>{"select pref_ivainc, pref_actual from prefijos where "
                                       "tido_cod = 31 and pref_pre = 'A''B'"});
    EXPECT_EQ(log.startingWith("select terc_nom"),
              std::vector<std::string>{
                  "select terc_nom, lipr_cod, vend_cod, clie_rtcree from terceros t, clientes c "
                  "where t.terc_nit = c.terc_nit and c.terc_nit = '900300400'"});
    EXPECT_EQ(log.startingWith("select MAX(INVE_ID)"),
              std::vector<std::string>{"select MAX(INVE_ID) ID from INTERFAZ_VENTAS where "
                                       "tido_cod = 31 and pref_pre = 'A''B'"});
    EXPECT_EQ(w_.form.Edit1.text, "A'B20241205 - CLIENTES VARIOS");
}

}  // namespace
}  // namespace invoicetest
