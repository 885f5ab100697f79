// Copies of a saved invoice into branch databases of the stand-in ERP: which branch rows
// match, what the copy holds, the pending row of a branch out of reach, and a copy that the
// branch refuses. A branch is "out of reach" when no database file lies at its path.
#include <gtest/gtest.h>

#include "data/texts.h"
#include "import/replication.h"
#include "tests/db/saved_invoice.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace {

using app::PortCall;
using app::PortCallKind;
using testsupport::InvoiceSpec;
using testsupport::LineSpec;
using testsupport::queryRows;
using testsupport::queryValue;
using testsupport::Row;
using Rows = std::vector<Row>;

class ReplicationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        company_ = erp_.addCompany("001");
        serverA_ = erp_.root() + "/srvA";
        serverB_ = erp_.root() + "/srvB";
        branchA_ = erp_.addBranch(serverA_, "002");
        branchB_ = erp_.addBranch(serverB_, "003");
        testsupport::execSql(branchB_, "SET GENERATOR GEN_FACTURAS_ID TO 700000;");
        fdm_.Quorvan.setParam("Database", company_);
        fdm_.Quorvan.setParam("User_Name", "SYSDBA");
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

    std::string save(const InvoiceSpec& wanted = {}) {
        EXPECT_EQ(testsupport::saveInvoice(fdm_, b_, wanted), 0);
        return b_.CFacturas.FieldByName("FACT_ID").asString();
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

    testsupport::StandInErp erp_;
    std::string company_, serverA_, serverB_, branchA_, branchB_;
    app::RecordingPort port_;
    data::Tfdm fdm_{port_};
    core::Component window_{"window", nullptr};
    importer::WindowBuffers b_{&window_, fdm_};
    importer::Replicator replicator_{fdm_, b_};
};

TEST_F(ReplicationTest, RowsThatDoNotMatchAreNotTouched) {
    save();  // AB01, point of sale 12
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::execSql(company_, "DELETE FROM REPLICA_VENTAS;");
        addBranchRow(c.cod, serverA_, c.pref, c.ptvt, "ZZ01", "31");
        replicator_.replicate();
        EXPECT_EQ(fdm_.ConReplica.param("Database"), "") << "a connection was prepared";
        EXPECT_EQ(fdm_.ConReplica.openCount(), 0u);
        EXPECT_TRUE(port_.calls().empty());
        EXPECT_TRUE(headers(branchA_).empty());
        EXPECT_TRUE(pending().empty());
    }
}

TEST_F(ReplicationTest, EveryMatchingRowGetsACopyInRowOrderWithItsBranchsId) {
    addBranchRow("002", serverA_, "AB01", 12, "XA01", "31");
    addBranchRow("003", serverB_, "AB01", 12, "XB01", "32");
    addBranchRow("002", serverA_, "AB01", 12, "XC01", "NULL");  // the same branch again
    save();
    replicator_.replicate();

    EXPECT_TRUE(port_.calls().empty());
    EXPECT_EQ(headers(branchA_),
              (Rows{{"500001", "XA01", "31", "20240131"}, {"500002", "XC01", "0", "20240131"}}));
    EXPECT_EQ(headers(branchB_), (Rows{{"700001", "XB01", "32", "20240131"}}));
    EXPECT_FALSE(fdm_.ConReplica.connected());
    EXPECT_TRUE(pending().empty());
    // The company's invoice is untouched.
    EXPECT_EQ(headers(company_), (Rows{{"1001", "AB01", "12", "20240131"}}));
}

TEST_F(ReplicationTest, AnUnreachableBranchIsRecordedAndTheNextOneStillGetsItsCopy) {
    ASSERT_LT(erp_.root().size(), 50u) << "the test needs a short temporary folder";
    // A server text of the column's full 60 characters: the path runs past RPAE_SERVIDOR.
    const std::string offline = erp_.root() + "/" + std::string(59 - erp_.root().size(), 'x');
    const std::string database = offline + "\\datos\\004\\quorvan.fdb";
    addBranchRow("004", offline, "AB01", 12, "XA01", "31");
    addBranchRow("002", serverA_, "AB01", 12, "XB01", "31");
    const std::string id = save();
    replicator_.replicate();

    EXPECT_EQ(
        port_.calls(),
        (std::vector<PortCall>{{PortCallKind::Information, data::texts::kSinConexion + database}}));
    EXPECT_EQ(pending(),
              (Rows{{id, "<null>", "<null>", "AB0120240131", "004", "F", database.substr(0, 60)}}));
    EXPECT_EQ(headers(branchA_), (Rows{{"500001", "XB01", "31", "20240131"}}));
    EXPECT_FALSE(fdm_.ConReplica.connected());
}

TEST_F(ReplicationTest, TheCopyCarriesTheInvoiceAsTheImportBuiltIt) {
    addBranchRow("002", serverA_, "AB01", 12, "XA01", "NULL");
    InvoiceSpec wanted;
    wanted.obs = data::texts::cp1252("Observación");
    wanted.idfmar = "77";
    wanted.lines = {LineSpec{}, LineSpec{.arti = "01-03", .bode = "02", .dto3 = "2.5"},
                    LineSpec{.arti = "01-04", .cant = "3"}};
    save(wanted);
    replicator_.replicate();
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

TEST_F(ReplicationTest, ACopyTheBranchRefusesLeavesNothingThereAndNothingPending) {
    // The branch no longer knows the second line's article.
    testsupport::execSql(branchA_, "DELETE FROM ARTICULO WHERE ARTI_COD = '01-03';");
    addBranchRow("002", serverA_, "AB01", 12, "XA01", "31");
    addBranchRow("003", serverB_, "AB01", 12, "XB01", "31");
    InvoiceSpec wanted;
    wanted.lines = {LineSpec{}, LineSpec{.arti = "01-03"}};
    save(wanted);
    replicator_.replicate();

    const std::string relation = data::texts::cp1252(
        "Está borrando o insertando un registro en la tabla factreplica que tiene una relación "
        "con otra tabla.");
    EXPECT_EQ(port_.calls(),
              (std::vector<PortCall>{{PortCallKind::Beep, {}}, {PortCallKind::Error, relation}}));
    EXPECT_EQ(queryValue(branchA_, "SELECT COUNT(*) FROM FACTURAS;"), "0");
    EXPECT_EQ(queryValue(branchA_, "SELECT COUNT(*) FROM FACTURAS_DETALLE;"), "0");
    EXPECT_TRUE(pending().empty());
    // The next branch row is handled as usual.
    EXPECT_EQ(headers(branchB_), (Rows{{"700001", "XB01", "31", "20240131"}}));
    EXPECT_FALSE(fdm_.ConReplica.connected());
}

TEST_F(ReplicationTest, BranchRowsAreReadAfreshForEveryInvoice) {
    save();
    replicator_.replicate();  // no branch rows yet
    addBranchRow("002", serverA_, "AB01", 12, "XA01", "31");
    InvoiceSpec second;
    second.numero = "20240201";
    second.fecha = "2024/02/01";
    save(second);
    replicator_.replicate();
    EXPECT_EQ(headers(branchA_), (Rows{{"500001", "XA01", "31", "20240201"}}));
}

}  // namespace
