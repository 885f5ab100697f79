// The headless options of scheduled runs, each run as a separate process over one folder that
// holds one file of every kind: a stored invoice, a duplicate, a refused save, an amount that
// is no number, an unknown article, an unknown point of sale, a file held by another program
// and a file of another company. The report read back cell by cell against the databases,
// the exit statuses, --keep-going against stopping at the first failure, and --check, which
// must say what the real run then does while changing nothing.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "tests/support/csv.h"
#include "tests/support/file_holder.h"
#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CsvRow;

struct Result {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// One summary record of `day` (dd/mm/yyyy): cars, field 8 (a line of 01-07) and field 9 (a
// line of 01-04).
std::string record(const std::string& day, const std::string& cars, const std::string& f8 = "0",
                   const std::string& f9 = "0") {
    return day + ";x;y;" + cars + ";0;0;z;0;" + f8 + ";" + f9 + ";0;0;a;b;c;d;e;FD\r\n";
}

const char* const kHeader[] = {"file",   "record",         "outcome",         "company",
                               "prefix", "invoice_number", "invoice_id",      "total",
                               "vat",    "lines",          "branches_copied", "branches_pending",
                               "remote", "reason"};

class HeadlessReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        erp_.addCompany("001");
        erp_.addCompany("002");
        // Point of sale 14 is a centre of company 001, but no point of sale there.
        testsupport::execSql(erp_.generalPath(), "INSERT INTO CENTROS VALUES ('14', '001', 'X')");
        exec("ALTER TABLE FACTURAS_DETALLE ADD CONSTRAINT CK_PRUEBA CHECK (FADE_PRUNIT <> 777)");
        exec("DELETE FROM ARTICULO WHERE ARTI_COD = '01-04'");
        for (const char* d : {"xdg/Ostrel", "install", "work", "in", "bin"})
            fs::create_directories(dir_.file(d));
        std::ofstream(dir_.file("xdg/Ostrel/Quorvan2021.conf"))
            << "Directorio=" << dir_.file("install") << "\n";
        std::ofstream(dir_.file("install/settings.conf"), std::ios::binary)
            << erp_.root() << "\r\nSYSDBA\r\nx\r\n001\r\n-\r\nAB01\r\n"
            << dir_.file("in") << "\r\n\r\n";
        std::ofstream(dir_.file("bin/winscp.com")) << "#!/bin/sh\nexit 0\n";
        fs::permissions(dir_.file("bin/winscp.com"), fs::perms::owner_all);

        write("[RDE_12_20240101.txt", record("01/01/2024", "1500"));
        write("[RDE_12_20240101b.txt", record("01/01/2024", "1500"));
        write("[RDE_12_20240103.txt", record("03/01/2024", "100", "777"));
        write("[RDE_12_20240104.txt", record("04/01/2024", "100", "0", "12a"));
        write("[RDE_12_20240107.txt", record("07/01/2024", "100"));
        write("[RDE_13_20240105.txt", record("05/01/2024", "100", "0", "50"));
        write("[RDE_14_20240106.txt", record("06/01/2024", "100"));
        write("[RDE_21_20240108.txt", record("08/01/2024", "2000"));
        held_ = std::make_unique<testsupport::FileHolder>(in("[RDE_12_20240107.txt"));
        ASSERT_TRUE(held_->holding());
    }

    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(in(name), std::ios::binary) << bytes;
    }
    std::string in(const std::string& name) const { return dir_.file("in/" + name); }
    void exec(const std::string& sql, const std::string& cia = "001") {
        testsupport::execSql(erp_.companyPath(cia), sql);
    }

    Result run(const std::string& args) {
        const std::string cmd =
            "cd '" + dir_.file("work") + "' && XDG_CONFIG_DIRS='" + dir_.file("xdg") +
            "' IMPORTARFAC_TRANSFER_OPEN_LINE='open x' IMPORTARFAC_TRANSFER_CLIENT='" +
            dir_.file("bin/winscp.com") + "' '" + BINARY_DIR + "/importarfac' --headless " +
            "--pause-ms 0 " + args + " >'" + dir_.file("out") + "' 2>'" + dir_.file("err") + "'";
        const int raw = std::system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir_.file("out")),
                slurp(dir_.file("err"))};
    }
    // The rows of a report but the header and, into `remote` when given, the rows that say
    // how a removal on the server ended (they come whenever the client ends).
    std::vector<CsvRow> report(const std::string& name, std::vector<CsvRow>* remote = nullptr) {
        std::vector<CsvRow> rows = testsupport::parseCsv(slurp(dir_.file("work/" + name)));
        EXPECT_FALSE(rows.empty());
        if (!rows.empty()) {
            EXPECT_EQ(rows.front(), CsvRow(std::begin(kHeader), std::end(kHeader)));
            rows.erase(rows.begin());
        }
        std::vector<CsvRow> others;
        for (CsvRow& row : rows) {
            if (row.size() > 2 && row[2] == "remote") {
                if (remote) remote->push_back(std::move(row));
            } else {
                others.push_back(std::move(row));
            }
        }
        if (remote) std::sort(remote->begin(), remote->end());
        return others;
    }
    // FACT_ID, FACT_TOTAL, FACT_IVAMONTO and the number of lines of the invoice stored for a
    // prefix and day, as the report writes them.
    std::vector<std::string> stored(const std::string& prefix, const std::string& date,
                                    const std::string& cia = "001") {
        const auto rows = testsupport::queryRows(
            erp_.companyPath(cia),
            "SELECT F.FACT_ID, F.FACT_TOTAL, F.FACT_IVAMONTO, (SELECT COUNT(*) FROM "
            "FACTURAS_DETALLE D WHERE D.FACT_ID = F.FACT_ID) FROM FACTURAS F WHERE PREF_PRE = '" +
                prefix + "' AND FACT_FECHA = '" + date + "'");
        EXPECT_EQ(rows.size(), 1u) << prefix << " " << date;
        return rows.empty() ? std::vector<std::string>(4) : rows[0];
    }
    std::string invoices(const std::string& cia) {
        return testsupport::queryValue(erp_.companyPath(cia), "SELECT COUNT(*) FROM FACTURAS");
    }
    std::set<std::string> folder() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_.file("in")))
            names.insert(e.path().filename().string());
        return names;
    }

    testsupport::StandInErp erp_;
    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::FileHolder> held_;
};

// A cell of an expected row: the text itself, or with a leading '~' a text it contains.
void expectRow(const CsvRow& got, const std::vector<std::string>& want) {
    ASSERT_EQ(got.size(), want.size()) << testing::PrintToString(got);
    for (size_t i = 0; i < want.size(); ++i) {
        if (!want[i].empty() && want[i][0] == '~')
            EXPECT_NE(got[i].find(want[i].substr(1)), std::string::npos)
                << kHeader[i] << " of " << got[0] << ": " << got[i];
        else
            EXPECT_EQ(got[i], want[i]) << kHeader[i] << " of " << got[0] << " " << got[1];
    }
}

TEST_F(HeadlessReportTest, KeepGoingStoresEveryGoodFileKeepsEveryBadOneAndReportsEachRow) {
    const Result r = run("--keep-going --report informe.csv");
    EXPECT_EQ(r.status, 4) << r.err;  // refused and unreadable things: a person must look

    const std::string folderText = dir_.file("in") + "/";
    const std::vector<std::string> first = stored("AB01", "2024-01-01");
    const std::vector<std::string> other = stored("CD01", "2024-01-08", "002");
    const std::string lastRefused = "La última factura del archivo no se guardó";
    const std::vector<std::vector<std::string>> want = {
        {"[RDE_12_20240101.txt", "1", "stored", "001", "AB01", "20240101", first[0], first[1],
         first[2], first[3], "0", "0", "", ""},
        {"[RDE_12_20240101.txt", "", "removed", "001", "AB01", "", "", "", "", "", "", "",
         "started", ""},
        {"[RDE_12_20240101b.txt", "1", "duplicate", "001", "AB01", "20240101", first[0], "", "", "",
         "", "", "", ""},
        {"[RDE_12_20240101b.txt", "", "removed", "001", "AB01", "", "", "", "", "", "", "",
         "started", ""},
        // 100 for cars and 777 for field 8: refused, so no lines and no sums.
        {"[RDE_12_20240103.txt", "1", "refused", "001", "AB01", "20240103", "", "", "", "", "", "",
         "", "~CK_PRUEBA"},
        {"[RDE_12_20240103.txt", "", "kept", "001", "AB01", "", "", "", "", "", "", "", "",
         "~" + lastRefused},
        {"[RDE_12_20240104.txt", "1", "refused", "001", "AB01", "20240104", "", "", "", "", "", "",
         "", "'12a' is not a valid floating point value"},
        {"[RDE_12_20240104.txt", "", "kept", "001", "AB01", "", "", "", "", "", "", "", "",
         "'12a' is not a valid floating point value"},
        {"[RDE_12_20240107.txt", "", "not_openable", "", "", "", "", "", "", "", "", "", "",
         "Error al abrir el archivo" + folderText + "[RDE_12_20240107.txt"},
        {"[RDE_13_20240105.txt", "1", "refused", "001", "AB02", "20240105", "", "", "", "", "", "",
         "", "~Código '01-04' no encontrado."},
        {"[RDE_13_20240105.txt", "", "kept", "001", "AB02", "", "", "", "", "", "", "", "",
         "~Código '01-04' no encontrado."},
        {"[RDE_14_20240106.txt", "", "skipped", "001", "", "", "", "", "", "", "", "", "",
         "No hay punto de venta para el archivo " + folderText + "[RDE_14_20240106.txt"},
        {"[RDE_21_20240108.txt", "1", "stored", "002", "CD01", "20240108", other[0], other[1],
         other[2], other[3], "0", "0", "", ""},
        {"[RDE_21_20240108.txt", "", "removed", "002", "CD01", "", "", "", "", "", "", "",
         "started", ""},
    };
    std::vector<CsvRow> remote;
    const std::vector<CsvRow> rows = report("informe.csv", &remote);
    ASSERT_EQ(rows.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) expectRow(rows[i], want[i]);
    EXPECT_EQ(first[1], "1785.00");
    // Each removed file's client ended well.
    const std::vector<std::vector<std::string>> removedThere = {
        {"[RDE_12_20240101.txt", "", "remote", "001", "AB01", "", "", "", "", "", "", "", "removed",
         ""},
        {"[RDE_12_20240101b.txt", "", "remote", "001", "AB01", "", "", "", "", "", "", "",
         "removed", ""},
        {"[RDE_21_20240108.txt", "", "remote", "002", "CD01", "", "", "", "", "", "", "", "removed",
         ""},
    };
    ASSERT_EQ(remote.size(), removedThere.size());
    for (size_t i = 0; i < remote.size(); ++i) expectRow(remote[i], removedThere[i]);
    EXPECT_NE(r.out.find("remote: removed 3, failed 0, timed out 0, not started 0"),
              std::string::npos)
        << r.out;

    // The good files went, the bad ones stayed; only the good invoices are stored.
    EXPECT_EQ(folder(), (std::set<std::string>{"[RDE_12_20240103.txt", "[RDE_12_20240104.txt",
                                               "[RDE_12_20240107.txt", "[RDE_13_20240105.txt",
                                               "[RDE_14_20240106.txt", "erroresimp.txt"}));
    EXPECT_EQ(invoices("001"), "1");
    EXPECT_EQ(invoices("002"), "1");
    // The summary names what a person must look at.
    for (const char* line : {"refused: [RDE_12_20240103.txt record 1: ",
                             "kept: [RDE_12_20240104.txt: '12a' is not a valid",
                             "skipped: [RDE_14_20240106.txt: No hay punto de venta"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_EQ(r.out.find("[RDE_12_20240107.txt"), std::string::npos) << r.out;

    // Once the bad files are dealt with, a file another program holds is no reason to call a
    // person: it is read the night after.
    for (const char* bad : {"[RDE_12_20240103.txt", "[RDE_12_20240104.txt", "[RDE_13_20240105.txt",
                            "[RDE_14_20240106.txt"})
        fs::remove(in(bad));
    EXPECT_EQ(run("--keep-going --report informe.csv").status, 0);
    held_.reset();
    EXPECT_EQ(run("--keep-going --report informe.csv").status, 0);
    EXPECT_EQ(report("informe.csv")[0][2], "stored");
    EXPECT_EQ(folder(), std::set<std::string>{"erroresimp.txt"});
}

// Without --keep-going, the first failure that is not a refused save stops the run there; the
// files after it wait for the next run. The report says what happened up to there.
TEST_F(HeadlessReportTest, WithoutKeepGoingTheFirstFailureStopsTheRun) {
    const Result r = run("--report informe.csv");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'12a' is not a valid floating point value"), std::string::npos) << r.err;
    std::vector<std::string> outcomes;
    for (const CsvRow& row : report("informe.csv")) outcomes.push_back(row[0] + " " + row[2]);
    EXPECT_EQ(outcomes,
              (std::vector<std::string>{
                  "[RDE_12_20240101.txt stored", "[RDE_12_20240101.txt removed",
                  "[RDE_12_20240101b.txt duplicate", "[RDE_12_20240101b.txt removed",
                  "[RDE_12_20240103.txt refused", "[RDE_12_20240103.txt kept",
                  "[RDE_12_20240104.txt refused", "[RDE_12_20240104.txt kept",
                  "[RDE_12_20240107.txt not_reached", "[RDE_13_20240105.txt not_reached",
                  "[RDE_14_20240106.txt not_reached", "[RDE_21_20240108.txt not_reached"}));
    EXPECT_TRUE(fs::exists(in("[RDE_21_20240108.txt")));
    EXPECT_EQ(invoices("002"), "0");
}

// A branch that refuses its copy keeps nothing of it; the invoice is stored all the same, with
// its copy in the other branch, and the run names the branch that lacks it and ends with 4, so
// that a person sees to that branch.
TEST_F(HeadlessReportTest, ABranchThatRefusesItsCopyIsNamedAndCallsAPerson) {
    held_.reset();
    for (const auto& e : fs::directory_iterator(dir_.file("in")))
        if (e.path().filename() != "[RDE_12_20240101.txt") fs::remove(e.path());
    const std::string servers[] = {erp_.root() + "/srvA", erp_.root() + "/srvB"};
    const std::string taking = erp_.addBranch(servers[0], "101");
    const std::string refusing = erp_.addBranch(servers[1], "102");
    testsupport::execSql(refusing, "DELETE FROM ARTICULO WHERE ARTI_COD = '01-01';");
    exec(
        "INSERT INTO REPLICA_VENTAS (RPVE_COD, RPVE_NOMBRE, RPVE_SERVIDOR, RPVE_PREF, "
        "RPVE_PTVT, RPVE_PREFDES, RPVE_PTVTDES) VALUES ('101', 'A', " +
        testsupport::sqlQuote(servers[0]) + ", 'AB01', 12, 'SU01', 5);");
    exec(
        "INSERT INTO REPLICA_VENTAS (RPVE_COD, RPVE_NOMBRE, RPVE_SERVIDOR, RPVE_PREF, "
        "RPVE_PTVT, RPVE_PREFDES, RPVE_PTVTDES) VALUES ('102', 'B', " +
        testsupport::sqlQuote(servers[1]) + ", 'AB01', 12, 'SU02', 5);");

    const Result r = run("--report informe.csv");
    EXPECT_EQ(r.status, 4) << r.err;
    const std::string refusal = "Copia de la factura rechazada por la sucursal " + refusing +
                                ": Está borrando o insertando un registro en la tabla factreplica";
    const std::vector<std::string> first = stored("AB01", "2024-01-01");
    const std::vector<CsvRow> rows = report("informe.csv");
    ASSERT_EQ(rows.size(), 2u);
    expectRow(rows[0], {"[RDE_12_20240101.txt", "1", "stored", "001", "AB01", "20240101", first[0],
                        first[1], first[2], first[3], "1", "0", "", "~" + refusal});
    EXPECT_EQ(rows[1][2], "removed");
    EXPECT_NE(r.out.find("stored: [RDE_12_20240101.txt record 1: " + refusal), std::string::npos)
        << r.out;
    EXPECT_EQ(testsupport::queryValue(taking, "SELECT COUNT(*) FROM FACTURAS"), "1");
    for (const char* table : {"FACTURAS", "FACTURAS_DETALLE"})
        EXPECT_EQ(testsupport::queryValue(refusing, std::string("SELECT COUNT(*) FROM ") + table),
                  "0");
    EXPECT_EQ(testsupport::queryValue(erp_.companyPath("001"),
                                      "SELECT COUNT(*) FROM REPLICA_ARTICULO_ESTADO"),
              "0");
}

// The databases of the three kinds, table by table, and their generators.
std::string snapshot(const std::string& db) {
    std::string sql;
    for (const auto& t : testsupport::queryRows(
             db,
             "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 "
             "AND RDB$VIEW_BLR IS NULL ORDER BY 1"))
        sql += "SELECT '" + t[0] + "', T.* FROM " + t[0] + " T;\n";
    for (const auto& g : testsupport::queryRows(
             db,
             "SELECT TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS WHERE RDB$SYSTEM_FLAG = 0 "
             "ORDER BY 1"))
        sql += "SELECT '" + g[0] + "', GEN_ID(" + g[0] + ", 0) FROM RDB$DATABASE;\n";
    return testsupport::querySql(db, sql);
}

// The summary's counts are those of the report's rows: every file found has one row (removed,
// kept, skipped, not openable, not reached), every file read is removed or kept, every record
// is stored, a duplicate or refused.
void expectCountsOfTheRows(const std::string& summary, const std::vector<CsvRow>& rows) {
    std::map<std::string, int> files, records;
    for (size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].size() < 3) continue;
        ++(rows[i][1].empty() ? files : records)[rows[i][2]];
    }
    const int found = files["removed"] + files["kept"] + files["skipped"] + files["not_openable"] +
                      files["not_reached"];
    std::string line = "files: found " + std::to_string(found) + ", read " +
                       std::to_string(files["removed"] + files["kept"]) + ", removed " +
                       std::to_string(files["removed"]) + ", kept " +
                       std::to_string(files["kept"] + files["skipped"]) + ", not openable " +
                       std::to_string(files["not_openable"]);
    if (files["not_reached"] > 0) line += ", not reached " + std::to_string(files["not_reached"]);
    EXPECT_NE(summary.find(line + "\n"), std::string::npos) << line << "\n" << summary;
    const std::string invoices = "invoices: saved " + std::to_string(records["stored"]) +
                                 ", duplicates " + std::to_string(records["duplicate"]) +
                                 ", refused " + std::to_string(records["refused"]) + "\n";
    EXPECT_NE(summary.find(invoices), std::string::npos) << invoices << summary;
}

// The dry run foresees the run it is a check for, with the same options, file by file and
// record by record: the same outcome and the same reason for a refused posting (a prefix
// without a sales interface), a refused row, an amount that is no number, an unknown article,
// an unknown point of sale, a duplicate, a file another program holds and a branch out of
// reach, and the same exit status; the check itself changes nothing (every table and generator,
// the folder, the working directory). Without --keep-going both stop at the first failure and
// list the files after it as not reached.
class CheckForesight : public HeadlessReportTest,
                       public ::testing::WithParamInterface<const char*> {};

TEST_P(CheckForesight, TheCheckSaysWhatTheRunThenDoesAndChangesNothing) {
    exec("DELETE FROM INTERFAZ_VENTAS WHERE PREF_PRE = 'CD01'", "002");
    exec(
        "INSERT INTO REPLICA_VENTAS (RPVE_COD, RPVE_NOMBRE, RPVE_SERVIDOR, RPVE_PREF, RPVE_PTVT, "
        "RPVE_PREFDES, RPVE_PTVTDES) VALUES ('109', 'LEJOS', " +
        testsupport::sqlQuote(erp_.root() + "/ninguno") + ", 'AB01', 12, 'SU09', 5);");
    auto everything = [&] {
        std::string all = snapshot(erp_.generalPath()) + snapshot(erp_.companyPath("001")) +
                          snapshot(erp_.companyPath("002"));
        for (const auto& e : fs::directory_iterator(dir_.file("in")))
            all += e.path().filename().string() + "\n" + slurp(e.path().string());
        for (const auto& e : fs::directory_iterator(dir_.file("work")))
            all += e.path().filename().string() + "\n";
        return all;
    };
    const std::string options = GetParam();
    const std::string before = everything();
    const Result check = run("--check " + options + " --report ../control.csv");
    EXPECT_NE(check.out.find("check: nothing was written"), std::string::npos) << check.out;
    EXPECT_EQ(everything(), before);

    const Result real = run(options + " --report informe.csv");
    EXPECT_EQ(check.status, real.status) << check.err << "\n" << real.err;
    EXPECT_EQ(real.status, options.empty() ? 1 : 4) << real.err;
    // Row by row, but the ids the run draws and how each removal on the server ends, which are
    // the two things a check cannot know.
    const std::vector<CsvRow> predicted = testsupport::parseCsv(slurp(dir_.file("control.csv")));
    std::vector<CsvRow> happened = testsupport::parseCsv(slurp(dir_.file("work/informe.csv")));
    std::erase_if(happened, [](const CsvRow& row) { return row.size() > 2 && row[2] == "remote"; });
    ASSERT_EQ(predicted.size(), happened.size());
    bool refusedPosting = false;
    for (size_t i = 1; i < happened.size(); ++i) {
        SCOPED_TRACE(happened[i][0] + " " + happened[i][1]);
        ASSERT_EQ(predicted[i].size(), happened[i].size());
        for (size_t c = 0; c < happened[i].size(); ++c)
            if (c != 6 && c != 12) {
                EXPECT_EQ(predicted[i][c], happened[i][c]) << kHeader[c];
            }
        refusedPosting = refusedPosting ||
                         (happened[i][0] == "[RDE_21_20240108.txt" && happened[i][2] == "refused");
    }
    EXPECT_EQ(refusedPosting, !options.empty());  // without --keep-going the run stops before
    EXPECT_EQ(happened[1][11], "1");              // the branch out of reach: pending
    expectCountsOfTheRows(check.out, predicted);
    expectCountsOfTheRows(real.out, happened);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutKeepGoing, CheckForesight,
                         ::testing::Values("--keep-going", ""));

}  // namespace
