// The two ways an invoice reaches the company database, one block per invoice (over a
// network) and statement by statement (in process), store the same thing: the same folder
// imported each way leaves identical databases, company and branches, every table and
// generator; a refusal is told with the same words; an invoice too large for one block goes
// statement by statement.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/no_chooser.h"
#include "app/program.h"
#include "data/texts.h"
#include "tests/db/invoice_fixture.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace {

using app::PortCallKind;
using importer::InvoiceImporter;
using invoicetest::Summary;
using testsupport::queryRows;
using testsupport::Row;
using Path = InvoiceImporter::SavePath;

// Every user table of `db`, its rows sorted, blobs as their text, `root` written as "<erp>";
// and every generator.
std::vector<Row> contents(const std::string& db, const std::string& root) {
    std::vector<Row> all;
    const std::vector<Row> tables =
        queryRows(db,
                  "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 AND "
                  "RDB$VIEW_BLR IS NULL ORDER BY 1;");
    for (const Row& t : tables) {
        const std::vector<Row> columns =
            queryRows(db,
                      "SELECT TRIM(R.RDB$FIELD_NAME), F.RDB$FIELD_TYPE FROM RDB$RELATION_FIELDS R "
                      "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE WHERE "
                      "R.RDB$RELATION_NAME = '" +
                          t[0] + "' ORDER BY R.RDB$FIELD_POSITION;");
        std::string list;
        for (const Row& c : columns)
            list +=
                (list.empty() ? "" : ", ") +
                (c[1] == "261" ? "CAST(\"" + c[0] + "\" AS VARCHAR(8000))" : "\"" + c[0] + "\"");
        std::vector<Row> rows = queryRows(db, "SELECT " + list + " FROM \"" + t[0] + "\";");
        std::sort(rows.begin(), rows.end());
        all.push_back({"table " + t[0], std::to_string(rows.size())});
        for (Row& r : rows) {
            for (std::string& v : r)
                for (size_t at; (at = v.find(root)) != std::string::npos;)
                    v.replace(at, root.size(), "<erp>");
            r.insert(r.begin(), t[0]);
            all.push_back(std::move(r));
        }
    }
    for (const Row& g : queryRows(db,
                                  "SELECT TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS WHERE "
                                  "RDB$SYSTEM_FLAG = 0 ORDER BY 1;"))
        all.push_back(
            {"generator " + g[0],
             testsupport::queryValue(db, "SELECT GEN_ID(\"" + g[0] + "\", 0) FROM RDB$DATABASE;")});
    return all;
}

// A record of the six amount lines and `groups` discount groups of three lines each.
Summary withGroups(int groups, const std::string& cars = "1000") {
    Summary s;
    s.cars = cars;
    s.motos = "1100";
    s.bicis = "1200";
    s.f7 = "1300";
    s.f8 = "1400";
    s.f9 = "1500";
    for (int g = 0; g < groups; ++g) s.groups.push_back("GRUPO" + std::to_string(g) + "   1.2.3");
    return s;
}

// An ERP with company 001, a branch reached and one out of reach that both ask for AB01's
// invoices, and the whole program over it, saving through `path`.
class SavePathRun {
  public:
    explicit SavePathRun(Path path) {
        company_ = erp_.addCompany("001");
        branch_ = erp_.addBranch(erp_.root() + "/srvA", "002");
        addBranchRow("002", erp_.root() + "/srvA", "XA01", "31");
        addBranchRow("003", erp_.root() + "/fuera", "XB01", "NULL");  // no database there
        folder_ = erp_.root() + "/in";
        std::filesystem::create_directories(folder_);
        program_.importer.setSavePath(path);
        program_.fdm.ConfigurarProviders(program_.window);
        app::FormModel& f = program_.window.form;
        f.Servidor.text = erp_.root();
        f.Tusua.text = "SYSDBA";
        f.TClave.text = "x";
        f.Cia.text = "001";
        f.Ubicacion.text = folder_;
        f.Separ.itemIndex = 1;  // ";"
        f.Delim.itemIndex = 0;  // no delimiter
    }

    void write(const std::string& name, const std::vector<Summary>& records) {
        std::string body;
        for (const Summary& s : records) body += s.line();
        std::ofstream(folder_ + "/" + name, std::ios::binary) << body;
    }
    void run() {
        port_.clear();
        program_.window.dispatch([&] {
            ASSERT_TRUE(program_.window.connectDatabases());
            program_.window.runImport();
        });
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testsupport::StandInErp erp_;
    std::string company_, branch_, folder_;
    app::RecordingPort port_;
    app::NoChooser chooser_;
    app::Program program_{port_, chooser_, importer::CleanupOptions{0, {}}};

  private:
    void addBranchRow(const std::string& cod, const std::string& servidor,
                      const std::string& prefdes, const std::string& ptvtdes) {
        testsupport::execSql(company_,
                             "INSERT INTO REPLICA_VENTAS (RPVE_COD, RPVE_NOMBRE, RPVE_SERVIDOR, "
                             "RPVE_PREF, RPVE_PTVT, RPVE_PREFDES, RPVE_PTVTDES) VALUES (" +
                                 testsupport::sqlQuote(cod) + ", 'SUCURSAL', " +
                                 testsupport::sqlQuote(servidor) + ", 'AB01', 12, " +
                                 testsupport::sqlQuote(prefdes) + ", " + ptvtdes + ");");
    }
};

// What a person was shown by the last run, each kind of box in order, the ERP's folder
// written as "<erp>".
std::vector<std::string> seen(const SavePathRun& r) {
    std::vector<std::string> all;
    for (PortCallKind k : {PortCallKind::Information, PortCallKind::Error, PortCallKind::Failure})
        for (std::string t : r.port_.texts(k)) {
            for (size_t at; (at = t.find(r.erp_.root())) != std::string::npos;)
                t.replace(at, r.erp_.root().size(), "<erp>");
            all.push_back(t);
        }
    return all;
}

// The rows of `a` missing from `b`, for a failure's message.
std::vector<Row> missing(const std::vector<Row>& a, const std::vector<Row>& b) {
    std::vector<Row> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

TEST(SavePaths, TheSameFolderLeavesTheSameDatabasesEitherWay) {
    SavePathRun block(Path::Block), statements(Path::Statements);
    for (SavePathRun* r : {&block, &statements}) {
        // A price the lines table refuses, and a day stored before the run.
        testsupport::execSql(r->company_,
                             "ALTER TABLE FACTURAS_DETALLE ADD CONSTRAINT CK_PRUEBA CHECK "
                             "(FADE_PRUNIT <> 777);");
        Summary refused = withGroups(2);
        refused.f8 = "777";
        r->write("[RDE_12_20240101.txt", {withGroups(8)});
        r->write("[RDE_12_20240102.txt", {refused, withGroups(1, "2000")});
        r->write("[RDE_12_20240103.txt", {withGroups(0, "3000"), withGroups(0, "3100")});
        r->write("[RDE_12_20240104.txt", {refused});
        r->write("[RDE_13_20240105.txt", {withGroups(4)});  // AB02: no branch asks for it
        r->run();
        // A day stored before: the next run finds it.
        r->write("[RDE_12_20240106.txt", {withGroups(0)});
        r->write("[RDE_12_20240101.txt", {withGroups(0, "5")});
        r->run();
    }
    EXPECT_EQ(seen(block), seen(statements));
    EXPECT_EQ(block.files(), statements.files());
    EXPECT_EQ(block.files(), std::vector<std::string>{"[RDE_12_20240104.txt"});
    for (auto [a, b] : {std::pair{block.company_, statements.company_},
                        std::pair{block.branch_, statements.branch_}}) {
        std::vector<Row> inBlock = contents(a, block.erp_.root()),
                         inStatements = contents(b, statements.erp_.root());
        std::sort(inBlock.begin(), inBlock.end());
        std::sort(inStatements.begin(), inStatements.end());
        EXPECT_EQ(missing(inBlock, inStatements), std::vector<Row>{}) << a;
        EXPECT_EQ(missing(inStatements, inBlock), std::vector<Row>{}) << a;
    }
    // What was compared holds what the folder asked for: five invoices stored and copied to
    // the branch reached, a pending row for the other.
    EXPECT_EQ(testsupport::queryValue(block.company_, "SELECT COUNT(*) FROM FACTURAS;"), "5");
    EXPECT_EQ(testsupport::queryValue(block.branch_, "SELECT COUNT(*) FROM FACTURAS;"), "4");
}

}  // namespace
