// Saving, totals and posting of imported invoices, and the failures that stop a run or
// discard an invoice, end to end through the run: what the company database holds, which
// statements were sent, which files stay for the next run.
#include <gtest/gtest.h>

#include "data/texts.h"
#include "tests/db/invoice_fixture.h"

namespace invoicetest {
namespace {

using app::PortCallKind;
using importer::RecordOutcome;

class InvoiceSaveTest : public InvoiceImportTest {
  protected:
    void refuseLinesPriced(const std::string& price) {
        exec("ALTER TABLE FACTURAS_DETALLE ADD CONSTRAINT CK_PRUEBA CHECK (FADE_PRUNIT <> " +
             price + ")");
    }
};

TEST_F(InvoiceSaveTest, ASavedInvoiceIsTotalledPostedAndCopiedInThatOrder) {
    StatementLog log{fdm_};
    size_t sentBeforeCopy = 0;
    replication_.onReplicate = [&] { sentBeforeCopy = log.texts.size(); };
    Summary s = cars("1500");
    s.tax = "1";
    s.total = "9999";  // the totals procedure puts the lines' sums in their place
    write("[RDE_12_20240131.txt", {s});
    run();
    ASSERT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
    const std::string id = value("SELECT FACT_ID FROM FACTURAS");
    EXPECT_EQ(rows("SELECT FACT_TOTAL, FACT_IVAMONTO FROM FACTURAS"),
              (std::vector<Row>{{"1785.00", "285.00"}}));

    // From the header's insert on (header and lines in one block): save, totals with the id
    // in plain digits, the sales interface (AB01's highest is 5), the posting and its entry.
    std::vector<std::string> after;
    bool saving = false;
    for (const std::string& t : log.texts) {
        saving = saving || t.find("INSERT INTO FACTURAS (") != std::string::npos;
        if (saving && t.find("INSERT INTO") == std::string::npos) after.push_back(t);
    }
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after, (std::vector<std::string>{
                         "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, " + id + ")",
                         "select MAX(INVE_ID) ID from INTERFAZ_VENTAS where tido_cod = 31 and "
                         "pref_pre = 'AB01'",
                         "select * from contabil_factura(" + id + ",5)",
                         "EXECUTE PROCEDURE CONTABILIZA_PENDIENTE(" +
                             value("SELECT ASIE_ID FROM CONTABILIDAD_ASIENTOS") + ")",
                     }));
    EXPECT_EQ(replication_.calls, 1);
    EXPECT_EQ(sentBeforeCopy, log.texts.size());  // the copies come last
    EXPECT_EQ(rows("SELECT FACT_ID, INVE_ID, ASIE_CONTABILIZADO FROM CONTABILIDAD_ASIENTOS"),
              (std::vector<Row>{{id, "5", "S"}}));
    EXPECT_EQ(cleanup_.cleaned, std::vector<std::string>{"[RDE_12_20240131.txt"});
}

TEST_F(InvoiceSaveTest, OnlyAPostingAnswerWithStatusZeroIsCompleted) {
    struct Case {
        const char* answer;        // CONTABIL_RESPUESTA row, or none
        std::vector<Row> entries;  // ASIE_ID, ASIE_CONTABILIZADO afterwards
        int pendingCalls;
    } cases[] = {
        {"(0, 'x', 17, 1)", {{"17", "S"}}, 1},  {"(5, 'x', 17, 1)", {{"17", "N"}}, 0},
        {"(1, 'x', 17, 1)", {{"17", "N"}}, 0},  {"(-1, 'x', 17, 1)", {{"17", "N"}}, 0},
        {"(0, 'x', 17, 0)", {{"17", "N"}}, 0},   // no row answered: nothing posted
        {"(0, 'x', NULL, 1)", {{"1", "S"}}, 1},  // entry from the procedure's own counter
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        exec(
            "DELETE FROM FACTURAS_DETALLE; DELETE FROM FACTURAS; DELETE FROM "
            "CONTABILIDAD_ASIENTOS; DELETE FROM CONTABIL_RESPUESTA; SET GENERATOR "
            "GEN_CONTABILIDAD_ASIENTOS TO 0");
        exec(std::string("INSERT INTO CONTABIL_RESPUESTA (CORE_ESTADO, CORE_MENSAJE, "
                         "CORE_ASIENTO, CORE_FILAS) VALUES ") +
             c.answer);
        StatementLog log{fdm_};
        write("[RDE_12_20240131.txt", {cars("100")});
        run();
        ASSERT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
        EXPECT_EQ(rows("SELECT ASIE_ID, ASIE_CONTABILIZADO FROM CONTABILIDAD_ASIENTOS"), c.entries);
        EXPECT_EQ(log.startingWith("EXECUTE PROCEDURE CONTABILIZA_PENDIENTE").size(),
                  static_cast<size_t>(c.pendingCalls));
    }
}

TEST_F(InvoiceSaveTest, ARefusedInvoiceLeavesNothingAndKeepsItsFileForTheNextRun) {
    refuseLinesPriced("777");
    std::vector<std::pair<RecordOutcome, int>> seen;  // outcome, rows in the header buffer
    std::vector<int> firstItems;
    steps_.after = [&](RecordOutcome o) {
        seen.push_back({o, w_.buffers.CFacturas.RecordCount()});
        EXPECT_EQ(w_.buffers.CFacturas.ChangeCount(), 0);
    };
    StatementLog log{fdm_};
    Summary refused = cars("100");
    refused.f8 = "777";  // the invoice's second line is refused
    write("[RDE_12_20240101.txt", {refused});
    write("[RDE_12_20240102.txt", {refused, cars("200")});  // first refused, second saved
    write("[RDE_12_20240103.txt", {cars("300")});
    run();
    ASSERT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
    EXPECT_EQ(port_.count(PortCallKind::Close), 1);  // the run went on to its end
    // The database's refusal is shown, once for each refused invoice.
    std::vector<std::string> errors = boxes(PortCallKind::Error);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("CK_PRUEBA"), std::string::npos) << errors[0];

    EXPECT_EQ(seen, (std::vector<std::pair<RecordOutcome, int>>{{RecordOutcome::Refused, 0},
                                                                {RecordOutcome::Refused, 0},
                                                                {RecordOutcome::Stored, 1},
                                                                {RecordOutcome::Stored, 1}}));
    // Each refused invoice drew an id that stays unused; the lines of the next invoice are
    // numbered from 1 again and only its own rows were sent.
    EXPECT_EQ(rows("SELECT F.FACT_ID, F.FACT_FECHA, D.FADE_ITEM, D.FADE_PRUNIT FROM FACTURAS F "
                   "JOIN FACTURAS_DETALLE D ON D.FACT_ID = F.FACT_ID ORDER BY F.FACT_ID"),
              (std::vector<Row>{{"1003", "2024-01-02", "1", "200.00"},
                                {"1004", "2024-01-03", "1", "300.00"}}));
    // In process the rows go one by one, up to the refused one: every header once.
    EXPECT_EQ(log.count("INSERT INTO FACTURAS ("), 4u);
    EXPECT_EQ(log.count("EXECUTE BLOCK"), 0u);
    EXPECT_EQ(log.startingWith("EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA").size(), 2u);
    EXPECT_EQ(value("SELECT COUNT(*) FROM CONTABILIDAD_ASIENTOS"), "2");
    EXPECT_EQ(replication_.calls, 2);
    EXPECT_EQ(cleanup_.cleaned,
              (std::vector<std::string>{"[RDE_12_20240102.txt", "[RDE_12_20240103.txt"}));
    EXPECT_TRUE(exists("[RDE_12_20240101.txt"));

    // Once the database takes it, the kept file's invoice is stored by the next run.
    exec("ALTER TABLE FACTURAS_DETALLE DROP CONSTRAINT CK_PRUEBA");
    std::filesystem::remove(folder_ + "/[RDE_12_20240102.txt");
    std::filesystem::remove(folder_ + "/[RDE_12_20240103.txt");
    cleanup_.cleaned.clear();
    run();
    EXPECT_EQ(rows("SELECT FADE_ITEM, FADE_PRUNIT FROM FACTURAS F JOIN FACTURAS_DETALLE D ON "
                   "D.FACT_ID = F.FACT_ID WHERE F.FACT_FECHA = '2024-01-01' ORDER BY FADE_ITEM"),
              (std::vector<Row>{{"1", "100.00"}, {"2", "777.00"}}));
    EXPECT_EQ(cleanup_.cleaned, std::vector<std::string>{"[RDE_12_20240101.txt"});
}

// A failure after the save, provoked for real: a prefix without sales interface (the posting
// query is refused) and a totals procedure that raises. The invoice goes back whole, the run
// stops with the database's text and the file stays; once the cause is mended the next run
// stores the invoice whole, totalled and posted.
TEST_F(InvoiceSaveTest, AFailureAfterTheSaveLeavesNothingAndTheNextRunStoresTheInvoiceWhole) {
    exec("CREATE EXCEPTION E_PRUEBA 'totales no disponibles'");
    const struct {
        const char* what;
        const char* cause;
        const char* mend;
        const char* failure;  // found in the failure box
    } cases[] = {
        {"no sales interface", "DELETE FROM INTERFAZ_VENTAS WHERE PREF_PRE = 'AB01'",
         "INSERT INTO INTERFAZ_VENTAS (INVE_ID, TIDO_COD, PREF_PRE) VALUES (5, 31, 'AB01')",
         "Token unknown"},
        {"totals procedure raises",
         "SET TERM ^ ;\nALTER PROCEDURE ACTUALICE_TOTAL_DOCVENTA (TIDO_COD INTEGER, ID INTEGER) "
         "AS BEGIN EXCEPTION E_PRUEBA; END^\nSET TERM ; ^",
         "SET TERM ^ ;\nALTER PROCEDURE ACTUALICE_TOTAL_DOCVENTA (TIDO_COD INTEGER, ID INTEGER) "
         "AS BEGIN UPDATE FACTURAS F SET FACT_TOTAL = (SELECT COALESCE(SUM(D.FADE_TOTAL), 0) FROM "
         "FACTURAS_DETALLE D WHERE D.FACT_ID = F.FACT_ID), FACT_IVAMONTO = (SELECT "
         "COALESCE(SUM(D.FADE_IVAMONTO), 0) FROM FACTURAS_DETALLE D WHERE D.FACT_ID = "
         "F.FACT_ID) WHERE F.FACT_ID = :ID; END^\nSET TERM ; ^",
         "totales no disponibles"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        exec(
            "DELETE FROM FACTURAS_DETALLE; DELETE FROM FACTURAS; DELETE FROM "
            "CONTABILIDAD_ASIENTOS");
        exec(c.cause);
        cleanup_.cleaned.clear();
        replication_.calls = 0;
        Summary s = cars("100");
        s.total = "9999";  // only the totals procedure puts the lines' sum in its place
        write("[RDE_12_20240131.txt", {s});
        write("[RDE_13_20240131.txt", {cars("100")});
        run();
        std::vector<std::string> failures = boxes(PortCallKind::Failure);
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].rfind("SQL Server Error: ", 0), 0u) << failures[0];
        EXPECT_NE(failures[0].find(c.failure), std::string::npos) << failures[0];
        EXPECT_EQ(invoiceCount(), 0);
        EXPECT_EQ(lineCount(), 0);
        EXPECT_EQ(value("SELECT COUNT(*) FROM CONTABILIDAD_ASIENTOS"), "0");
        EXPECT_EQ(replication_.calls, 0);
        EXPECT_TRUE(cleanup_.cleaned.empty());
        EXPECT_EQ(port_.count(PortCallKind::Close), 0);
        EXPECT_TRUE(exists("[RDE_12_20240131.txt"));

        exec(c.mend);
        run();
        EXPECT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
        EXPECT_EQ(rows("SELECT F.PREF_PRE, F.FACT_TOTAL, (SELECT COUNT(*) FROM FACTURAS_DETALLE D "
                       "WHERE D.FACT_ID = F.FACT_ID), (SELECT COUNT(*) FROM "
                       "CONTABILIDAD_ASIENTOS A WHERE A.FACT_ID = F.FACT_ID AND "
                       "A.ASIE_CONTABILIZADO = 'S') FROM FACTURAS F ORDER BY F.PREF_PRE"),
                  (std::vector<Row>{{"AB01", "119.00", "1", "1"}, {"AB02", "119.00", "1", "1"}}));
        EXPECT_EQ(replication_.calls, 2);
        EXPECT_EQ(cleanup_.cleaned,
                  (std::vector<std::string>{"[RDE_12_20240131.txt", "[RDE_13_20240131.txt"}));
    }
}

TEST_F(InvoiceSaveTest, AnAbsentOrNonNumericRoundingSettingStopsTheRunBeforeAnyFile) {
    struct Case {
        const char* change;
        std::vector<std::string> errors;
        std::string failure;
    } cases[] = {
        {"UPDATE CONFIGURACION SET CONF_VALOR = 'diez' WHERE CONF_MODULO = 'FACTURACION'",
         {},
         "'diez' is not a valid integer value"},
        {"DELETE FROM CONFIGURACION WHERE CONF_MODULO = 'FACTURACION'",
         {data::texts::kConfiguracionNoEncontrada + "REDONDEO AL MULTIPLO DE DIEZ EN TOTALES"},
         "'' is not a valid integer value"},
    };
    write("[RDE_12_20240131.txt", {cars("100")});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        exec(c.change);
        StatementLog log{fdm_};
        run();
        EXPECT_EQ(boxes(PortCallKind::Error), c.errors);
        EXPECT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{c.failure});
        EXPECT_TRUE(log.startingWith("SELECT FACT_ID").empty());
        EXPECT_TRUE(exists("[RDE_12_20240131.txt"));
        EXPECT_TRUE(cleanup_.cleaned.empty());
        EXPECT_EQ(invoiceCount(), 0);
    }
}

TEST_F(InvoiceSaveTest, AFieldThatIsNotANumberStopsTheRunAndLeavesNothingOfItsInvoice) {
    struct Case {
        std::string name;
        std::string line;
        std::string failure;
    };
    auto with = [](auto change) {
        Summary s;
        s.cars = "100";
        change(s);
        return s.line();
    };
    const Case cases[] = {
        {"amount", with([](Summary& s) { s.f9 = "12a"; }),
         "'12a' is not a valid floating point value"},
        {"empty amount", with([](Summary& s) { s.motos = ""; }),
         "'' is not a valid floating point value"},
        // A record that ends after field 3: the fields it lacks are empty.
        {"short record", "01/01/2024;x;y;1500\r\n", "'' is not a valid floating point value"},
        {"discount value", with([](Summary& s) { s.groups = {"XYZ 12.3a.0"}; }),
         "'3a' is not a valid floating point value"},
        {"tax", with([](Summary& s) { s.tax = "1.2.3"; }),
         "'1.2.3' is not a valid floating point value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write("[RDE_12_20240131.txt", c.line);
        write("[RDE_13_20240131.txt", {cars("100")});  // read after it: never reached
        run();
        EXPECT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{c.failure});
        EXPECT_EQ(invoiceCount(), 0);
        EXPECT_EQ(lineCount(), 0);
        EXPECT_TRUE(exists("[RDE_12_20240131.txt"));
        EXPECT_TRUE(cleanup_.cleaned.empty());
        EXPECT_EQ(replication_.calls, 0);
    }
}

TEST_F(InvoiceSaveTest, ALineWhoseArticleIsNotFoundCannotBeAcceptedAndEndsTheRun) {
    exec("DELETE FROM ARTICULO WHERE ARTI_COD = '01-04'");
    Summary s = cars("100");
    s.f9 = "50";
    write("[RDE_12_20240131.txt", {s});
    run();
    EXPECT_EQ(
        boxes(PortCallKind::Information),
        std::vector<std::string>{data::texts::kCodigo + "'01-04'" + data::texts::kNoEncontrado});
    // The buffer's refusal is shown by the error translation, and no failure box follows.
    std::vector<std::string> errors = boxes(PortCallKind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("ARTI_COD"), std::string::npos) << errors[0];
    EXPECT_EQ(boxes(PortCallKind::Failure), std::vector<std::string>{});
    EXPECT_EQ(port_.count(PortCallKind::Close), 0);
    EXPECT_EQ(invoiceCount(), 0);
    EXPECT_TRUE(cleanup_.cleaned.empty());
}

}  // namespace
}  // namespace invoicetest
