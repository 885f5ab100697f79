// The data module's configuration lookup and article services on a stand-in company
// database: the values they return or write into the caller's row, the boxes they show and
// the statements they send.
#include <gtest/gtest.h>

#include "core/errors.h"
#include "data/fdm.h"
#include "data/texts.h"
#include "fb/error.h"
#include "fb/sql_text.h"
#include "records/layouts.h"
#include "tests/support/recording_port.h"
#include "tests/support/support.h"

namespace {

using app::PortCallKind;

class LookupsTest : public ::testing::Test {
  protected:
    LookupsTest() {
        company_ = erp_.addCompany("001");
        fdm_.Quorvan.options().database = company_;
        fdm_.Quorvan.options().user = "SYSDBA";
        fdm_.Quorvan.open();
        fdm_.setConnectionHooks(
            {.statement = [this](const std::string& sql, const std::vector<fb::Value>& params) {
                sent_.push_back(fb::renderSql(sql, params));
            }});
    }

    void exec(const std::string& sql) { testsupport::execSql(company_, sql); }

    // A new detail line in insertion, as the invoice lines pass it to the services.
    records::Buffer& newLine() {
        line_.Close();
        line_.Open();
        line_.Insert();
        return line_;
    }
    records::Field f(const char* name) { return line_.FieldByName(name); }
    bool valide(const std::string& code) {
        return fdm_.valide_articulo(code, f("ARTI_COD"), f("FADE_DESC"), f("FADE_UNIDAD"));
    }

    testsupport::StandInErp erp_;
    std::string company_;
    app::RecordingPort port_;
    data::Tfdm fdm_{port_};
    records::Provider provider_{"PLine", nullptr, fdm_.TFacdetalle};
    records::Buffer line_{"Line", nullptr, provider_, records::facturasDetalleLayout()};
    std::vector<std::string> sent_;
};

const char kModule[] = "FACTURACION";
const char kCategory[] = "DOCUMENTOS";
const char kRounding[] = "REDONDEO AL MULTIPLO DE DIEZ EN TOTALES";

TEST_F(LookupsTest, ConfigurationValueIsReturnedAsStored) {
    exec(
        "INSERT INTO CONFIGURACION VALUES ('M', 'C', 'TWICE', 'first');"
        "INSERT INTO CONFIGURACION VALUES ('M', 'C', 'TWICE', 'second');"
        "INSERT INTO CONFIGURACION VALUES ('M', 'C', 'BLANKS', '  a b  ');"
        "INSERT INTO CONFIGURACION VALUES ('M', 'C', 'NULL', NULL)");
    struct Case {
        const char* property;
        std::string value;
    } cases[] = {
        {"TWICE", "first"},  // the first row the server sends, without a message
        {"BLANKS", "  a b  "},
        {"NULL", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.property);
        EXPECT_EQ(fdm_.configuracion("M", "C", c.property), c.value);
    }
    EXPECT_EQ(fdm_.configuracion(kModule, kCategory, kRounding), "0");
    EXPECT_TRUE(port_.calls().empty());
    EXPECT_EQ(sent_.back(),
              "select conf_valor from configuracion where conf_modulo = 'FACTURACION' and "
              "conf_categoria = 'DOCUMENTOS' and conf_propiedad = 'REDONDEO AL MULTIPLO DE DIEZ "
              "EN TOTALES'");
    EXPECT_TRUE(fdm_.CConfiguracion.Active());  // left open with its last result
}

TEST_F(LookupsTest, AnAbsentSettingShowsOneErrorBoxNamingOnlyTheProperty) {
    for (int call = 1; call <= 2; ++call) {
        EXPECT_EQ(fdm_.configuracion(kModule, "OTRA", kRounding), "");
        EXPECT_EQ(port_.count(PortCallKind::Error), call);
    }
    EXPECT_EQ(port_.calls().size(), 2u);
    EXPECT_EQ(port_.texts(PortCallKind::Error).back(),
              data::texts::kConfiguracionNoEncontrada + kRounding);
}

TEST_F(LookupsTest, ConfigurationKeysGoIntoTheStatementUnquoted) {
    // A quote in a key breaks the statement; the failure reaches the caller as it is.
    try {
        fdm_.configuracion("O'X", kCategory, kRounding);
        FAIL() << "no failure";
    } catch (const fb::Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("SQL Server Error: ", 0), 0u) << e.what();
    }
    EXPECT_EQ(fdm_.CConfiguracion.CommandText,
              "select conf_valor from configuracion where conf_modulo = 'O'X' and "
              "conf_categoria = 'DOCUMENTOS' and conf_propiedad = 'REDONDEO AL MULTIPLO DE DIEZ "
              "EN TOTALES'");
    EXPECT_TRUE(port_.calls().empty());
}

TEST_F(LookupsTest, ValidationFillsTheArticleFieldsForTipoOneAndTwo) {
    struct Case {
        std::string key;
        const char *desc, *unit;  // already in the row, or null
        const char *code, *wantDesc, *wantUnit;
    } cases[] = {
        {"01-03", nullptr, nullptr, "01-03", "LAVADO DE VEHICULOS", "UND"},  // TIPO 1: by code
        {"7701000000011", nullptr, nullptr, "01-01", "SERVICIO DE PARQUEADERO", "UND"},  // 2
        {"01-07", "MI DESCRIPCION", nullptr, "01-07", "MI DESCRIPCION", "UND"},
        {"7701000000042", nullptr, "CAJA", "01-04", "MENSUALIDADES", "CAJA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        newLine();
        if (c.desc) f("FADE_DESC").setString(c.desc);
        if (c.unit) f("FADE_UNIDAD").setString(c.unit);
        EXPECT_TRUE(valide(c.key));
        EXPECT_EQ(f("ARTI_COD").asString(), c.code);
        EXPECT_EQ(f("FADE_DESC").asString(), c.wantDesc);
        EXPECT_EQ(f("FADE_UNIDAD").asString(), c.wantUnit);
        EXPECT_EQ(sent_.back(), "select * from valide_articulo('" + c.key + "')");
    }
    EXPECT_TRUE(port_.calls().empty());
}

TEST_F(LookupsTest, ValidationThatFindsNoUsableArticleLeavesTheRowAsItWas) {
    exec(
        "INSERT INTO ARTICULO (ARTI_COD, ARTI_NOM, ARTI_UNIDAD, TAIV_COD, ARTI_ACTIVO) "
        "VALUES ('01-99', 'INACTIVO', 'UND', 1, 'N')");
    struct Case {
        std::string key;
        std::vector<std::string> boxes;  // information boxes shown
        std::vector<std::string> sent;
    } cases[] = {
        {"01-09",
         {data::texts::kCodigo + "'01-09'" + data::texts::kNoEncontrado},
         {"select * from valide_articulo('01-09')"}},
        {"O'X",
         {data::texts::kCodigo + "'O''X'" + data::texts::kNoEncontrado},
         {"select * from valide_articulo('O''X')"}},
        {"01-99", {}, {"select * from valide_articulo('01-99')"}},  // TIPO 3: not usable
        {"", {}, {}},                                               // no query, no box
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        port_.clear();
        newLine();
        f("FADE_DESC").setString("ANTES");
        sent_.clear();
        EXPECT_FALSE(valide(c.key));
        EXPECT_TRUE(f("ARTI_COD").isNull());
        EXPECT_EQ(f("FADE_DESC").asString(), "ANTES");
        EXPECT_TRUE(f("FADE_UNIDAD").isNull());
        EXPECT_EQ(port_.texts(PortCallKind::Information), c.boxes);
        EXPECT_EQ(port_.calls().size(), c.boxes.size());
        EXPECT_EQ(sent_, c.sent);
    }
}

TEST_F(LookupsTest, TaxRatesOfTheArticleOrZero) {
    exec(
        "INSERT INTO ARTICULO (ARTI_COD, ARTI_NOM, TAIV_COD, ARTI_CONSUMO) "
        "VALUES ('SINTARIFA', 'X', 99, 10)");
    struct Case {
        std::string code;
        std::string vat, consumption;
    } cases[] = {
        {"01-07", "19", "150"},
        {"01-09", "0", "0"},      // not in ARTICULO
        {"SINTARIFA", "0", "0"},  // a tariff TARIFA_IVA lacks
        {"O'X", "0", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        newLine();
        fdm_.imptos_articulo(c.code, f("FADE_IVAPORC"), f("FADE_CONSUMO"));
        // Set to a value, 0 included: never left empty.
        EXPECT_FALSE(f("FADE_IVAPORC").isNull());
        EXPECT_FALSE(f("FADE_CONSUMO").isNull());
        EXPECT_EQ(f("FADE_IVAPORC").asMoney(), core::Money::parse(c.vat));
        EXPECT_EQ(f("FADE_CONSUMO").asMoney(), core::Money::parse(c.consumption));
    }
    EXPECT_EQ(sent_.back(),
              "select taiv_porc, arti_consumo from articulo a, tarifa_iva t where a.taiv_cod = "
              "t.taiv_cod and arti_cod = 'O''X'");
    EXPECT_TRUE(port_.calls().empty());
}

TEST_F(LookupsTest, UnitFactorOrExactlyOne) {
    exec(
        "INSERT INTO ARTICULO_UNIDAD VALUES ('01-03', 'PAR', 2.12344999);"
        "INSERT INTO ARTICULO_UNIDAD VALUES ('01-03', 'MEDIO', 0.00005)");
    struct Case {
        std::string article, unit;
        int64_t raw;  // ten-thousandths
        std::vector<std::string> sent;
    } cases[] = {
        {"01-04", "CAJA", 120000, {"SELECT * FROM FACTOR_UNIDAD_CANT('01-04','CAJA')"}},
        {"01-04", "UND", 10000, {"SELECT * FROM FACTOR_UNIDAD_CANT('01-04','UND')"}},
        {"01-03", "PAR", 21234, {"SELECT * FROM FACTOR_UNIDAD_CANT('01-03','PAR')"}},
        {"01-03", "MEDIO", 0, {"SELECT * FROM FACTOR_UNIDAD_CANT('01-03','MEDIO')"}},  // half: even
        {"O'X", "U'N", 10000, {"SELECT * FROM FACTOR_UNIDAD_CANT('O''X','U''N')"}},
        {"", "UND", 10000, {}},
        {"01-04", "", 10000, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.article + "/" + c.unit);
        sent_.clear();
        EXPECT_EQ(fdm_.factor_unidad(c.article, c.unit).raw(), c.raw);
        EXPECT_EQ(sent_, c.sent);
    }
}

TEST_F(LookupsTest, ValidationWithoutARowOrWithANonDigitTipoFailsAsAConversion) {
    // Replacements of the procedure: one that answers nothing, one with a letter as TIPO.
    const char* bodies[] = {"BEGIN IF (1 = 0) THEN SUSPEND; END",
                            "BEGIN TIPO = 'X'; ID = '01-01'; SUSPEND; END"};
    for (const char* body : bodies) {
        SCOPED_TRACE(body);
        exec(std::string("SET TERM ^ ;\nALTER PROCEDURE VALIDE_ARTICULO (CLAVE VARCHAR(255)) "
                         "RETURNS (TIPO CHAR(1), ID VARCHAR(15), DESCRIPCION VARCHAR(60), UNIDAD "
                         "VARCHAR(8), LOTE CHAR(1)) AS ") +
             body + "^\nSET TERM ; ^");
        fdm_.Quorvan.open();  // a fresh attachment sees the new procedure
        newLine();
        EXPECT_THROW(valide("01-01"), core::ConversionError);
        EXPECT_TRUE(f("ARTI_COD").isNull());
        EXPECT_TRUE(port_.calls().empty());
    }
}

}  // namespace
