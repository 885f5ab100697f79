// Guards the stand-in ERP scripts and the fixture that copies them: column
// layouts the program's buffers declare, keys that make the database refuse a
// save, and the shapes and answers of the stored procedures.

#include <gtest/gtest.h>
#include <ibase.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/databases.h"

namespace fs = std::filesystem;
using testsupport::execSql;
using testsupport::queryRows;
using testsupport::queryValue;
using testsupport::Row;
using testsupport::StandInErp;

namespace {

struct Column {
    const char* name;
    const char* type;
    bool required;
};

const std::vector<Column> kFacturas = {
    {"FACT_ID", "integer", true},
    {"PTVT_ID", "integer", true},
    {"VEND_COD", "integer", true},
    {"TERC_NIT", "varchar(20)", true},
    {"AUTO_NUMERO", "varchar(20)", false},
    {"FACT_FECHA", "date", true},
    {"FACT_DESPACHO", "varchar(255)", false},
    {"FACT_VENCE", "date", false},
    {"FACT_IVAINC", "char(1)", true},
    {"FACT_COMIPORC", "decimal(15,4)", false},
    {"FACT_COMIMONTO", "decimal(15,2)", false},
    {"FACT_DTOPOR", "decimal(15,4)", false},
    {"FACT_DTOMONTO", "decimal(15,2)", false},
    {"FACT_ADICIONAL", "decimal(15,2)", false},
    {"FACT_IVAMONTO", "decimal(15,2)", false},
    {"FACT_RTFTEPOR", "decimal(15,4)", false},
    {"FACT_RTFTEMONTO", "decimal(15,2)", false},
    {"FACT_RTIVAPOR", "decimal(15,4)", false},
    {"FACT_RTIVAMONTO", "decimal(15,2)", false},
    {"FACT_RTICAPOR", "decimal(15,4)", false},
    {"FACT_RTICAMONTO", "decimal(15,2)", false},
    {"FACT_EXTRA", "decimal(15,2)", false},
    {"FACT_DTOFPOR", "decimal(15,4)", false},
    {"FACT_DTOFMONTO", "decimal(15,2)", false},
    {"FACT_DTOFFECHA", "date", false},
    {"PREF_PRE", "varchar(4)", false},
    {"FACT_TRANSP", "varchar(60)", false},
    {"FACT_NOMCLIENTE", "varchar(60)", false},
    {"FACT_COTIZACI", "varchar(30)", false},
    {"FACT_PEDIDO", "varchar(30)", false},
    {"FACT_REMISION", "varchar(30)", false},
    {"FACT_ANULADO", "char(1)", false},
    {"FACT_TRANSMIT", "char(1)", false},
    {"FACT_TOTAL", "decimal(15,2)", false},
    {"BODE_COD", "varchar(2)", false},
    {"FACT_OBS", "text blob", false},
    {"VEHI_COD", "varchar(8)", false},
    {"FACT_CONSOLIDA", "integer", false},
    {"FACT_RECIBIDO", "decimal(15,2)", false},
    {"FACT_USUARIO", "varchar(10)", false},
    {"FACT_SUCURSAL", "varchar(10)", false},
    {"NUMOK", "char(1)", false},
    {"COBR_COD", "integer", false},
    {"FACT_FACTOR", "double", false},
    {"FACT_DETCLI", "varchar(20)", false},
    {"FACT_DETCLINOM", "varchar(60)", false},
    {"FACT_DTOIT1", "decimal(15,2)", false},
    {"FACT_DTOIT2", "decimal(15,2)", false},
    {"FACT_DTOIT3", "decimal(15,2)", false},
    {"FACT_NUMERO", "varchar(8)", true},
    {"FACT_ANTICIPO", "decimal(15,2)", false},
    {"FACT_GARANTIA", "decimal(15,2)", false},
    {"FACT_DEC2799", "decimal(15,2)", false},
    {"FACT_COMIP", "char(1)", false},
    {"FACT_FECINI", "date", false},
    {"FACT_FECFIN", "date", false},
    {"FACT_ENTREGA", "date", false},
    {"FACT_RTCREE", "decimal(15,4)", false},
    {"FACT_RTCREEM", "decimal(15,2)", false},
    {"FACT_TRM", "double", false},
    {"FACT_IDFMAR", "integer", false},
    {"FACT_DETCLIDIR", "varchar(100)", false},
    {"FACT_DETCLICIU", "varchar(60)", false},
    {"FACT_DETCLITEL", "varchar(40)", false},
    {"FACT_DETCLITR", "varchar(60)", false},
    {"FACT_VALE", "varchar(60)", false},
    {"FACT_ORDENCLI", "varchar(12)", false},
    {"FACT_DTOF1", "decimal(15,4)", false},
    {"FACT_DTOF1FEC", "date", false},
    {"FACT_DTOF2", "decimal(15,4)", false},
    {"FACT_DTOF2FEC", "date", false},
    {"FACT_DTOF3", "decimal(15,4)", false},
    {"FACT_DTOF3FEC", "date", false},
    {"FACT_DTOF4", "decimal(15,4)", false},
    {"FACT_DTOF4FEC", "date", false},
    {"FACT_DTOF1M", "decimal(15,2)", false},
    {"FACT_DTOF2M", "decimal(15,2)", false},
    {"FACT_DTOF3M", "decimal(15,2)", false},
    {"FACT_AUTOCAR", "integer", false},
    {"FACT_AUTOCUPO", "integer", false},
    {"FACT_CONTRATO", "integer", false},
    {"FACT_PTOSCLIFAC", "small integer", false},
    {"FACT_CUFE", "varchar(100)", false},
    {"FACT_XML", "byte blob", false},
    {"FACT_REPGRA", "byte blob", false},
    {"FACT_PENDIENTES", "char(1)", false},
    {"FACT_ESTADO", "small integer", false},
    {"FACT_ESTOBS", "varchar(1024)", false},
    {"FACT_TIPOENTREGA", "integer", false},
    {"FACT_CLIEXE", "char(1)", false},
    {"FACT_PROFORMA", "varchar(30)", false},
    {"FACT_ART42413", "char(1)", false},
    {"FACT_MONEDA", "integer", false},
    {"FACT_1ACOMPRA", "char(1)", false},
    {"FACT_CUMPLEANOS", "char(1)", false},
    {"FACT_AUTOCOVINOC", "varchar(8)", false},
};

const std::vector<Column> kFacturasDetalle = {
    {"FACT_ID", "integer", true},
    {"FADE_ITEM", "integer", true},
    {"BODE_COD", "varchar(2)", true},
    {"ARTI_COD", "varchar(15)", true},
    {"FADE_CANT", "decimal(15,4)", false},
    {"FADE_UNIDAD", "varchar(8)", false},
    {"FADE_LOTE", "varchar(15)", false},
    {"FADE_PRUNIT", "decimal(15,2)", false},
    {"FADE_DTOPORC", "decimal(15,4)", false},
    {"FADE_DTOMONTO", "decimal(15,2)", false},
    {"FADE_IVAPORC", "decimal(15,4)", false},
    {"FADE_IVAMONTO", "decimal(15,2)", false},
    {"FADE_CONSUMO", "decimal(15,2)", false},
    {"FADE_FACTOR", "decimal(15,4)", false},
    {"FADE_DESC", "varchar(255)", false},
    {"FADE_OBS", "byte blob", false},
    {"FADE_CODBAR", "varchar(15)", false},
    {"FADE_REMISIONADO", "decimal(15,4)", false},
    {"FADE_DEVUELTO", "decimal(15,4)", false},
    {"FADE_TOTAL", "decimal(15,2)", false},
    {"LIPR_COD", "integer", false},
    {"FADE_REFERENCIA", "varchar(60)", false},
    {"FADE_ANULADO", "char(1)", false},
    {"FADE_TRANSMIT", "char(1)", false},
    {"FADE_FACTORLISTA", "decimal(15,4)", false},
    {"FADE_DTO1", "decimal(15,4)", false},
    {"FADE_DTO2", "decimal(15,4)", false},
    {"FADE_DTO3", "decimal(15,4)", false},
    {"FADE_DTOM1", "decimal(15,2)", false},
    {"FADE_DTOM2", "decimal(15,2)", false},
    {"FADE_DTOM3", "decimal(15,2)", false},
    {"FADE_CAJAS", "decimal(15,4)", false},
};

const std::vector<Column> kPuntoVenta = {
    {"PTVT_ID", "integer", true},          {"BODE_COD", "varchar(2)", true},
    {"PTVT_NOM", "varchar(60)", true},     {"PTVT_RESP", "varchar(60)", false},
    {"CAJA_ID", "integer", false},         {"PTVT_COLOR", "varchar(8)", false},
    {"PREF_PRE", "varchar(4)", false},     {"TERC_NIT", "varchar(20)", false},
    {"SUCU_ID", "integer", false},         {"PTVT_BALPTO", "varchar(4)", false},
    {"PTVT_BALPOSP", "integer", false},    {"PTVT_BALLONC", "integer", false},
    {"PTVT_MONPTO", "varchar(4)", false},  {"PTVT_BALFACTOR", "decimal(15,4)", false},
    {"PTVT_MODPREC", "char(1)", false},    {"PTVT_ACTIVO", "char(1)", false},
    {"PTVT_DEC2799", "char(1)", false},    {"PTVT_IDDIAN", "varchar(20)", false},
    {"PTVT_FECCIE", "date", false},        {"PTVT_CAJACIERRE", "integer", false},
    {"PTVT_CAJADIF", "integer", false},    {"PTVT_PREFPED", "varchar(4)", false},
    {"PTVT_BALINVERT", "char(1)", false},  {"PTVT_BALCAR", "varchar(15)", false},
    {"PTVT_BALLEE", "char(1)", false},     {"PTVT_PREFCOT", "varchar(4)", false},
    {"PTVT_PREFREM", "varchar(4)", false}, {"PTVT_BALLPESO", "small integer", false},
    {"PTVT_BALOPOS", "char(1)", false},
};

const std::vector<Column> kReplicaVentas = {
    {"RPVE_COD", "char(3)", true},           {"RPVE_NOMBRE", "varchar(60)", false},
    {"RPVE_SERVIDOR", "varchar(60)", false}, {"RPVE_PREF", "varchar(4)", false},
    {"RPVE_PTVT", "integer", false},         {"RPVE_PREFDES", "varchar(4)", false},
    {"RPVE_PTVTDES", "integer", false},
};

const std::vector<Column> kReplicaArticuloEstado = {
    {"RPAE_ID", "integer", true},
    {"RPAE_FECHA", "date", false},
    {"RPAE_HORA", "time", false},
    {"ARTI_COD", "varchar(15)", false},
    {"RPAE_CIA", "varchar(3)", false},
    {"RPAE_TIPO", "char(1)", false},
    {"RPAE_SERVIDOR", "varchar(60)", false},
};

std::vector<std::string> describe(const std::vector<Column>& columns) {
    std::vector<std::string> out;
    for (const auto& c : columns)
        out.push_back(std::string(c.name) + " " + c.type + (c.required ? " required" : ""));
    return out;
}

// A type from the system tables, in the notation of the record descriptions.
std::string typeName(const Row& r) {
    const int type = std::stoi(r[0]), subType = std::stoi(r[1]), scale = std::stoi(r[2]);
    const std::string precision = r[3], length = r[4];
    if ((type == 7 || type == 8 || type == 16) && scale < 0)
        return "decimal(" + precision + "," + std::to_string(-scale) + ")";
    switch (type) {
        case 7:
            return "small integer";
        case 8:
            return "integer";
        case 16:
            return "bigint";
        case 27:
            return "double";
        case 12:
            return "date";
        case 13:
            return "time";
        case 14:
            return "char(" + length + ")";
        case 37:
            return "varchar(" + length + ")";
        case 261:
            return subType == 1 ? "text blob" : "byte blob";
    }
    return "type " + r[0];
}

const char* kTypeColumns =
    "F.RDB$FIELD_TYPE, COALESCE(F.RDB$FIELD_SUB_TYPE, 0), COALESCE(F.RDB$FIELD_SCALE, 0), "
    "COALESCE(F.RDB$FIELD_PRECISION, 0), COALESCE(F.RDB$CHARACTER_LENGTH, 0)";

std::vector<std::string> columnsOf(const std::string& db, const std::string& table) {
    const auto rows = queryRows(
        db, std::string("SELECT TRIM(RF.RDB$FIELD_NAME), ") + kTypeColumns +
                ", COALESCE(RF.RDB$NULL_FLAG, F.RDB$NULL_FLAG, 0)"
                " FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F"
                " ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE WHERE RF.RDB$RELATION_NAME = '" +
                table + "' ORDER BY RF.RDB$FIELD_POSITION;");
    std::vector<std::string> out;
    for (const auto& r : rows)
        out.push_back(r[0] + " " + typeName(Row(r.begin() + 1, r.end() - 1)) +
                      (r.back() == "1" ? " required" : ""));
    return out;
}

// Output parameters of a procedure, as "NAME type".
std::vector<std::string> outputsOf(const std::string& db, const std::string& procedure) {
    const auto rows = queryRows(
        db, std::string("SELECT TRIM(P.RDB$PARAMETER_NAME), ") + kTypeColumns +
                " FROM RDB$PROCEDURE_PARAMETERS P JOIN RDB$FIELDS F"
                " ON F.RDB$FIELD_NAME = P.RDB$FIELD_SOURCE WHERE P.RDB$PROCEDURE_NAME = '" +
                procedure + "' AND P.RDB$PARAMETER_TYPE = 1 ORDER BY P.RDB$PARAMETER_NUMBER;");
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(r[0] + " " + typeName(Row(r.begin() + 1, r.end())));
    return out;
}

const char* kHeader =
    "INSERT INTO FACTURAS (FACT_ID, PTVT_ID, VEND_COD, TERC_NIT, FACT_FECHA, FACT_IVAINC,"
    " FACT_NUMERO, PREF_PRE, FACT_TOTAL, FACT_IVAMONTO)"
    " VALUES (1, 12, 7, '800100200', '2024-01-31', 'S', '20240131', 'AB01', 0, 0);";

std::string line(int item, const std::string& article, const std::string& total,
                 const std::string& vat) {
    return "INSERT INTO FACTURAS_DETALLE (FACT_ID, FADE_ITEM, BODE_COD, ARTI_COD, FADE_TOTAL,"
           " FADE_IVAMONTO) VALUES (1, " +
           std::to_string(item) + ", '01', '" + article + "', " + total + ", " + vat + ");";
}

class SchemaTest : public ::testing::Test {
  protected:
    StandInErp erp;
    std::string company = erp.addCompany("001");
    std::string branch = erp.addBranch(erp.root() + "/branch", "002");
};

TEST(TempDirTest, RemovesItsFolderWithContents) {
    std::string path;
    {
        testsupport::TempDir dir;
        path = dir.path();
        fs::create_directories(dir.file("a/b"));
        std::ofstream(dir.file("a/b/c.txt")) << "x";
        ASSERT_TRUE(fs::is_directory(path));
        EXPECT_EQ(dir.file("x.fdb"), path + "/x.fdb");
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SchemaTest, DatabasesLieWhereTheProgramFormsTheirPaths) {
    EXPECT_EQ(erp.generalPath(), erp.root() + "/datos/general.fdb");
    EXPECT_EQ(company, erp.root() + "/datos/001/quorvan.fdb");
    // One file name with backslashes, beside the folder named as server.
    EXPECT_EQ(branch, erp.root() + "/branch\\datos\\002\\quorvan.fdb");
    EXPECT_EQ(fs::path(branch).parent_path(), fs::path(erp.root()));

    struct Case {
        std::string path, dialect, charset;
    } cases[] = {
        {erp.generalPath(), "1", "NONE"}, {company, "3", "ISO8859_1"}, {branch, "3", "ISO8859_1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto rows = queryRows(
            c.path,
            "SELECT M.MON$SQL_DIALECT, M.MON$ODS_MAJOR, TRIM(COALESCE(D.RDB$CHARACTER_SET_NAME,"
            " 'NONE')) FROM MON$DATABASE M CROSS JOIN RDB$DATABASE D;");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0], (Row{c.dialect, "12", c.charset}));
    }
}

TEST_F(SchemaTest, CopiesAreFastAndIndependent) {
    testsupport::templatePath(testsupport::Template::CompanySample);
    const auto start = std::chrono::steady_clock::now();
    const std::string second = erp.addCompany("002");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(200));

    execSql(company, "DELETE FROM PUNTO_VENTA WHERE PTVT_ID = 12;");
    EXPECT_EQ(queryValue(second, "SELECT COUNT(*) FROM PUNTO_VENTA WHERE PTVT_ID = 12;"), "1");
    // Adding a company again starts it afresh.
    erp.addCompany("001");
    EXPECT_EQ(queryValue(company, "SELECT COUNT(*) FROM PUNTO_VENTA WHERE PTVT_ID = 12;"), "1");
    erp.addCompany("003", false);
    EXPECT_EQ(queryValue(erp.companyPath("003"), "SELECT COUNT(*) FROM PUNTO_VENTA;"), "0");
}

TEST_F(SchemaTest, TablesHaveTheDeclaredColumnsInOrder) {
    std::vector<Column> branchFacturas = kFacturas;
    for (auto& c : branchFacturas)
        if (std::string(c.name) == "FACT_TRM") c.type = "decimal(15,2)";
    struct Case {
        std::string db, table;
        const std::vector<Column>& columns;
    } cases[] = {{company, "FACTURAS", kFacturas},
                 {company, "FACTURAS_DETALLE", kFacturasDetalle},
                 {company, "PUNTO_VENTA", kPuntoVenta},
                 {company, "REPLICA_VENTAS", kReplicaVentas},
                 {company, "REPLICA_ARTICULO_ESTADO", kReplicaArticuloEstado},
                 {branch, "FACTURAS", branchFacturas},
                 {branch, "FACTURAS_DETALLE", kFacturasDetalle}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.db + " " + c.table);
        EXPECT_EQ(columnsOf(c.db, c.table), describe(c.columns));
    }
    EXPECT_EQ(kFacturas.size(), 96u);
    EXPECT_EQ(kFacturasDetalle.size(), 32u);
    EXPECT_EQ(kPuntoVenta.size(), 29u);
}

TEST_F(SchemaTest, ProceduresReturnTheDeclaredColumns) {
    EXPECT_EQ(outputsOf(company, "VALIDE_ARTICULO"),
              (std::vector<std::string>{"TIPO char(1)", "ID varchar(15)", "DESCRIPCION varchar(60)",
                                        "UNIDAD varchar(8)", "LOTE char(1)"}));
    EXPECT_EQ(outputsOf(company, "FACTOR_UNIDAD_CANT"),
              (std::vector<std::string>{"FACTOR decimal(15,8)"}));
    EXPECT_EQ(outputsOf(company, "CAMBIE_ID_FACTURA"), (std::vector<std::string>{"ID integer"}));
    EXPECT_EQ(outputsOf(branch, "CAMBIE_ID_FACTURA"), (std::vector<std::string>{"ID integer"}));
    const auto posting = outputsOf(company, "CONTABIL_FACTURA");
    ASSERT_EQ(posting.size(), 3u);
    EXPECT_EQ(posting[0].substr(posting[0].find(' ')), " integer");
    EXPECT_EQ(posting[2].substr(posting[2].find(' ')), " integer");
    EXPECT_EQ(outputsOf(company, "ACTUALICE_TOTAL_DOCVENTA").size(), 0u);
    EXPECT_EQ(outputsOf(company, "CONTABILIZA_PENDIENTE").size(), 0u);
}

TEST_F(SchemaTest, SavesThatTheDatabaseRefuses) {
    execSql(company, std::string(kHeader) + line(1, "01-01", "1785", "285"));
    struct Case {
        const char* what;
        std::string statement;
        bool refused;
    } cases[] = {
        {"duplicate invoice id", kHeader, true},
        {"line of an unknown article", line(2, "99-99", "0", "0"), true},
        {"duplicate line number", line(1, "01-07", "0", "0"), true},
        {"line of an unknown invoice",
         "INSERT INTO FACTURAS_DETALLE (FACT_ID, FADE_ITEM, BODE_COD, ARTI_COD)"
         " VALUES (77, 1, '01', '01-01');",
         true},
        {"header without required number",
         "INSERT INTO FACTURAS (FACT_ID, PTVT_ID, VEND_COD, TERC_NIT, FACT_FECHA, FACT_IVAINC)"
         " VALUES (2, 12, 7, '800100200', '2024-01-31', 'S');",
         true},
        {"second line of the invoice", line(2, "01-07", "0", "0"), false},
        {"two pending replications of one invoice",
         "INSERT INTO REPLICA_ARTICULO_ESTADO VALUES (1, NULL, NULL, 'AB0120240131', '002', 'F',"
         " 'x'); INSERT INTO REPLICA_ARTICULO_ESTADO (RPAE_ID) VALUES (1);",
         false},
        {"a setting stored twice",
         "INSERT INTO CONFIGURACION SELECT * FROM CONFIGURACION WHERE CONF_MODULO = 'FACTURACION';",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.refused)
            EXPECT_THROW(execSql(company, c.statement), std::runtime_error);
        else
            EXPECT_NO_THROW(execSql(company, c.statement));
    }
    EXPECT_EQ(queryValue(company, "SELECT COUNT(*) FROM FACTURAS;"), "1");
    EXPECT_EQ(queryRows(company, "SELECT FADE_ITEM, ARTI_COD FROM FACTURAS_DETALLE ORDER BY 1;"),
              (std::vector<Row>{{"1", "01-01"}, {"2", "01-07"}}));
}

TEST_F(SchemaTest, RefusedStatementReportsTheDatabaseText) {
    try {
        execSql(company, line(1, "01-01", "0", "0"));
        FAIL() << "no failure";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("FK_FACTURAS_DETALLE_FACTURA"), std::string::npos)
            << e.what();
    }
}

TEST_F(SchemaTest, ValideArticuloTellsHowTheKeyWasFound) {
    execSql(company,
            "INSERT INTO ARTICULO (ARTI_COD, ARTI_NOM, ARTI_UNIDAD, TAIV_COD, ARTI_ACTIVO)"
            " VALUES ('09-09', 'RETIRADO', 'KG', 1, 'N');");
    struct Case {
        std::string key;
        Row row;
    } cases[] = {
        {"01-01", {"1", "01-01", "SERVICIO DE PARQUEADERO", "UND", "N"}},
        {"7701000000073", {"2", "01-07", "CAFETERIA", "UND", "N"}},
        {"09-09", {"3", "09-09", "RETIRADO", "KG", "N"}},
        {"01-09", {"0", "<null>", "<null>", "<null>", "<null>"}},
        {"", {"0", "<null>", "<null>", "<null>", "<null>"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const auto rows = queryRows(
            company, "select * from valide_articulo(" + testsupport::sqlQuote(c.key) + ");");
        EXPECT_EQ(rows, std::vector<Row>{c.row});
    }
}

TEST_F(SchemaTest, FactorUnidadCantGivesAtMostOneRow) {
    EXPECT_EQ(queryRows(company, "SELECT * FROM FACTOR_UNIDAD_CANT('01-04','CAJA');"),
              std::vector<Row>{{"12.00000000"}});
    EXPECT_TRUE(queryRows(company, "SELECT * FROM FACTOR_UNIDAD_CANT('01-04','UND');").empty());
    EXPECT_TRUE(queryRows(company, "SELECT * FROM FACTOR_UNIDAD_CANT('99-99','CAJA');").empty());
}

TEST_F(SchemaTest, CambieIdFacturaIssuesFreshIdsPerDatabase) {
    const auto ids = queryRows(company,
                               "EXECUTE PROCEDURE CAMBIE_ID_FACTURA; "
                               "EXECUTE PROCEDURE CAMBIE_ID_FACTURA;");
    EXPECT_EQ(ids, (std::vector<Row>{{"1001"}, {"1002"}}));
    EXPECT_EQ(queryValue(company, "EXECUTE PROCEDURE CAMBIE_ID_FACTURA;"), "1003");
    EXPECT_EQ(queryValue(branch, "EXECUTE PROCEDURE CAMBIE_ID_FACTURA;"), "500001");
}

TEST_F(SchemaTest, ActualiceTotalDocventaSumsTheLines) {
    execSql(company, std::string(kHeader) + line(1, "01-01", "1785", "285") +
                         line(2, "01-03", "1469", "235") + line(3, "01-01", "0", "0"));
    const std::string totals = "SELECT FACT_TOTAL, FACT_IVAMONTO FROM FACTURAS WHERE FACT_ID = 1;";
    execSql(company, "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(30, 1);");
    EXPECT_EQ(queryRows(company, totals), (std::vector<Row>{{"0.00", "0.00"}}));
    execSql(company, "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, 1);");
    EXPECT_EQ(queryRows(company, totals), (std::vector<Row>{{"3254.00", "520.00"}}));
}

TEST_F(SchemaTest, PostingAnswersAndRecordsEntries) {
    const std::string entries =
        "SELECT ASIE_ID, FACT_ID, INVE_ID, ASIE_CONTABILIZADO FROM CONTABILIDAD_ASIENTOS"
        " ORDER BY ASIE_ID;";
    // Without a prepared answer: status 0 with an interface, 1 without.
    EXPECT_EQ(queryRows(company, "select * from contabil_factura(1001,5);"),
              (std::vector<Row>{{"0", "PENDIENTE", "1"}}));
    EXPECT_EQ(queryRows(company, "select * from contabil_factura(1002,NULL);")[0][0], "1");
    execSql(company, "EXECUTE PROCEDURE CONTABILIZA_PENDIENTE(1);");
    EXPECT_EQ(queryRows(company, entries),
              (std::vector<Row>{{"1", "1001", "5", "S"}, {"2", "1002", "<null>", "N"}}));

    execSql(company,
            "INSERT INTO CONTABIL_RESPUESTA (CORE_ESTADO, CORE_MENSAJE, CORE_ASIENTO)"
            " VALUES (5, 'x', 17);");
    EXPECT_EQ(queryRows(company, "select * from contabil_factura(1003,5);"),
              (std::vector<Row>{{"5", "x", "17"}}));
    execSql(company, "UPDATE CONTABIL_RESPUESTA SET CORE_FILAS = 0;");
    EXPECT_TRUE(queryRows(company, "select * from contabil_factura(1004,5);").empty());
    EXPECT_EQ(queryValue(company, "SELECT COUNT(*) FROM CONTABILIDAD_ASIENTOS;"), "4");
}

// The program's own statement texts against the sample data.
TEST_F(SchemaTest, SampleDataAnswersTheProgramsStatements) {
    struct Case {
        std::string db, sql;
        Row first;
    } cases[] = {
        {erp.generalPath(),
         "SELECT * FROM CENTROS WHERE CENT_COD = '21'",
         {"21", "002", "PARQUEADERO CENTRO"}},
        {company,
         "select pref_ivainc, pref_actual from prefijos where tido_cod = 31 and pref_pre = 'AB02'",
         {"N", "0"}},
        {company,
         "select terc_nom, lipr_cod, vend_cod, clie_rtcree from terceros t, clientes c where "
         "t.terc_nit = c.terc_nit and c.terc_nit = '800100200'",
         {"PARQUEADEROS DEL NORTE S.A.", "1", "7", "2.5000"}},
        {company,
         "select taiv_porc, arti_consumo from articulo a, tarifa_iva t where a.taiv_cod = "
         "t.taiv_cod and arti_cod = '01-07'",
         {"19.0000", "150.00"}},
        {company,
         "select MAX(INVE_ID) ID from INTERFAZ_VENTAS where tido_cod = 31 and pref_pre = 'AB01'",
         {"5"}},
        {company,
         "select conf_valor from configuracion where conf_modulo = 'FACTURACION' and "
         "conf_categoria = 'DOCUMENTOS' and conf_propiedad = 'REDONDEO AL MULTIPLO DE DIEZ EN "
         "TOTALES'",
         {"0"}},
        {company,
         "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and "
         "conf_categoria = 'ARTICULOS' and conf_propiedad = 'NOMBRE DE USUARIO PARA REPLICACION "
         "DE ARTICULOS'",
         {"SYSDBA"}},
        {branch,
         "SELECT COUNT(*) FROM ARTICULO WHERE ARTI_COD IN ('01-01','01-03','01-04','01-07')",
         {"4"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        const auto rows = queryRows(c.db, c.sql);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0], c.first);
    }
    const auto pos = queryRows(
        company, "select ptvt_id, bode_cod, pref_pre, terc_nit from punto_venta order by ptvt_id");
    EXPECT_EQ(pos, (std::vector<Row>{{"12", "01", "AB01", "800100200"},
                                     {"13", "02", "AB02", "900300400"},
                                     {"21", "03", "CD01", "800100200"}}));
}

TEST_F(SchemaTest, TextBytesPassUnchanged) {
    execSql(company,
            "INSERT INTO TERCEROS (TERC_NIT, TERC_NOM) VALUES ('1', 'C\xF3"
            "digo \x80 O''X');");
    EXPECT_EQ(queryValue(company, "SELECT TERC_NOM FROM TERCEROS WHERE TERC_NIT = '1'"),
              "C\xF3"
              "digo \x80 O'X");
}

// The engine in this process and isql-fb have the same file open at once.
TEST_F(SchemaTest, IsqlWorksWhileTheTestHoldsTheDatabase) {
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    const char dpb[] = {isc_dpb_version1, isc_dpb_user_name, 6, 'S', 'Y', 'S', 'D', 'B', 'A'};
    ASSERT_EQ(isc_attach_database(status, 0, company.c_str(), &db, sizeof dpb, dpb), 0);
    EXPECT_NO_THROW(execSql(company, "DELETE FROM PUNTO_VENTA WHERE PTVT_ID = 13;"));
    EXPECT_EQ(queryValue(company, "SELECT COUNT(*) FROM PUNTO_VENTA;"), "2");
    isc_detach_database(status, &db);
}

}  // namespace
