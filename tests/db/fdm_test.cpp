// The data module: its connections' fixed parameters, the catalogue, and failures that reach
// the caller untouched.
#include <gtest/gtest.h>

#include "data/connection_params.h"
#include "data/fdm.h"
#include "tests/support/support.h"

namespace {

TEST(Tfdm, ConnectionsStartClosedWithTheirFixedParameters) {
    data::Tfdm fdm;
    struct Row {
        fb::Connection* conn;
        data::ModuleConnection which;
        const char* dialect;
        const char* charSet;
    } rows[] = {
        {&fdm.Quorvan, data::ModuleConnection::Quorvan, "3", ""},
        {&fdm.General, data::ModuleConnection::General, "1", ""},
        {&fdm.ConReplica, data::ModuleConnection::ConReplica, "3", "ISO8859_1"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.conn->name());
        EXPECT_EQ(r.conn->state(), fb::ConnectionState::Closed);
        const data::ConnectionParams p = data::designParams(r.which);
        EXPECT_EQ(p.get("SQLDialect"), r.dialect);
        EXPECT_EQ(p.get("ServerCharSet"), r.charSet);
        EXPECT_EQ(p.get("User_Name"), "sysdba");
        EXPECT_EQ(p.get("WaitOnLocks"), "True");
        EXPECT_EQ(p.get("IsolationLevel"), "ReadCommitted");
        EXPECT_EQ(p.get("CommitRetain"), "False");
        EXPECT_EQ(p.get("RoleName"), "RoleName");
        EXPECT_EQ(p.get("LocaleCode"), "0000");
        // What the connection attaches and starts its transactions with.
        const fb::ConnectionOptions& o = r.conn->options();
        EXPECT_EQ(std::to_string(o.dialect), r.dialect);
        EXPECT_EQ(o.charSet, r.charSet);
        EXPECT_EQ(o.user, "sysdba");
        EXPECT_EQ(o.role, "RoleName");
        EXPECT_TRUE(o.waitOnLocks);
        EXPECT_TRUE(o.readCommitted);
        EXPECT_EQ(o.lockTimeout, data::kDefaultLockTimeout);
    }
    EXPECT_EQ(data::designParams(data::ModuleConnection::General).get("Trim Char"), "False");
}

TEST(Tfdm, CatalogueBindsEachDatasetToItsConnection) {
    data::Tfdm fdm;
    EXPECT_EQ(&fdm.QCentros.connection(), &fdm.General);
    EXPECT_EQ(&fdm.TFactura.connection(), &fdm.Quorvan);
    EXPECT_EQ(&fdm.SIdfactreplica.connection(), &fdm.ConReplica);
    EXPECT_EQ(&fdm.Tfactreplica.connection(), &fdm.ConReplica);
    EXPECT_EQ(fdm.TFactura.detail(), &fdm.TFacdetalle);
    EXPECT_EQ(fdm.TFactura.tableName(), "FACTURAS");
    EXPECT_EQ(fdm.TFacdetalle.tableName(), "FACTURAS_DETALLE");
    EXPECT_EQ(fdm.TPtovta.selectText(), "SELECT * FROM PUNTO_VENTA");
    EXPECT_EQ(fdm.TFactura.params().ParamByName("ID").asString(), "0");
    EXPECT_EQ(fdm.CReplarticulo.Params.ParamByName("id").asString(), "0");
}

TEST(Tfdm, ConnectsToTheStandInDatabasesAndReadsCentres) {
    testsupport::StandInErp erp;
    erp.addCompany("001");
    data::Tfdm fdm;
    fdm.General.options().database = erp.generalPath();
    fdm.General.options().user = "SYSDBA";
    fdm.General.open();
    EXPECT_EQ(static_cast<int>(fdm.General.state()), 1);
    fdm.QCentros.Open();
    ASSERT_TRUE(fdm.QCentros.Locate("CENT_COD", "12"));
    EXPECT_EQ(fdm.QCentros.text(1), "001");
    fdm.Quorvan.options().database = erp.companyPath("001");
    fdm.Quorvan.open();
    fdm.SCambieidfact.ExecProc();
    int first = std::stoi(fdm.SCambieidfact.params().ParamByName("ID").asString());
    fdm.SCambieidfact.ExecProc();
    EXPECT_EQ(std::stoi(fdm.SCambieidfact.params().ParamByName("ID").asString()), first + 1);
}

TEST(Tfdm, LookupBufferFailuresReachTheCallerWithTheDatabaseText) {
    testsupport::StandInErp erp;
    erp.addCompany("001");
    data::Tfdm fdm;
    fdm.Quorvan.options().database = erp.companyPath("001");
    fdm.Quorvan.open();
    fdm.CFactor.CommandText = "SELECT * FROM NO_SUCH_PROCEDURE('a','b')";
    try {
        fdm.CFactor.Open();
        FAIL() << "no error";
    } catch (const fb::Error& e) {
        std::string text = e.what();
        EXPECT_EQ(text.rfind("SQL Server Error: ", 0), 0u) << text;
        EXPECT_NE(text.find("NO_SUCH_PROCEDURE"), std::string::npos) << text;
    }
    EXPECT_FALSE(fdm.CFactor.Active());
}

}  // namespace
