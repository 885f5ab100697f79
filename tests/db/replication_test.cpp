// Copies of an invoice into branch databases of the stand-in ERP, stored as the import stores
// it (importer::storeInvoice): which branch rows match, what the copy holds, the pending row
// of a branch out of reach, a branch that refuses its copy, a lock conflict in a branch, and
// the transaction that holds them all. A branch is "out of reach" when no database file lies
// at its path.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "data/texts.h"
#include "fb/transaction.h"
#include "import/branch_connections.h"
#include "import/invoice_save.h"
#include "import/replication.h"
#include "tests/db/saved_invoice.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace {

using app::PortCall;
using app::PortCallKind;
using testsupport::InvoiceValues;
using testsupport::LineValues;
using testsupport::queryRows;
using testsupport::queryValue;
using testsupport::Row;
using Rows = std::vector<Row>;

// The phases of the distributed commits made while it lives over the connections of `fdm`
// and the branch connections.
class PhaseLog {
  public:
    explicit PhaseLog(data::Tfdm& fdm) : fdm_(fdm) {
        fdm_.setConnectionHooks({.phase = [this](const char* phase) { phases.push_back(phase); }});
    }
    ~PhaseLog() { fdm_.setConnectionHooks({}); }
    PhaseLog(const PhaseLog&) = delete;
    PhaseLog& operator=(const PhaseLog&) = delete;
    std::vector<std::string> phases;

  private:
    data::Tfdm& fdm_;
};

class ReplicationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        company_ = erp_.addCompany("001");
        serverA_ = erp_.root() + "/srvA";
        serverB_ = erp_.root() + "/srvB";
        branchA_ = erp_.addBranch(serverA_, "002");
        branchB_ = erp_.addBranch(serverB_, "003");
        testsupport::execSql(branchB_, "SET GENERATOR GEN_FACTURAS_ID TO 700000;");
        fdm_.Quorvan.options().database = company_;
        fdm_.Quorvan.options().user = "SYSDBA";
        fdm_.Quorvan.open();
        fdm_.ConfigurarProviders(window_);
    }

    // `ptvtdes` is an SQL literal ("31" or "NULL").
    void addBranchRow(const std::string& cod, const std::string& servidor, const std::string& pref,
                      int ptvt, const std::string& prefdes, const std::string& ptvtdes) {
        testsupport::execSql(
            company_,
            "INSERT INTO REPLICA_VENTAS (RPVE_COD, RPVE_NOMBRE, RPVE_SERVIDOR, RPVE_PREF, "
            "RPVE_PTVT, RPVE_PREFDES, RPVE_PTVTDES) VALUES (" +
                testsupport::sqlQuote(cod) + ", 'SUCURSAL', " + testsupport::sqlQuote(servidor) +
                ", " + testsupport::sqlQuote(pref) + ", " + std::to_string(ptvt) + ", " +
                testsupport::sqlQuote(prefdes) + ", " + ptvtdes + ");");
    }

    // Builds the invoice and stores it as the import does; returns its id.
    std::string store(const InvoiceValues& wanted = {}) {
        testsupport::addInvoice(fdm_, b_, wanted);
        context_.prefix = wanted.pref;
        context_.date = core::parseDate(wanted.fecha);
        const std::string id = b_.CFacturas.FieldByName("FACT_ID").asString();
        EXPECT_EQ(importer::storeInvoice(context_, fdm_, b_.invoice(), &replicator_, copies_),
                  importer::RecordOutcome::Stored);
        return id;
    }

    static Rows headers(const std::string& db) {
        return queryRows(db,
                         "SELECT FACT_ID, PREF_PRE, PTVT_ID, FACT_NUMERO FROM FACTURAS "
                         "ORDER BY FACT_ID;");
    }
    Rows pending() {
        return queryRows(company_,
                         "SELECT RPAE_ID, RPAE_FECHA, RPAE_HORA, ARTI_COD, RPAE_CIA, RPAE_TIPO, "
                         "RPAE_SERVIDOR FROM REPLICA_ARTICULO_ESTADO;");
    }
    int count(const std::string& db, const std::string& table) {
        return std::stoi(queryValue(db, "SELECT COUNT(*) FROM " + table + ";"));
    }
    // The branch connection of the run for `db` (reached for the test if it was not).
    fb::Connection& connectionTo(const std::string& db) { return branches_.reach(db).connection; }

    testsupport::StandInErp erp_;
    std::string company_, serverA_, serverB_, branchA_, branchB_;
    app::RecordingPort port_;
    data::Tfdm fdm_{port_};
    core::Component window_{"window", nullptr};
    importer::WindowBuffers b_{&window_, fdm_};
    importer::BranchConnections branches_{fdm_};
    importer::Replicator replicator_{fdm_, b_.replica(), branches_};
    importer::RunContext context_{
        .CodCia = "001", .CiaAct = "001", .date = {}, .prefix = {}, .lastDate = {}};
    importer::BranchCopies copies_;
};

// No branch row matches: the invoice's transaction is the company's alone, as without
// branches: no coordinator, no branch connected.
TEST_F(ReplicationTest, RowsThatDoNotMatchAreNotTouched) {
    struct Case {
        const char* what;
        std::string cod, pref;
        int ptvt;
    } cases[] = {
        {"another prefix", "002", "AB02", 12},
        {"the prefix in other letter case", "002", "ab01", 12},
        {"another point of sale", "002", "AB01", 13},
        {"an empty code", "", "AB01", 12},
    };
    int day = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::execSql(company_, "DELETE FROM REPLICA_VENTAS;");
        addBranchRow(c.cod, serverA_, c.pref, c.ptvt, "ZZ01", "31");
        InvoiceValues wanted;  // AB01, point of sale 12
        wanted.numero = "2024020" + std::to_string(day);
        wanted.fecha = "2024/02/0" + std::to_string(day++);
        PhaseLog log{fdm_};
        store(wanted);
        EXPECT_EQ(log.phases, std::vector<std::string>{});
        EXPECT_EQ(copies_.copied, 0);
        EXPECT_EQ(copies_.pending, 0);
        EXPECT_TRUE(port_.calls().empty());
        EXPECT_TRUE(pending().empty());
    }
    EXPECT_EQ(count(company_, "FACTURAS"), 4);
    EXPECT_TRUE(headers(branchA_).empty());
}

TEST_F(ReplicationTest, EveryMatchingRowGetsACopyInRowOrderInTheInvoicesOwnCommit) {
    addBranchRow("002", serverA_, "AB01", 12, "XA01", "31");
    addBranchRow("003", serverB_, "AB01", 12, "XB01", "32");
    addBranchRow("002", serverA_, "AB01", 12, "XC01", "NULL");  // the same branch again
    PhaseLog log{fdm_};
    store();

    EXPECT_TRUE(port_.calls().empty());
    EXPECT_EQ(log.phases, (std::vector<std::string>{"prepare", "commit"}));
    EXPECT_EQ(copies_.copied, 3);
    EXPECT_EQ(headers(branchA_),
              (Rows{{"500001", "XA01", "31", "20240131"}, {"500002", "XC01", "0", "20240131"}}));
    EXPECT_EQ(headers(branchB_), (Rows{{"700001", "XB01", "32", "20240131"}}));
    EXPECT_TRUE(pending().empty());
    // The company's invoice is stored, totalled (its lines carry no totals here) and posted
    // with them.
    EXPECT_EQ(queryRows(company_,
                        "SELECT F.FACT_ID, F.PREF_PRE, F.PTVT_ID, F.FACT_NUMERO, F.FACT_TOTAL, "
                        "A.ASIE_CONTABILIZADO FROM FACTURAS F JOIN CONTABILIDAD_ASIENTOS A ON "
                        "A.FACT_ID = F.FACT_ID;"),
              (Rows{{"1001", "AB01", "12", "20240131", "0.00", "S"}}));

    // The next invoices go through the same branch connections, prepared once.
    const uint64_t preparedA = connectionTo(branchA_).preparedCount();
    for (const char* day : {"01", "02"}) {
        InvoiceValues next;
        next.numero = std::string("202402") + day;
        next.fecha = std::string("2024/02/") + day;
        store(next);
    }
    EXPECT_EQ(count(branchA_, "FACTURAS"), 6);
    EXPECT_EQ(count(branchB_, "FACTURAS"), 3);
    EXPECT_EQ(connectionTo(branchA_).openCount(), 1u);
    EXPECT_EQ(connectionTo(branchB_).openCount(), 1u);
    EXPECT_EQ(connectionTo(branchA_).preparedCount(), preparedA);
}

// What watches the data module's connections watches the branch connections too, one reached
// before the hooks were installed included: the crash tests kill the program at a branch's
// statements and at the phases of its commit through them.
TEST_F(ReplicationTest, TheBranchConnectionsCallTheModulesHooks) {
    addBranchRow("002", serverA_, "AB01", 12, "XA01", "31");
    ASSERT_TRUE(connectionTo(branchA_).connected());
    std::vector<std::string> inserts, phases;
    fdm_.setConnectionHooks({.statement =
                                 [&](const std::string& sql, const std::vector<fb::Value>&) {
                                     if (sql.rfind("INSERT INTO FACTURAS ", 0) == 0)
                                         inserts.push_back(sql);
                                 },
                             .phase = [&](const char* phase) { phases.push_back(phase); }});
    store();
    fdm_.setConnectionHooks({});
    EXPECT_EQ(inserts.size(), 2u) << "the company's header and the branch's copy";
    EXPECT_EQ(phases, (std::vector<std::string>{"prepare", "commit"}));
    EXPECT_EQ(headers(branchA_).size(), 1u);
}

TEST_F(ReplicationTest, AnUnreachableBranchGetsItsPendingRowAndTheNextOneItsCopy) {
    ASSERT_LT(erp_.root().size(), 50u) << "the test needs a short temporary folder";
    // A server text of the column's full 60 characters: the path runs past RPAE_SERVIDOR.
    const std::string offline = erp_.root() + "/" + std::string(59 - erp_.root().size(), 'x');
    const std::string database = offline + "\\datos\\004\\quorvan.fdb";
    addBranchRow("004", offline, "AB01", 12, "XA01", "31");
    addBranchRow("002", serverA_, "AB01", 12, "XB01", "31");
    const std::string id = store();
    EXPECT_EQ(copies_.pending, 1);
    EXPECT_EQ(copies_.copied, 1);
    InvoiceValues second;
    second.numero = "20240201";
    second.fecha = "2024/02/01";
    const std::string id2 = store(second);

    // Told once a run; a pending row for each invoice.
    EXPECT_EQ(
        port_.calls(),
        (std::vector<PortCall>{{PortCallKind::Information, data::texts::kSinConexion + database}}));
    EXPECT_EQ(
        pending(),
        (Rows{{id, "<null>", "<null>", "AB0120240131", "004", "F", database.substr(0, 60)},
              {id2, "<null>", "<null>", "AB0120240201", "004", "F", database.substr(0, 60)}}));
    EXPECT_EQ(headers(branchA_),
              (Rows{{"500001", "XB01", "31", "20240131"}, {"500002", "XB01", "31", "20240201"}}));
}

TEST_F(ReplicationTest, TheCopyCarriesTheInvoiceAsTheImportBuiltIt) {
    addBranchRow("002", serverA_, "AB01", 12, "XA01", "NULL");
    InvoiceValues wanted;
    wanted.obs = data::texts::cp1252("Observación");
    wanted.idfmar = "77";
    wanted.lines = {LineValues{}, LineValues{.arti = "01-03", .bode = "02", .dto3 = "2.5"},
                    LineValues{.arti = "01-04", .cant = "3"}};
    store(wanted);
    ASSERT_TRUE(port_.calls().empty());

    EXPECT_EQ(queryRows(branchA_,
                        "SELECT FACT_ID, PREF_PRE, PTVT_ID, FACT_NUMERO, FACT_FECHA, TERC_NIT, "
                        "FACT_COMIPORC, FACT_DESPACHO, FACT_VENCE, CAST(FACT_OBS AS VARCHAR(60)), "
                        "FACT_TRM, FACT_TOTAL, BODE_COD, FACT_IDFMAR FROM FACTURAS;"),
              (Rows{{"500001", "XA01", "0", "20240131", "2024-01-31", "800100200", "0.0000",
                     "<null>", "<null>", wanted.obs, "1.00", "1785.00", "01", "<null>"}}));
    EXPECT_EQ(queryRows(branchA_,
                        "SELECT FACT_ID, FADE_ITEM, BODE_COD, ARTI_COD, FADE_CANT, FADE_DTO3, "
                        "FADE_DTOM1, FADE_DESC, FADE_ANULADO FROM FACTURAS_DETALLE "
                        "ORDER BY FADE_ITEM;"),
              (Rows{{"500001", "1", "01", "01-01", "1.0000", "0.0000", "0.00", "<null>", "N"},
                    {"500001", "2", "02", "01-03", "1.0000", "2.5000", "0.00", "<null>", "N"},
                    {"500001", "3", "01", "01-04", "3.0000", "0.0000", "0.00", "<null>", "N"}}));
}

// Whatever makes the branch refuse: the invoice is stored in the company all the same, the
// refusing branch keeps nothing (its part is undone to the copy's savepoint), nothing is
// pending, the refusal names the branch, and the next branch gets its copy.
TEST_F(ReplicationTest, ABranchThatRefusesItsCopyKeepsNothingOfIt) {
    const std::string relation = data::texts::cp1252(
        "Está borrando o insertando un registro en la tabla factreplica que tiene una relación "
        "con otra tabla.");
    struct Case {
        const char* what;
        std::string change;  // in branch A
        std::string shown;   // the start of what the person is shown
    } cases[] = {
        {"a row it refuses (an article it lacks)", "DELETE FROM ARTICULO WHERE ARTI_COD = '01-03';",
         relation},
        {"no id procedure", "DROP PROCEDURE CAMBIE_ID_FACTURA;", "SQL Server Error: "},
        {"fewer columns than the company's lines", "ALTER TABLE FACTURAS_DETALLE DROP FADE_DTO3;",
         "CFactdetreplica: Field 'FADE_DTO3'"},
        {"a header column it lacks", "ALTER TABLE FACTURAS DROP FACT_OBS;",
         "CFactreplica: Field 'FACT_OBS' not found"},
    };
    addBranchRow("002", serverA_, "AB01", 12, "XA01", "31");
    addBranchRow("003", serverB_, "AB01", 12, "XB01", "31");
    int day = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        branches_.closeAll();  // before its file is replaced
        erp_.addBranch(serverA_, "002");
        testsupport::execSql(branchA_, c.change);
        port_.clear();
        InvoiceValues wanted;
        wanted.numero = "2024020" + std::to_string(day);
        wanted.fecha = "2024/02/0" + std::to_string(day++);
        wanted.lines = {LineValues{}, LineValues{.arti = "01-03"}};
        const std::string id = store(wanted);

        EXPECT_EQ(queryValue(company_, "SELECT COUNT(*) FROM FACTURAS WHERE FACT_ID = " + id + ";"),
                  "1");
        EXPECT_EQ(count(branchA_, "FACTURAS"), 0);
        EXPECT_EQ(count(branchA_, "FACTURAS_DETALLE"), 0);
        EXPECT_TRUE(pending().empty());
        EXPECT_EQ(copies_.copied, 1);
        ASSERT_EQ(copies_.refused.size(), 1u);
        EXPECT_EQ(
            copies_.refused[0].rfind(data::texts::kCopiaRechazada + branchA_ + ": " + c.shown, 0),
            0u)
            << copies_.refused[0];
        const std::vector<std::string> errors = port_.texts(PortCallKind::Error);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].rfind(c.shown, 0), 0u) << errors[0];
        EXPECT_EQ(headers(branchB_).back(),
                  (Row{std::to_string(700000 + day - 1), "XB01", "31", wanted.numero}));
    }
}

// Another user of a branch holds a row the copy needs: the whole transaction, company and
// branches, is rolled back and tried again; the invoice is stored and copied once, with the id
// the branch gave it at the first try.
TEST_F(ReplicationTest, ALockConflictInABranchTriesTheWholeInvoiceAgain) {
    addBranchRow("002", serverA_, "AB01", 12, "XA01", "31");
    testsupport::execSql(branchA_,
                         "CREATE TABLE SALDOS (ID INTEGER NOT NULL PRIMARY KEY, VALOR INTEGER);"
                         "INSERT INTO SALDOS VALUES (1, 0);"
                         "SET TERM ^ ;\nCREATE TRIGGER CUENTA FOR FACTURAS AFTER INSERT AS BEGIN "
                         "UPDATE SALDOS SET VALOR = VALOR + 1 WHERE ID = 1; END^\nSET TERM ; ^");
    fb::Connection other("Otro");
    other.options().database = branchA_;
    other.options().user = "SYSDBA";
    other.open();
    fb::Transaction held = other.begin();
    other.run(held, "UPDATE SALDOS SET VALOR = VALOR + 10 WHERE ID = 1", {});
    std::thread commitLater([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        held.commit();
    });
    store();
    commitLater.join();

    EXPECT_EQ(count(company_, "FACTURAS"), 1);
    EXPECT_EQ(count(company_, "CONTABILIDAD_ASIENTOS"), 1);
    EXPECT_EQ(headers(branchA_), (Rows{{"500001", "XA01", "31", "20240131"}}));
    EXPECT_EQ(queryValue(branchA_, "SELECT VALOR FROM SALDOS;"), "11");
}

TEST_F(ReplicationTest, BranchRowsAreReadAfreshForEveryInvoice) {
    store();  // no branch rows yet
    addBranchRow("002", serverA_, "AB01", 12, "XA01", "31");
    InvoiceValues second;
    second.numero = "20240201";
    second.fecha = "2024/02/01";
    store(second);
    EXPECT_EQ(headers(branchA_), (Rows{{"500001", "XA01", "31", "20240201"}}));
}

}  // namespace
