// The detail lines of imported invoices, read back from the company database after a run:
// which lines a summary record makes, in which order, and every column they carry.
#include <gtest/gtest.h>

#include "tests/db/invoice_fixture.h"

namespace invoicetest {
namespace {

class InvoiceLinesTest : public InvoiceImportTest {
  protected:
    // The lines of every stored invoice, by invoice date and item.
    std::vector<Row> lines(const std::string& columns) {
        return rows("SELECT " + columns +
                    " FROM FACTURAS F JOIN FACTURAS_DETALLE D ON D.FACT_ID = F.FACT_ID"
                    " ORDER BY F.FACT_FECHA, D.FADE_ITEM");
    }
};

TEST_F(InvoiceLinesTest, AmountLinesTruncateThePriceAndRoundTheVatHalfToEven) {
    struct Case {
        std::string Summary::*field;
        std::string text;
        const char *code, *reference, *price, *vat, *total;
    } cases[] = {
        {&Summary::motos, "1500", "01-01", "MOTOS", "1500.00", "285.00", "1785.00"},
        {&Summary::cars, "1234.56", "01-01", "AUTOS", "1234.00", "235.00", "1469.00"},  // 234.5664
        {&Summary::bicis, "150", "01-01", "BICICLETAS", "150.00", "28.00", "178.00"},   // 28.5
        {&Summary::f7, "250", "01-07", "<null>", "250.00", "48.00", "298.00"},          // 47.5
        {&Summary::f8, "0.00", "01-03", "<null>", "0.00", "0.00", "0.00"},
        {&Summary::f9, " 0", "01-04", "<null>", "0.00", "0.00", "0.00"},
        {&Summary::cars, "1234,99", "01-01", "AUTOS", "1234.00", "235.00", "1469.00"},  // 234.6481
        {&Summary::cars, " 99.99 ", "01-01", "AUTOS", "99.00", "19.00", "118.00"},      // 18.9981
        {&Summary::cars, "-1234.56", "01-01", "AUTOS", "-1234.00", "-235.00", "-1469.00"},
        {&Summary::motos, "0.5", "01-01", "MOTOS", "0.00", "0.00", "0.00"},  // VAT 0.095
    };
    // One file, and so one invoice, a day.
    int day = 1;
    for (const Case& c : cases) {
        Summary s;
        s.*c.field = c.text;
        char name[40];
        std::snprintf(name, sizeof name, "[RDE_12_202401%02d.txt", day++);
        write(name, {s});
    }
    run();
    EXPECT_TRUE(boxes(app::PortCallKind::Failure).empty());
    std::vector<Row> got = lines(
        "D.FADE_ITEM, D.FADE_CODBAR, D.FADE_REFERENCIA, D.FADE_PRUNIT, D.FADE_IVAMONTO, "
        "D.FADE_TOTAL");
    ASSERT_EQ(got.size(), std::size(cases));
    for (size_t i = 0; i < got.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("amount '" + c.text + "'");
        EXPECT_EQ(got[i], (Row{"1", c.code, c.reference, c.price, c.vat, c.total}));
    }
}

TEST_F(InvoiceLinesTest, EveryLineCarriesTheArticleWarehousePriceListAndFixedColumns) {
    Summary s;
    s.cars = "100";
    s.motos = "200";
    s.bicis = "300";
    s.f7 = "400";
    s.f8 = "500";
    s.f9 = "600";
    s.groups = {"XYZ 12.3.0"};
    write("[RDE_12_20240131.txt", {s});
    run();
    EXPECT_TRUE(boxes(app::PortCallKind::Failure).empty());

    // Amount lines in field order, then the discount lines; items without gaps.
    EXPECT_EQ(lines("D.FADE_ITEM, D.FADE_CODBAR, D.ARTI_COD, D.FADE_REFERENCIA, D.FADE_DESC"),
              (std::vector<Row>{
                  {"1", "01-01", "01-01", "AUTOS", "SERVICIO DE PARQUEADERO"},
                  {"2", "01-01", "01-01", "MOTOS", "SERVICIO DE PARQUEADERO"},
                  {"3", "01-01", "01-01", "BICICLETAS", "SERVICIO DE PARQUEADERO"},
                  {"4", "01-07", "01-07", "<null>", "CAFETERIA"},
                  {"5", "01-03", "01-03", "<null>", "LAVADO DE VEHICULOS"},
                  {"6", "01-04", "01-04", "<null>", "MENSUALIDADES"},
                  {"7", "01-01", "01-01", "AUTOS XYZ", "SERVICIO DE PARQUEADERO"},
                  {"8", "01-01", "01-01", "MOTOS XYZ", "SERVICIO DE PARQUEADERO"},
              }));

    // Point of sale 12: warehouse 01; its customer 800100200: price list 1. The consumption
    // tax of 01-07 (150) is overwritten with 0; FADE_DTO3 and the never-set columns stay NULL.
    const Row common = {"01",     "1",      "UND",    "1.0000", "19.0000", "0.00",  "0.0000",
                        "0.0000", "<null>", "0.00",   "0.00",   "0.00",    "N",     "N",
                        "<null>", "<null>", "<null>", "<null>", "<null>",  "<null>"};
    std::vector<Row> got = lines(
        "D.BODE_COD, D.LIPR_COD, D.FADE_UNIDAD, D.FADE_CANT, D.FADE_IVAPORC, "
        "D.FADE_CONSUMO, D.FADE_DTO1, D.FADE_DTO2, D.FADE_DTO3, D.FADE_DTOM1, D.FADE_DTOM2, "
        "D.FADE_DTOM3, D.FADE_ANULADO, D.FADE_TRANSMIT, D.FADE_LOTE, D.FADE_REMISIONADO, "
        "D.FADE_DEVUELTO, D.FADE_FACTORLISTA, D.FADE_CAJAS, D.FADE_OBS");
    ASSERT_EQ(got.size(), 8u);
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], common) << "item " << i + 1;

    EXPECT_EQ(lines("D.FADE_PRUNIT, D.FADE_DTOPORC, D.FADE_DTOMONTO, D.FADE_IVAMONTO, "
                    "D.FADE_TOTAL"),
              (std::vector<Row>{
                  {"100.00", "0.0000", "0.00", "19.00", "119.00"},
                  {"200.00", "0.0000", "0.00", "38.00", "238.00"},
                  {"300.00", "0.0000", "0.00", "57.00", "357.00"},
                  {"400.00", "0.0000", "0.00", "76.00", "476.00"},
                  {"500.00", "0.0000", "0.00", "95.00", "595.00"},
                  {"600.00", "0.0000", "0.00", "114.00", "714.00"},
                  {"12.00", "100.0000", "12.00", "0.00", "0.00"},
                  {"3.00", "100.0000", "3.00", "0.00", "0.00"},
              }));
}

TEST_F(InvoiceLinesTest, DiscountGroupColumnsMakeALinePerValueThatIsNeitherEmptyNorZero) {
    struct Case {
        std::vector<std::string> groups;
        bool fd;
        std::vector<Row> lines;  // reference, price
    };
    std::vector<std::string> full(33, "G  1.0.0");  // fields 17 to 49
    full.push_back("H  2.2.2");                     // field 50 is never read
    const std::string longName(70, 'N');
    const Case cases[] = {
        {{"XYZ 12.3.0"}, true, {{"AUTOS XYZ", "12.00"}, {"MOTOS XYZ", "3.00"}}},
        // Two blanks before the 3: the three characters before the point are " 3" and "3".
        {{"EMPLEADOS  3.1.0"}, true, {{"AUTOS EMPLEADOS", "3.00"}, {"MOTOS EMPLEADOS", "1.00"}}},
        // An empty column makes no line and does not end the columns; "00" is not "0".
        {{"", "ABC100.00.7"},
         true,
         {{"AUTOS ABC", "100.00"}, {"MOTOS ABC", "0.00"}, {"BICIS ABC", "7.00"}}},
        // Nothing after FD is read.
        {{"A  1.2.3", "FD", "B  4.5.6"},
         true,
         {{"AUTOS A", "1.00"}, {"MOTOS A", "2.00"}, {"BICIS A", "3.00"}}},
        // Fewer than three characters before the point: the value is the first three and
        // the group has no name; without a second point the whole text is the third value.
        {{"7.0"}, true, {{"AUTOS ", "7.00"}, {"BICIS ", "7.00"}}},
        // A reference is cut to its column's 60 characters.
        {{longName + "  5.0.0"}, true, {{("AUTOS " + longName).substr(0, 60), "5.00"}}},
        {{}, true, {}},
    };
    int day = 1;
    for (const Case& c : cases) {
        Summary s;
        s.groups = c.groups;
        s.fd = c.fd;
        char name[40];
        std::snprintf(name, sizeof name, "[RDE_12_202402%02d.txt", day++);
        write(name, {s});
    }
    Summary withoutFd;
    withoutFd.groups = full;
    withoutFd.fd = false;
    write("[RDE_12_20240301.txt", {withoutFd});
    run();
    EXPECT_EQ(boxes(app::PortCallKind::Failure), std::vector<std::string>{});
    EXPECT_EQ(invoiceCount(), static_cast<int>(std::size(cases)) + 1);

    day = 1;
    for (const Case& c : cases) {
        char date[20];
        std::snprintf(date, sizeof date, "2024-02-%02d", day++);
        SCOPED_TRACE(c.groups.empty() ? std::string("no columns") : c.groups.back());
        EXPECT_EQ(rows("SELECT D.FADE_REFERENCIA, D.FADE_PRUNIT FROM FACTURAS F JOIN "
                       "FACTURAS_DETALLE D ON D.FACT_ID = F.FACT_ID WHERE F.FACT_FECHA = '" +
                       std::string(date) + "' ORDER BY D.FADE_ITEM"),
                  c.lines);
    }
    std::vector<Row> many = rows(
        "SELECT D.FADE_REFERENCIA, COUNT(*), MIN(D.FADE_ITEM), MAX(D.FADE_ITEM) FROM FACTURAS F "
        "JOIN FACTURAS_DETALLE D ON D.FACT_ID = F.FACT_ID WHERE F.FACT_FECHA = '2024-03-01' "
        "GROUP BY D.FADE_REFERENCIA");
    EXPECT_EQ(many, (std::vector<Row>{{"AUTOS G", "33", "1", "33"}}));
}

TEST_F(InvoiceLinesTest, AllAmountsZeroAndNoColumnsMakeAnInvoiceWithoutLines) {
    Summary s;
    s.bicis = "0";
    s.tax = "0";
    s.total = "0";
    write("[RDE_12_20240131.txt", {s});
    run();
    EXPECT_EQ(invoiceCount(), 1);
    EXPECT_EQ(lineCount(), 0);
    EXPECT_EQ(cleanup_.cleaned, std::vector<std::string>{"[RDE_12_20240131.txt"});
}

TEST_F(InvoiceLinesTest, TheUnitFactorOfTheArticleIsStoredRoundedToFourDecimals) {
    exec(
        "INSERT INTO ARTICULO_UNIDAD (ARTI_COD, UNID_COD, ARUN_FACTOR) "
        "VALUES ('01-03', 'UND', 2.12345678)");
    Summary s;
    s.cars = "10";
    s.f8 = "20";
    write("[RDE_12_20240131.txt", {s});
    run();
    EXPECT_EQ(lines("D.FADE_CODBAR, D.FADE_FACTOR"),
              (std::vector<Row>{{"01-01", "1.0000"}, {"01-03", "2.1235"}}));
}

TEST_F(InvoiceLinesTest, AnArticleFoundByBarcodeWithAQuoteIsLookedUpQuoted) {
    // 01-07 now resolves, through its barcode, to the article O'X; the tax and unit lookups
    // are sent with the quote doubled.
    exec(
        "INSERT INTO ARTICULO (ARTI_COD, ARTI_NOM, ARTI_UNIDAD, TAIV_COD, ARTI_CONSUMO, "
        "ARTI_CODBAR, ARTI_ACTIVO) VALUES ('O''X', 'CON COMILLA', 'UND', 3, 0, '01-07', 'S')");
    exec("DELETE FROM ARTICULO WHERE ARTI_COD = '01-07'");
    StatementLog log{fdm_};
    Summary s;
    s.f7 = "1000";
    write("[RDE_12_20240131.txt", {s});
    run();
    EXPECT_TRUE(boxes(app::PortCallKind::Failure).empty());
    EXPECT_EQ(lines("D.FADE_CODBAR, D.ARTI_COD, D.FADE_DESC, D.FADE_IVAPORC, D.FADE_IVAMONTO"),
              (std::vector<Row>{{"01-07", "O'X", "CON COMILLA", "5.0000", "50.00"}}));
    EXPECT_EQ(log.startingWith("select taiv_porc").back(),
              "select taiv_porc, arti_consumo from articulo a, tarifa_iva t where a.taiv_cod = "
              "t.taiv_cod and arti_cod = 'O''X'");
    EXPECT_EQ(log.startingWith("SELECT * FROM FACTOR_UNIDAD_CANT").back(),
              "SELECT * FROM FACTOR_UNIDAD_CANT('O''X','UND')");
}

}  // namespace
}  // namespace invoicetest
