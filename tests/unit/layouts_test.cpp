// The declared columns of the program's buffers: names in order, types, widths and required
// flags, and where the nested detail field stands.
#include "records/layouts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using records::FieldDef;
using records::Layout;

// "FACT_ID integer R": name, type as the ERP's tables are described, and R when required.
std::string spell(const FieldDef& f) {
    using T = fb::FieldType;
    if (f.nested) return f.name + " nested";
    std::string type;
    switch (f.type) {
        case T::Integer:
            type = "integer";
            break;
        case T::SmallInt:
            type = "small integer";
            break;
        case T::Decimal:
            type = "decimal(" + std::to_string(f.size) + "," + std::to_string(f.scale) + ")";
            break;
        case T::Double:
            type = "double";
            break;
        case T::Date:
            type = "date";
            break;
        case T::Time:
            type = "time";
            break;
        case T::Char:
            type = "char(" + std::to_string(f.size) + ")";
            break;
        case T::VarChar:
            type = "varchar(" + std::to_string(f.size) + ")";
            break;
        case T::TextBlob:
            type = "text blob";
            break;
        case T::ByteBlob:
            type = "byte blob";
            break;
        default:
            type = fb::fieldTypeName(f.type);
    }
    return f.name + " " + type + (f.required ? " R" : "");
}

std::vector<std::string> spelled(const Layout& l) {
    std::vector<std::string> out;
    for (const FieldDef& f : l) out.push_back(spell(f));
    return out;
}

// FACTURAS in the header buffer's order, without the nested field.
const std::vector<std::string> kFacturas = {
    "FACT_ID integer R",
    "PTVT_ID integer R",
    "VEND_COD integer R",
    "TERC_NIT varchar(20) R",
    "AUTO_NUMERO varchar(20)",
    "FACT_FECHA date R",
    "FACT_DESPACHO varchar(255)",
    "FACT_VENCE date",
    "FACT_IVAINC char(1) R",
    "FACT_COMIPORC decimal(15,4)",
    "FACT_COMIMONTO decimal(15,2)",
    "FACT_DTOPOR decimal(15,4)",
    "FACT_DTOMONTO decimal(15,2)",
    "FACT_ADICIONAL decimal(15,2)",
    "FACT_IVAMONTO decimal(15,2)",
    "FACT_RTFTEPOR decimal(15,4)",
    "FACT_RTFTEMONTO decimal(15,2)",
    "FACT_RTIVAPOR decimal(15,4)",
    "FACT_RTIVAMONTO decimal(15,2)",
    "FACT_RTICAPOR decimal(15,4)",
    "FACT_RTICAMONTO decimal(15,2)",
    "FACT_EXTRA decimal(15,2)",
    "FACT_DTOFPOR decimal(15,4)",
    "FACT_DTOFMONTO decimal(15,2)",
    "FACT_DTOFFECHA date",
    "PREF_PRE varchar(4)",
    "FACT_TRANSP varchar(60)",
    "FACT_NOMCLIENTE varchar(60)",
    "FACT_COTIZACI varchar(30)",
    "FACT_PEDIDO varchar(30)",
    "FACT_REMISION varchar(30)",
    "FACT_ANULADO char(1)",
    "FACT_TRANSMIT char(1)",
    "FACT_TOTAL decimal(15,2)",
    "BODE_COD varchar(2)",
    "FACT_OBS text blob",
    "VEHI_COD varchar(8)",
    "FACT_CONSOLIDA integer",
    "FACT_RECIBIDO decimal(15,2)",
    "FACT_USUARIO varchar(10)",
    "FACT_SUCURSAL varchar(10)",
    "NUMOK char(1)",
    "COBR_COD integer",
    "FACT_FACTOR double",
    "FACT_DETCLI varchar(20)",
    "FACT_DETCLINOM varchar(60)",
    "FACT_DTOIT1 decimal(15,2)",
    "FACT_DTOIT2 decimal(15,2)",
    "FACT_DTOIT3 decimal(15,2)",
    "FACT_NUMERO varchar(8) R",
    "FACT_ANTICIPO decimal(15,2)",
    "FACT_GARANTIA decimal(15,2)",
    "FACT_DEC2799 decimal(15,2)",
    "FACT_COMIP char(1)",
    "FACT_FECINI date",
    "FACT_FECFIN date",
    "FACT_ENTREGA date",
    "FACT_RTCREE decimal(15,4)",
    "FACT_RTCREEM decimal(15,2)",
    "FACT_TRM double",
    "FACT_IDFMAR integer",
    "FACT_DETCLIDIR varchar(100)",
    "FACT_DETCLICIU varchar(60)",
    "FACT_DETCLITEL varchar(40)",
    "FACT_DETCLITR varchar(60)",
    "FACT_VALE varchar(60)",
    "FACT_ORDENCLI varchar(12)",
    "FACT_DTOF1 decimal(15,4)",
    "FACT_DTOF1FEC date",
    "FACT_DTOF2 decimal(15,4)",
    "FACT_DTOF2FEC date",
    "FACT_DTOF3 decimal(15,4)",
    "FACT_DTOF3FEC date",
    "FACT_DTOF4 decimal(15,4)",
    "FACT_DTOF4FEC date",
    "FACT_DTOF1M decimal(15,2)",
    "FACT_DTOF2M decimal(15,2)",
    "FACT_DTOF3M decimal(15,2)",
    "FACT_AUTOCAR integer",
    "FACT_AUTOCUPO integer",
    "FACT_CONTRATO integer",
    "FACT_PTOSCLIFAC small integer",
    "FACT_CUFE varchar(100)",
    "FACT_XML byte blob",
    "FACT_REPGRA byte blob",
    "FACT_PENDIENTES char(1)",
    "FACT_ESTADO small integer",
    "FACT_ESTOBS varchar(1024)",
    "FACT_TIPOENTREGA integer",
    "FACT_CLIEXE char(1)",
    "FACT_PROFORMA varchar(30)",
    "FACT_ART42413 char(1)",
    "FACT_MONEDA integer",
    "FACT_1ACOMPRA char(1)",
    "FACT_CUMPLEANOS char(1)",
    "FACT_AUTOCOVINOC varchar(8)",
};

TEST(Layouts, HeaderHas96ColumnsAndTheNestedLinesBeforeFactNumero) {
    std::vector<std::string> expected = kFacturas;
    auto numero = std::find(expected.begin(), expected.end(), "FACT_NUMERO varchar(8) R");
    ASSERT_NE(numero, expected.end());
    expected.insert(numero, "TFacdetalle nested");
    EXPECT_EQ(spelled(records::facturasLayout()), expected);
}

TEST(Layouts, ReplicaDeclaresTheFirst60WithItsOwnTrmAndNumeroPlace) {
    // Everything up to FACT_TRM, FACT_NUMERO moved right after AUTO_NUMERO, FACT_TRM with two
    // decimals, and the replica's own nested field where the header has its.
    std::vector<std::string> expected;
    for (const std::string& c : kFacturas) {
        if (c.rfind("FACT_IDFMAR ", 0) == 0) break;
        if (c.rfind("FACT_NUMERO ", 0) == 0) continue;
        expected.push_back(c == "FACT_TRM double" ? "FACT_TRM decimal(15,2)" : c);
        if (c.rfind("AUTO_NUMERO ", 0) == 0) expected.push_back("FACT_NUMERO varchar(8) R");
        if (c.rfind("FACT_DTOIT3 ", 0) == 0) expected.push_back("TFactdetreplica nested");
    }
    ASSERT_EQ(expected.size(), 61u);
    EXPECT_EQ(spelled(records::facturasReplicaLayout()), expected);
}

TEST(Layouts, DetailHas32ColumnsWithItsRequiredFlags) {
    const std::vector<std::string> expected = {
        "FACT_ID integer R",
        "FADE_ITEM integer R",
        "BODE_COD varchar(2) R",
        "ARTI_COD varchar(15) R",
        "FADE_CANT decimal(15,4)",
        "FADE_UNIDAD varchar(8)",
        "FADE_LOTE varchar(15)",
        "FADE_PRUNIT decimal(15,2)",
        "FADE_DTOPORC decimal(15,4)",
        "FADE_DTOMONTO decimal(15,2)",
        "FADE_IVAPORC decimal(15,4)",
        "FADE_IVAMONTO decimal(15,2)",
        "FADE_CONSUMO decimal(15,2)",
        "FADE_FACTOR decimal(15,4)",
        "FADE_DESC varchar(255)",
        "FADE_OBS byte blob",
        "FADE_CODBAR varchar(15)",
        "FADE_REMISIONADO decimal(15,4)",
        "FADE_DEVUELTO decimal(15,4)",
        "FADE_TOTAL decimal(15,2)",
        "LIPR_COD integer",
        "FADE_REFERENCIA varchar(60)",
        "FADE_ANULADO char(1)",
        "FADE_TRANSMIT char(1)",
        "FADE_FACTORLISTA decimal(15,4)",
        "FADE_DTO1 decimal(15,4)",
        "FADE_DTO2 decimal(15,4)",
        "FADE_DTO3 decimal(15,4)",
        "FADE_DTOM1 decimal(15,2)",
        "FADE_DTOM2 decimal(15,2)",
        "FADE_DTOM3 decimal(15,2)",
        "FADE_CAJAS decimal(15,4)",
    };
    EXPECT_EQ(spelled(records::facturasDetalleLayout()), expected);
}

TEST(Layouts, ReferenceBuffers) {
    const std::vector<std::string> puntoVenta = {
        "PTVT_ID integer R",       "BODE_COD varchar(2) R",
        "PTVT_NOM varchar(60) R",  "PTVT_RESP varchar(60)",
        "CAJA_ID integer",         "PTVT_COLOR varchar(8)",
        "PREF_PRE varchar(4)",     "TERC_NIT varchar(20)",
        "SUCU_ID integer",         "PTVT_BALPTO varchar(4)",
        "PTVT_BALPOSP integer",    "PTVT_BALLONC integer",
        "PTVT_MONPTO varchar(4)",  "PTVT_BALFACTOR decimal(15,4)",
        "PTVT_MODPREC char(1)",    "PTVT_ACTIVO char(1)",
        "PTVT_DEC2799 char(1)",    "PTVT_IDDIAN varchar(20)",
        "PTVT_FECCIE date",        "PTVT_CAJACIERRE integer",
        "PTVT_CAJADIF integer",    "PTVT_PREFPED varchar(4)",
        "PTVT_BALINVERT char(1)",  "PTVT_BALCAR varchar(15)",
        "PTVT_BALLEE char(1)",     "PTVT_PREFCOT varchar(4)",
        "PTVT_PREFREM varchar(4)", "PTVT_BALLPESO small integer",
        "PTVT_BALOPOS char(1)",
    };
    EXPECT_EQ(spelled(records::puntoVentaLayout()), puntoVenta);

    const std::vector<std::string> replicaVentas = {
        "RPVE_COD char(3) R",   "RPVE_NOMBRE varchar(60)", "RPVE_SERVIDOR varchar(60)",
        "RPVE_PREF varchar(4)", "RPVE_PTVT integer",       "RPVE_PREFDES varchar(4)",
        "RPVE_PTVTDES integer",
    };
    EXPECT_EQ(spelled(records::replicaVentasLayout()), replicaVentas);

    const std::vector<std::string> replicaArticulo = {
        "RPAE_ID integer R",         "RPAE_FECHA date",     "RPAE_HORA time",
        "ARTI_COD varchar(15)",      "RPAE_CIA varchar(3)", "RPAE_TIPO char(1)",
        "RPAE_SERVIDOR varchar(60)",
    };
    EXPECT_EQ(spelled(records::replicaArticuloEstadoLayout()), replicaArticulo);

    const std::vector<std::string> valide = {
        "TIPO char(1)", "DESCRIPCION varchar(60)", "UNIDAD varchar(8)", "ID varchar(15)",
        "LOTE char(1)",
    };
    EXPECT_EQ(spelled(records::valideArticuloLayout()), valide);
    EXPECT_EQ(spelled(records::factorLayout()), std::vector<std::string>{"FACTOR decimal(15,8)"});
}

}  // namespace
