// Bad input end to end through the run: malformed names, bytes that are no text, huge files,
// quotes in every value that reaches a statement, databases that lack a table or a procedure,
// an unreachable company database, read-only files. For each: what the user is told, which
// files stay, and that nothing of an invoice is half-stored.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <random>

#include "core/text.h"
#include "data/texts.h"
#include "import/cleanup.h"
#include "import/transfer_script.h"
#include "tests/db/invoice_fixture.h"
#include "tests/support/process_guards.h"

namespace invoicetest {
namespace {

using app::PortCallKind;
using importer::RecordOutcome;

class BadInputTest : public InvoiceImportTest {
  protected:
    std::vector<std::string> failures() const { return boxes(PortCallKind::Failure); }
    bool closed() const { return port_.count(PortCallKind::Close) > 0; }
    // Every stored invoice with its number of lines, "PREF_PRE FACT_FECHA lines".
    std::vector<Row> invoices(const std::string& cia = "001") const {
        return rows(
            "SELECT F.PREF_PRE, F.FACT_FECHA, (SELECT COUNT(*) FROM FACTURAS_DETALLE D WHERE "
            "D.FACT_ID = F.FACT_ID) FROM FACTURAS F ORDER BY F.PREF_PRE, F.FACT_FECHA",
            cia);
    }
};

TEST_F(BadInputTest, MalformedNamesStopTheRunBeforeAnythingIsStored) {
    struct Case {
        std::string name, failure;
    } cases[] = {
        {"[RDE_12_2024013.txt", "'2024/01/3.' is not a valid date"},
        {"[RDE_12_2024ab31.txt", "'2024/ab/31' is not a valid date"},
        {"[RDE_12_20241331.txt", "'2024/13/31' is not a valid date"},
        {"[RDE_12_20240230.txt", "'2024/02/30' is not a valid date"},
        {"[RDE_12_.txt", "'.txt//' is not a valid date"},
        {"[RDE_12.txt", "'//' is not a valid date"},
        {"[RDE.txt", "'//' is not a valid date"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        write(c.name, {cars("1500")});
        write("[RDE_13_20240131.txt", {cars("1500")});  // sorted after: not reached
        run();
        EXPECT_EQ(failures(), std::vector<std::string>{c.failure});
        EXPECT_FALSE(closed());  // the window stays open with its message panel
        EXPECT_TRUE(exists(c.name));
        EXPECT_TRUE(exists("[RDE_13_20240131.txt"));
        EXPECT_EQ(invoiceCount(), 0);
        EXPECT_TRUE(cleanup_.cleaned.empty());
    }
}

// A NUL byte cuts its field short, so a summary record holding one is refused with a log
// line rather than imported with a cut amount; the file stays for a person to look at.
TEST_F(BadInputTest, BytesThatAreNoTextNeverHalfStoreAnInvoice) {
    using namespace std::string_literals;
    std::mt19937 random(20240131);
    std::string binary(64 * 1024, '\0');
    for (char& c : binary) c = static_cast<char>(random() & 0xFF);
    const std::string valid = cars("1500").line();
    Summary highBytes = cars("1500");
    highBytes.groups = {"A\xD1O  5.0.0"};  // "AÑO" in Windows-1252
    Summary nulInGroup = cars("1500");
    nulInGroup.groups = {"N\0L  5.0.0"s};
    const std::vector<Row> one = {{"AB01", "", "1"}};

    struct Case {
        const char* what;
        std::string bytes;
        std::vector<Row> invoices;  // prefix, (the case's day), lines
        bool removed;
        bool logged;  // "Registro con un byte nulo en <file>"
    } cases[] = {
        {"empty file", "", {}, false, false},
        {"random bytes", binary, {}, false, true},
        // A record of NULs may be a damaged summary record: the file stays for a look.
        {"NUL bytes in a record of their own", "\0\0\0\r\n"s + valid, one, false, true},
        {"NUL bytes after the last line end", valid + "\0\0\0"s, one, true, false},
        {"NUL byte inside an amount: 15<NUL>00 would be 15",
         cars("15\0"s
              "00")
             .line(),
         {},
         false,
         true},
        {"NUL byte in a text field",
         "01/01/2024;x\0y"s + valid.substr(valid.find(";y;")),
         {},
         false,
         true},
        {"NUL byte in a discount-group name", nulInGroup.line(), {}, false, true},
        {"NUL byte in field 0 before the date", "01/0\0"s + valid.substr(4), {}, false, true},
        {"Windows-1252 letters in a discount-group name",
         highBytes.line(),
         {{"AB01", "", "2"}},
         true,
         false},
        {"a record ended by a lone CR swallows the next byte", "xx\rZ" + valid, one, true, false},
    };
    int day = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        exec("DELETE FROM FACTURAS");
        cleanup_.cleaned.clear();
        std::filesystem::remove(folder_ + "/erroresimp.txt");
        const std::string dd = std::to_string(31 - day++);
        const std::string name = "[RDE_12_202401" + dd + ".txt";
        write(name, c.bytes);
        run();
        EXPECT_EQ(failures(), std::vector<std::string>{});
        std::vector<Row> expected = c.invoices;
        for (Row& r : expected) r[1] = "2024-01-" + dd;
        EXPECT_EQ(invoices(), expected);
        EXPECT_EQ(cleanup_.cleaned.size(), c.removed ? 1u : 0u);
        std::ifstream log(folder_ + "/erroresimp.txt", std::ios::binary);
        std::string logText((std::istreambuf_iterator<char>(log)), {});
        const std::string line = "Registro con un byte nulo en " + folder_ + "/" + name + "\r\n";
        const size_t at = logText.find(line);
        EXPECT_EQ(at != std::string::npos, c.logged) << logText;
        if (at != std::string::npos) {
            EXPECT_EQ(logText.size(), at + line.size()) << logText;  // one line per file
        }
        std::filesystem::remove(folder_ + "/" + name);
    }
}

TEST_F(BadInputTest, ADiscountGroupNameWithControlAndHighBytesIsStoredAsItStands) {
    Summary s = cars("0");
    s.groups = {"\x01\x7F\xFF  5.0.0"};
    write("[RDE_12_20240131.txt", {s});
    run();
    ASSERT_EQ(failures(), std::vector<std::string>{});
    EXPECT_EQ(rows("SELECT CHAR_LENGTH(FADE_REFERENCIA), ASCII_VAL(SUBSTRING(FADE_REFERENCIA "
                   "FROM 7 FOR 1)), ASCII_VAL(SUBSTRING(FADE_REFERENCIA FROM 8 FOR 1)), "
                   "ASCII_VAL(SUBSTRING(FADE_REFERENCIA FROM 9 FOR 1)) FROM FACTURAS_DETALLE"),
              (std::vector<Row>{{"9", "1", "127", "255"}}));
}

TEST_F(BadInputTest, AHugeFileIsReadToItsEndForItsOneSummaryRecord) {
    // 40 MB of detail records, then one summary record.
    std::string body;
    const std::string filler = "10:00;x;y;1;0;0;z;0;0;0;0;0;0;0;0;0;0;FD\r\n";
    body.reserve(40 * 1024 * 1024 + 100);
    while (body.size() < 40u * 1024 * 1024) body += filler;
    body += cars("1500").line();
    write("[RDE_12_20240131.txt", body);
    run();
    EXPECT_EQ(failures(), std::vector<std::string>{});
    EXPECT_EQ(invoices(), (std::vector<Row>{{"AB01", "2024-01-31", "1"}}));
    EXPECT_EQ(cleanup_.cleaned, std::vector<std::string>{"[RDE_12_20240131.txt"});
    EXPECT_TRUE(closed());
}

TEST_F(BadInputTest, QuotesInEveryValueThatReachesAStatementAreStoredAsTheyStand) {
    // A point of sale whose prefix, customer, article and unit all carry a quote.
    testsupport::execSql(erp_.generalPath(), "INSERT INTO CENTROS VALUES ('14', '001', 'X')");
    exec("INSERT INTO TERCEROS (TERC_NIT, TERC_NOM) VALUES ('9''9', 'O''BRIEN')");
    exec("INSERT INTO CLIENTES (TERC_NIT, LIPR_COD, VEND_COD) VALUES ('9''9', 1, 7)");
    exec("INSERT INTO PREFIJOS (TIDO_COD, PREF_PRE, PREF_IVAINC) VALUES (31, 'A''B', 'S')");
    exec("INSERT INTO INTERFAZ_VENTAS (INVE_ID, TIDO_COD, PREF_PRE) VALUES (8, 31, 'A''B')");
    exec(
        "INSERT INTO PUNTO_VENTA (PTVT_ID, BODE_COD, PTVT_NOM, PREF_PRE, TERC_NIT) "
        "VALUES (14, '04', 'COMILLAS', 'A''B', '9''9')");
    exec(
        "INSERT INTO ARTICULO (ARTI_COD, ARTI_NOM, ARTI_UNIDAD, TAIV_COD, ARTI_CONSUMO, "
        "ARTI_CODBAR, ARTI_ACTIVO) VALUES ('O''X', 'D''ORO', 'U''N', 1, 0, '01-07', 'S')");
    exec("DELETE FROM ARTICULO WHERE ARTI_COD = '01-07'");
    exec(
        "INSERT INTO ARTICULO_UNIDAD (ARTI_COD, UNID_COD, ARUN_FACTOR) VALUES ('O''X', 'U''N', 3)");
    Summary s;
    s.f7 = "1000";
    s.groups = {"D'A  5.0.0", "'X'  6.0.0"};
    write("[RDE_14_20240131.txt", {s});
    write("[RDE_14_20240131b.txt", {s});  // the same day again: found by the quoted prefix
    run();
    ASSERT_EQ(failures(), std::vector<std::string>{});
    EXPECT_EQ(rows("SELECT PREF_PRE, TERC_NIT, FACT_NOMCLIENTE FROM FACTURAS"),
              (std::vector<Row>{{"A'B", "9'9", "O'BRIEN"}}));
    EXPECT_EQ(rows("SELECT FADE_ITEM, ARTI_COD, FADE_DESC, FADE_UNIDAD, FADE_FACTOR, "
                   "FADE_REFERENCIA FROM FACTURAS_DETALLE ORDER BY FADE_ITEM"),
              (std::vector<Row>{
                  {"1", "O'X", "D'ORO", "U'N", "3.0000", "<null>"},
                  {"2", "01-01", "SERVICIO DE PARQUEADERO", "UND", "1.0000", "AUTOS D'A"},
                  {"3", "01-01", "SERVICIO DE PARQUEADERO", "UND", "1.0000", "AUTOS 'X'"},
              }));
    EXPECT_EQ(cleanup_.cleaned,
              (std::vector<std::string>{"[RDE_14_20240131.txt", "[RDE_14_20240131b.txt"}));
}

// A company database that lacks something the run needs: the run stops with the database's
// own text and keeps the file, and nothing of the invoice is stored, also where the object is
// only needed after the save (the save, the totals and the posting are one transaction).
struct MissingObject {
    const char* drop;
    const char* unknown;  // how the database names what is missing
};

class MissingObjectTest : public BadInputTest,
                          public ::testing::WithParamInterface<MissingObject> {};

TEST_P(MissingObjectTest, StopsTheRunWithTheDatabasesTextAndStoresNothing) {
    const MissingObject& c = GetParam();
    exec(c.drop);
    write("[RDE_12_20240131.txt", {cars("1500")});
    run();
    ASSERT_EQ(failures().size(), 1u);
    EXPECT_EQ(failures()[0].rfind("SQL Server Error: Dynamic SQL Error", 0), 0u) << failures()[0];
    EXPECT_NE(failures()[0].find(c.unknown), std::string::npos) << failures()[0];
    EXPECT_FALSE(closed());
    EXPECT_TRUE(exists("[RDE_12_20240131.txt"));
    EXPECT_TRUE(cleanup_.cleaned.empty());
    EXPECT_EQ(invoiceCount(), 0);
    EXPECT_EQ(lineCount(), 0);
    EXPECT_EQ(value("SELECT COUNT(*) FROM CONTABILIDAD_ASIENTOS"), "0");
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, MissingObjectTest,
    ::testing::Values(
        MissingObject{"DROP TABLE CONFIGURACION", "Table unknown\n-CONFIGURACION"},
        MissingObject{"DROP TABLE PUNTO_VENTA", "Table unknown\n-PUNTO_VENTA"},
        MissingObject{"DROP PROCEDURE VALIDE_ARTICULO", "Procedure unknown\n-VALIDE_ARTICULO"},
        MissingObject{"DROP PROCEDURE ACTUALICE_TOTAL_DOCVENTA",
                      "Procedure unknown\n-ACTUALICE_TOTAL_DOCVENTA"},
        MissingObject{"DROP TABLE INTERFAZ_VENTAS", "Table unknown\n-INTERFAZ_VENTAS"},
        MissingObject{"DROP PROCEDURE CONTABILIZA_PENDIENTE",
                      "Procedure unknown\n-CONTABILIZA_PENDIENTE"}),
    [](const ::testing::TestParamInfo<MissingObject>& i) {
        std::string n = std::string(i.param.drop).substr(std::string(i.param.drop).rfind(' ') + 1);
        n.erase(std::remove(n.begin(), n.end(), '_'), n.end());
        return n;
    });

TEST_F(BadInputTest, AnUnreachableCompanyDatabaseStopsTheRunAtItsFirstFile) {
    std::filesystem::remove(company("002"));
    write("[RDE_12_20240131.txt", {cars("1500")});  // company 001
    write("[RDE_21_20240131.txt", {cars("1500")});  // company 002: its database is gone
    run();
    ASSERT_EQ(failures().size(), 1u);
    EXPECT_NE(failures()[0].find(company("002")), std::string::npos) << failures()[0];
    EXPECT_EQ(invoices(), (std::vector<Row>{{"AB01", "2024-01-31", "1"}}));
    EXPECT_EQ(cleanup_.cleaned, std::vector<std::string>{"[RDE_12_20240131.txt"});
    EXPECT_TRUE(exists("[RDE_21_20240131.txt"));
    EXPECT_FALSE(closed());
}

// The clean-up as the program has it, in a working directory of the test's own, with a
// transfer client that keeps every script it is given.
class RealCleanupTest : public BadInputTest {
  protected:
    RealCleanupTest() { cleanup_.real = &real_; }
    // Every script the clients were given, one after the other.
    std::string scripts() const {
        std::ifstream in(work_ + "/remote.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static std::string made(const std::string& folder) {
        std::filesystem::create_directories(folder);
        return folder;
    }
    static importer::TransferSetup setup(const std::string& work) {
        const std::string client = work + "/winscp.com";
        std::ofstream(client) << "#!/bin/sh\ncat \"${1#/script=}\" >> remote.log\n";
        std::filesystem::permissions(client, std::filesystem::perms::owner_all);
        importer::TransferSetup s;
        s.openLine = "open x";
        s.client = client;
        return s;
    }

    std::string work_ = made(dir_.file("work"));
    testsupport::CwdGuard cwd_{work_};
    importer::RemoteCleanup real_{platform::Env::system(), setup(work_),
                                  importer::CleanupOptions{0, {}}};
};

// Another program appends to the file while its invoice is imported: the bytes it added were
// not read, so the file stays here and on the server, with a line in the log; the next run
// finds the invoice stored and removes the file.
TEST_F(RealCleanupTest, AFileAppendedToWhileItIsImportedStaysForTheNextRun) {
    const std::string name = "[RDE_12_20240131.txt";
    write(name, {cars("1500")});
    steps_.after = [&](RecordOutcome) {
        std::ofstream(folder_ + "/" + name, std::ios::binary | std::ios::app) << cars("700").line();
    };
    run();
    EXPECT_EQ(failures(), std::vector<std::string>{});
    EXPECT_EQ(invoices(), (std::vector<Row>{{"AB01", "2024-01-31", "1"}}));
    EXPECT_TRUE(exists(name));
    EXPECT_EQ(scripts(), "");
    EXPECT_NE(
        errorLog().find("," + data::texts::kArchivoModificado + folder_ + "/" + name + "\r\n"),
        std::string::npos)
        << errorLog();

    steps_.after = nullptr;
    run();
    EXPECT_EQ(failures(), std::vector<std::string>{});
    EXPECT_EQ(invoices(), (std::vector<Row>{{"AB01", "2024-01-31", "1"}}));  // both duplicates
    EXPECT_FALSE(exists(name));
    EXPECT_EQ(scripts(), importer::transferScript("open x", name));
}

// A name holding a control character or a double quote cannot go into the transfer script:
// its invoice is stored, the file stays here and on the server, with a line in the log.
TEST_F(RealCleanupTest, ANameTheTransferScriptCannotCarryIsImportedAndKept) {
    for (const std::string name : {"[RDE_12_20240130\x01.txt", "[RDE_12_20240131\".txt"}) {
        SCOPED_TRACE(name);
        write(name, {cars("1500")});
        run();
        EXPECT_EQ(failures(), std::vector<std::string>{});
        EXPECT_TRUE(exists(name));
        // The log shows the name with its control character written out.
        EXPECT_NE(errorLog().find("," + data::texts::kNombreNoRemovible + folder_ + "/" +
                                  core::escapeControls(name)),
                  std::string::npos)
            << errorLog();
    }
    EXPECT_EQ(invoices(),
              (std::vector<Row>{{"AB01", "2024-01-30", "1"}, {"AB01", "2024-01-31", "1"}}));
    EXPECT_EQ(scripts(), "");
}

TEST_F(BadInputTest, AReadOnlyFlatFileIsReadAndCleanedUp) {
    write("[RDE_12_20240131.txt", {cars("1500")});
    ASSERT_EQ(::chmod((folder_ + "/[RDE_12_20240131.txt").c_str(), 0444), 0);
    run();
    EXPECT_EQ(failures(), std::vector<std::string>{});
    EXPECT_EQ(invoices(), (std::vector<Row>{{"AB01", "2024-01-31", "1"}}));
    EXPECT_EQ(cleanup_.cleaned, std::vector<std::string>{"[RDE_12_20240131.txt"});
}

}  // namespace
}  // namespace invoicetest
