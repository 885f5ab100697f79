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
#include <optional>

#include "app/no_chooser.h"
#include "app/program.h"
#include "core/date.h"
#include "data/texts.h"
#include "import/invoice_block.h"
#include "import/invoice_save.h"
#include "platform/env.h"
#include "tests/db/invoice_fixture.h"
#include "tests/db/saved_invoice.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace {

using app::PortCallKind;
using importer::InvoiceImporter;
using invoicetest::Summary;
using testsupport::Row;
using Path = InvoiceImporter::SavePath;

// The test command's server, when it exported one: "host/port" and the password.
struct Server {
    std::string prefix, password;
};
std::optional<Server> testServer() {
    const char* server = std::getenv("FB_TEST_SERVER");
    if (!server || !*server) return std::nullopt;
    const char* password = std::getenv("FB_TEST_PASSWORD");
    return Server{server, password ? password : ""};
}

// Runs a query on `db`, in process or through `server`.
std::vector<Row> queryOn(const std::optional<Server>& server, const std::string& db,
                         const std::string& sql) {
    if (!server) return testsupport::queryRows(db, sql);
    return testsupport::queryRows(
        "", "CONNECT " + testsupport::sqlQuote(server->prefix + ":" + db) +
                " USER 'SYSDBA' PASSWORD " + testsupport::sqlQuote(server->password) + ";\n" + sql);
}

// Every user table of `db`, its rows sorted, blobs as their text, `root` written as "<erp>";
// and every generator.
std::vector<Row> contents(const std::optional<Server>& server, const std::string& db,
                          const std::string& root) {
    auto queryRows = [&](const std::string&, const std::string& sql) {
        return queryOn(server, db, sql);
    };
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
             queryRows(db, "SELECT GEN_ID(\"" + g[0] + "\", 0) FROM RDB$DATABASE;").at(0).at(0)});
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
// invoices, and the whole program over it, saving through `path`; in process, or through
// `server`.
class SavePathRun {
  public:
    explicit SavePathRun(Path path, std::optional<Server> server = std::nullopt)
        : server_(std::move(server)) {
        company_ = erp_.addCompany("001");
        branch_ = erp_.addBranch(erp_.root() + "/srvA", "002");
        addBranchRow("002", reach(erp_.root() + "/srvA"), "XA01", "31");
        addBranchRow("003", reach(erp_.root() + "/fuera"), "XB01", "NULL");  // no database there
        if (server_) {
            // The branches are reached with the login the company's configuration names.
            testsupport::execSql(company_,
                                 "UPDATE CONFIGURACION SET CONF_VALOR = " +
                                     testsupport::sqlQuote(server_->password) +
                                     " WHERE CONF_PROPIEDAD = 'CLAVE DE USUARIO PARA REPLICACION "
                                     "DE ARTICULOS';");
            // A server that runs under its own user must be able to write them.
            for (const auto& e : std::filesystem::recursive_directory_iterator(erp_.root()))
                std::filesystem::permissions(e.path(), std::filesystem::perms::all,
                                             std::filesystem::perm_options::add);
        }
        folder_ = erp_.root() + "/in";
        std::filesystem::create_directories(folder_);
        program_.importer.setSavePath(path);
        program_.fdm.ConfigurarProviders(program_.window);
        app::FormModel& f = program_.window.form;
        f.Servidor.text = reach(erp_.root());
        f.Tusua.text = "SYSDBA";
        f.TClave.text = server_ ? server_->password : "x";
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

    std::string reach(const std::string& path) const {
        return server_ ? server_->prefix + ":" + path : path;
    }
    std::string value(const std::string& db, const std::string& sql) const {
        return queryOn(server_, db, sql).at(0).at(0);
    }
    std::vector<Row> contents(const std::string& db) const {
        return ::contents(server_, db, erp_.root());
    }

    std::optional<Server> server_;
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

void expectTheSameDatabasesEitherWay(const std::optional<Server>& server) {
    SavePathRun block(Path::Block, server), statements(Path::Statements, server);
    for (SavePathRun* r : {&block, &statements}) {
        // A price the lines table refuses (before the server opens the database), and a day
        // stored before the run.
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
        std::vector<Row> inBlock = block.contents(a), inStatements = statements.contents(b);
        std::sort(inBlock.begin(), inBlock.end());
        std::sort(inStatements.begin(), inStatements.end());
        EXPECT_EQ(missing(inBlock, inStatements), std::vector<Row>{}) << a;
        EXPECT_EQ(missing(inStatements, inBlock), std::vector<Row>{}) << a;
    }
    // What was compared holds what the folder asked for: five invoices stored and copied to
    // the branch reached, a pending row for the other.
    EXPECT_EQ(block.value(block.company_, "SELECT COUNT(*) FROM FACTURAS;"), "5");
    EXPECT_EQ(block.value(block.branch_, "SELECT COUNT(*) FROM FACTURAS;"), "4");
}

TEST(SavePaths, TheSameFolderLeavesTheSameDatabasesEitherWay) {
    expectTheSameDatabasesEitherWay(std::nullopt);
}

TEST(SavePaths, TheSameFolderLeavesTheSameDatabasesEitherWayOnTheServer) {
    const std::optional<Server> server = testServer();
    if (!server) GTEST_SKIP() << "FB_TEST_SERVER is not set; the test command starts a server";
    expectTheSameDatabasesEitherWay(server);
}

}  // namespace

// A refusal inside the block, of the header or of a line, is told as the statements tell it,
// naming the same table, and the ids drawn are the same.
TEST(SavePaths, ARefusalInsideTheBlockIsToldAsTheStatementsTellIt) {
    struct Case {
        const char* what;
        const char* cause;
        Summary record;
        const char* told;  // found in the box
    };
    Summary twoAlike = withGroups(0, "1000");
    twoAlike.motos = "1000";  // a second line of the same price
    Summary marked = withGroups(0);
    marked.total = "4242";
    const Case cases[] = {
        {"header, key exists", "SET GENERATOR GEN_FACTURAS_ID TO 1000;", withGroups(0),
         "tabla Factura"},
        {"header, check", "ALTER TABLE FACTURAS ADD CONSTRAINT CK_CAB CHECK (FACT_TOTAL <> 4242);",
         marked, "CK_CAB"},
        {"line, unique index", "CREATE UNIQUE INDEX UQ_PRUEBA ON FACTURAS_DETALLE (FADE_PRUNIT);",
         twoAlike, "UQ_PRUEBA"},
        {"line, related row missing",
         "CREATE TABLE BODEGA_PRUEBA (BODE_COD CHAR(2) NOT NULL "
         "PRIMARY KEY); ALTER TABLE "
         "FACTURAS_DETALLE ADD CONSTRAINT FK_PRUEBA FOREIGN KEY (BODE_COD) REFERENCES "
         "BODEGA_PRUEBA (BODE_COD);",
         withGroups(0), "tabla Factura que tiene una relaci"},
        {"line, check",
         "ALTER TABLE FACTURAS_DETALLE ADD CONSTRAINT CK_PRUEBA CHECK (FADE_PRUNIT <> 1100);",
         withGroups(0), "CK_PRUEBA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SavePathRun block(Path::Block), statements(Path::Statements);
        for (SavePathRun* r : {&block, &statements}) {
            // An invoice of another day holds the first ids.
            r->write("[RDE_12_20240101.txt", {withGroups(0)});
            r->run();
            testsupport::execSql(r->company_, "DELETE FROM FACTURAS_DETALLE;");  // for a new key
            testsupport::execSql(r->company_, c.cause);
            r->write("[RDE_12_20240102.txt", {c.record});
            r->run();
        }
        const std::vector<std::string> told = seen(block);
        EXPECT_EQ(told, seen(statements));
        ASSERT_FALSE(told.empty());
        EXPECT_NE(told.back().find(c.told), std::string::npos) << told.back();
        for (SavePathRun* r : {&block, &statements}) {
            EXPECT_EQ(r->files(), std::vector<std::string>{"[RDE_12_20240102.txt"});
            EXPECT_EQ(testsupport::queryValue(r->company_, "SELECT COUNT(*) FROM FACTURAS;"), "1");
        }
        const std::string generator = "SELECT GEN_ID(GEN_FACTURAS_ID, 0) FROM RDB$DATABASE;";
        EXPECT_EQ(testsupport::queryValue(block.company_, generator),
                  testsupport::queryValue(statements.company_, generator));
    }
}

// An invoice too large for one statement (the tables it may name, its parameters) goes
// statement by statement and is stored whole.
TEST(SavePaths, AnInvoiceTooLargeForOneBlockIsStoredStatementByStatement) {
    testsupport::StandInErp erp;
    const std::string company = erp.addCompany("001");
    app::RecordingPort port;
    data::Tfdm fdm{port};
    core::Component window{"window", nullptr};
    importer::WindowBuffers b{&window, fdm};
    fdm.Quorvan.options().database = company;
    fdm.Quorvan.options().user = "SYSDBA";
    fdm.Quorvan.open();
    int blocksSent = 0;
    fdm.setConnectionHooks(
        {.statement = [&](const std::string& sql, const std::vector<fb::Value>&) {
            if (sql.rfind("EXECUTE BLOCK (BR_CHECK", 0) == 0) ++blocksSent;
        }});
    importer::InvoiceBlocks blocks;
    struct Case {
        int lines;
        const char* day;
        bool asBlock;
    };
    // 248 lines and the header are as many tables as a statement may name; 1,200 lines pass
    // its limit on parameters too.
    for (const Case& c : {Case{248, "2024/01/29", true}, Case{249, "2024/01/30", false},
                          Case{1200, "2024/01/31", false}}) {
        SCOPED_TRACE(c.lines);
        testsupport::InvoiceValues wanted;
        wanted.fecha = c.day;
        wanted.lines.assign(static_cast<size_t>(c.lines), testsupport::LineValues{});
        testsupport::addInvoice(fdm, b, wanted);
        const importer::RunContext context{.CodCia = "001",
                                           .CiaAct = "001",
                                           .date = core::parseDate(wanted.fecha),
                                           .prefix = wanted.pref,
                                           .lastDate = {}};
        importer::BranchCopies copies;
        blocksSent = 0;
        EXPECT_EQ(importer::storeInvoice(context, fdm, b.invoice(), nullptr, copies,
                                         platform::Env::system(), &blocks),
                  importer::RecordOutcome::Stored);
        EXPECT_EQ(blocksSent, c.asBlock ? 1 : 0);
        // The header holds the last id drawn, and every line is under it.
        const std::string id = testsupport::queryValue(
            company, "SELECT GEN_ID(GEN_FACTURAS_ID, 0) FROM RDB$DATABASE;");
        const std::string header =
            "SELECT FACT_ID FROM FACTURAS WHERE FACT_FECHA = '" + std::string(c.day) + "';";
        EXPECT_EQ(testsupport::queryValue(company, header), id);
        EXPECT_EQ(testsupport::queryValue(
                      company, "SELECT COUNT(*) FROM FACTURAS_DETALLE WHERE FACT_ID = " + id + ";"),
                  std::to_string(c.lines));
    }
}

// The branch rows are not read again for an invoice of a point of sale none of them asked for
// earlier in the run; its block looks for them instead, so that a row added during the run
// still gets the next invoice's copy.
TEST(SavePaths, ABranchRowAddedDuringTheRunGetsTheNextInvoiceInABlock) {
    SavePathRun r(Path::Block);
    const std::string addRow =
        "INSERT INTO REPLICA_VENTAS (RPVE_COD, RPVE_NOMBRE, RPVE_SERVIDOR, RPVE_PREF, RPVE_PTVT, "
        "RPVE_PREFDES, RPVE_PTVTDES) VALUES ('002', 'SUCURSAL', " +
        testsupport::sqlQuote(r.erp_.root() + "/srvA") + ", 'AB02', 13, 'XA02', 31);";
    int blocks = 0, rowReads = 0;
    std::vector<int> readsAtBlock;
    r.program_.fdm.setConnectionHooks(
        {.statement = [&](const std::string& sql, const std::vector<fb::Value>&) {
            if (sql.rfind("select * from replica_ventas", 0) == 0) ++rowReads;
            // Before the third invoice's block.
            if (sql.rfind("EXECUTE BLOCK (BR_CHECK", 0) != 0) return;
            readsAtBlock.push_back(rowReads);
            if (++blocks == 3) testsupport::execSql(r.company_, addRow);
        }});
    for (const char* day : {"01", "02", "03", "04"})
        r.write(std::string("[RDE_13_202401") + day + ".txt", {withGroups(0)});
    r.run();
    EXPECT_EQ(r.files(), std::vector<std::string>{});
    EXPECT_EQ(testsupport::queryRows(r.branch_,
                                     "SELECT PREF_PRE, FACT_FECHA FROM FACTURAS ORDER "
                                     "BY FACT_FECHA;"),
              (std::vector<Row>{{"XA02", "2024-01-03"}, {"XA02", "2024-01-04"}}));
    // Read for the first invoice; not for the second; for the third after its block found
    // the new row (its block runs again); and for the fourth, which the rows ask for.
    ASSERT_EQ(readsAtBlock.size(), 5u);
    EXPECT_EQ(readsAtBlock[1], readsAtBlock[0]);
    EXPECT_EQ(readsAtBlock[2], readsAtBlock[1]);
    EXPECT_EQ(readsAtBlock[3], readsAtBlock[2] + 1);
    EXPECT_EQ(readsAtBlock[4], readsAtBlock[3] + 1);
}
