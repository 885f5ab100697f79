// The data module: its connections' fixed parameters, the catalogue, and failures that reach
// the caller untouched.
#include <gtest/gtest.h>

#include "data/fdm.h"
#include "tests/support/support.h"

namespace {

TEST(Tfdm, ConnectionsStartClosedWithTheirFixedParameters) {
    data::Tfdm fdm;
    struct Row {
        fb::Connection* conn;
        const char* dialect;
        const char* charSet;
    } rows[] = {
        {&fdm.Quorvan, "3", ""},
        {&fdm.General, "1", ""},
        {&fdm.ConReplica, "3", "ISO8859_1"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.conn->name());
        EXPECT_EQ(r.conn->state(), fb::ConnectionState::Closed);
        EXPECT_EQ(r.conn->param("SQLDialect"), r.dialect);
        EXPECT_EQ(r.conn->param("ServerCharSet"), r.charSet);
        EXPECT_EQ(r.conn->param("User_Name"), "sysdba");
        EXPECT_EQ(r.conn->param("WaitOnLocks"), "True");
        EXPECT_EQ(r.conn->param("IsolationLevel"), "ReadCommitted");
        EXPECT_EQ(r.conn->param("CommitRetain"), "False");
        EXPECT_EQ(r.conn->param("RoleName"), "RoleName");
        EXPECT_EQ(r.conn->param("LocaleCode"), "0000");
    }
    EXPECT_EQ(fdm.General.param("Trim Char"), "False");
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
    fdm.General.setParam("Database", erp.generalPath());
    fdm.General.setParam("User_Name", "SYSDBA");
    fdm.General.open();
    EXPECT_EQ(static_cast<int>(fdm.General.state()), 1);
    fdm.QCentros.Open();
    ASSERT_TRUE(fdm.QCentros.Locate("CENT_COD", "12"));
    EXPECT_EQ(fdm.QCentros.text(1), "001");
    fdm.Quorvan.setParam("Database", erp.companyPath("001"));
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
    fdm.Quorvan.setParam("Database", erp.companyPath("001"));
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
