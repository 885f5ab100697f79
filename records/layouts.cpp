#include "records/layouts.h"

#include <algorithm>

namespace records {
namespace {

constexpr bool R = true;

Layout makeFacturas() {
    return {
        integer("FACT_ID", R),
        integer("PTVT_ID", R),
        integer("VEND_COD", R),
        text("TERC_NIT", 20, R),
        text("AUTO_NUMERO", 20),
        date("FACT_FECHA", R),
        text("FACT_DESPACHO", 255),
        date("FACT_VENCE"),
        fixedText("FACT_IVAINC", 1, R),
        decimal("FACT_COMIPORC", 15, 4),
        decimal("FACT_COMIMONTO", 15, 2),
        decimal("FACT_DTOPOR", 15, 4),
        decimal("FACT_DTOMONTO", 15, 2),
        decimal("FACT_ADICIONAL", 15, 2),
        decimal("FACT_IVAMONTO", 15, 2),
        decimal("FACT_RTFTEPOR", 15, 4),
        decimal("FACT_RTFTEMONTO", 15, 2),
        decimal("FACT_RTIVAPOR", 15, 4),
        decimal("FACT_RTIVAMONTO", 15, 2),
        decimal("FACT_RTICAPOR", 15, 4),
        decimal("FACT_RTICAMONTO", 15, 2),
        decimal("FACT_EXTRA", 15, 2),
        decimal("FACT_DTOFPOR", 15, 4),
        decimal("FACT_DTOFMONTO", 15, 2),
        date("FACT_DTOFFECHA"),
        text("PREF_PRE", 4),
        text("FACT_TRANSP", 60),
        text("FACT_NOMCLIENTE", 60),
        text("FACT_COTIZACI", 30),
        text("FACT_PEDIDO", 30),
        text("FACT_REMISION", 30),
        fixedText("FACT_ANULADO", 1),
        fixedText("FACT_TRANSMIT", 1),
        decimal("FACT_TOTAL", 15, 2),
        text("BODE_COD", 2),
        textBlob("FACT_OBS"),
        text("VEHI_COD", 8),
        integer("FACT_CONSOLIDA"),
        decimal("FACT_RECIBIDO", 15, 2),
        text("FACT_USUARIO", 10),
        text("FACT_SUCURSAL", 10),
        fixedText("NUMOK", 1),
        integer("COBR_COD"),
        doubleField("FACT_FACTOR"),
        text("FACT_DETCLI", 20),
        text("FACT_DETCLINOM", 60),
        decimal("FACT_DTOIT1", 15, 2),
        decimal("FACT_DTOIT2", 15, 2),
        decimal("FACT_DTOIT3", 15, 2),
        nested("TFacdetalle"),
        text("FACT_NUMERO", 8, R),
        decimal("FACT_ANTICIPO", 15, 2),
        decimal("FACT_GARANTIA", 15, 2),
        decimal("FACT_DEC2799", 15, 2),
        fixedText("FACT_COMIP", 1),
        date("FACT_FECINI"),
        date("FACT_FECFIN"),
        date("FACT_ENTREGA"),
        decimal("FACT_RTCREE", 15, 4),
        decimal("FACT_RTCREEM", 15, 2),
        doubleField("FACT_TRM"),
        integer("FACT_IDFMAR"),
        text("FACT_DETCLIDIR", 100),
        text("FACT_DETCLICIU", 60),
        text("FACT_DETCLITEL", 40),
        text("FACT_DETCLITR", 60),
        text("FACT_VALE", 60),
        text("FACT_ORDENCLI", 12),
        decimal("FACT_DTOF1", 15, 4),
        date("FACT_DTOF1FEC"),
        decimal("FACT_DTOF2", 15, 4),
        date("FACT_DTOF2FEC"),
        decimal("FACT_DTOF3", 15, 4),
        date("FACT_DTOF3FEC"),
        decimal("FACT_DTOF4", 15, 4),
        date("FACT_DTOF4FEC"),
        decimal("FACT_DTOF1M", 15, 2),
        decimal("FACT_DTOF2M", 15, 2),
        decimal("FACT_DTOF3M", 15, 2),
        integer("FACT_AUTOCAR"),
        integer("FACT_AUTOCUPO"),
        integer("FACT_CONTRATO"),
        smallInt("FACT_PTOSCLIFAC"),
        text("FACT_CUFE", 100),
        byteBlob("FACT_XML"),
        byteBlob("FACT_REPGRA"),
        fixedText("FACT_PENDIENTES", 1),
        smallInt("FACT_ESTADO"),
        text("FACT_ESTOBS", 1024),
        integer("FACT_TIPOENTREGA"),
        fixedText("FACT_CLIEXE", 1),
        text("FACT_PROFORMA", 30),
        fixedText("FACT_ART42413", 1),
        integer("FACT_MONEDA"),
        fixedText("FACT_1ACOMPRA", 1),
        fixedText("FACT_CUMPLEANOS", 1),
        text("FACT_AUTOCOVINOC", 8),
    };
}

Layout makeReplica() {
    const Layout& full = facturasLayout();
    Layout out;
    for (const FieldDef& f : full) {
        if (f.name == "FACT_IDFMAR") break;  // the replica declares none from here on
        if (f.name == "FACT_NUMERO") continue;
        if (f.nested) {
            out.push_back(nested("TFactdetreplica"));
            continue;
        }
        out.push_back(f.name == "FACT_TRM" ? decimal("FACT_TRM", 15, 2) : f);
        if (f.name == "AUTO_NUMERO") out.push_back(text("FACT_NUMERO", 8, R));
    }
    return out;
}

}  // namespace

const Layout& facturasLayout() {
    static const Layout l = makeFacturas();
    return l;
}

const Layout& facturasReplicaLayout() {
    static const Layout l = makeReplica();
    return l;
}

const Layout& facturasDetalleLayout() {
    static const Layout l = {
        integer("FACT_ID", R),
        integer("FADE_ITEM", R),
        text("BODE_COD", 2, R),
        text("ARTI_COD", 15, R),
        decimal("FADE_CANT", 15, 4),
        text("FADE_UNIDAD", 8),
        text("FADE_LOTE", 15),
        decimal("FADE_PRUNIT", 15, 2),
        decimal("FADE_DTOPORC", 15, 4),
        decimal("FADE_DTOMONTO", 15, 2),
        decimal("FADE_IVAPORC", 15, 4),
        decimal("FADE_IVAMONTO", 15, 2),
        decimal("FADE_CONSUMO", 15, 2),
        decimal("FADE_FACTOR", 15, 4),
        text("FADE_DESC", 255),
        byteBlob("FADE_OBS"),
        text("FADE_CODBAR", 15),
        decimal("FADE_REMISIONADO", 15, 4),
        decimal("FADE_DEVUELTO", 15, 4),
        decimal("FADE_TOTAL", 15, 2),
        integer("LIPR_COD"),
        text("FADE_REFERENCIA", 60),
        fixedText("FADE_ANULADO", 1),
        fixedText("FADE_TRANSMIT", 1),
        decimal("FADE_FACTORLISTA", 15, 4),
        decimal("FADE_DTO1", 15, 4),
        decimal("FADE_DTO2", 15, 4),
        decimal("FADE_DTO3", 15, 4),
        decimal("FADE_DTOM1", 15, 2),
        decimal("FADE_DTOM2", 15, 2),
        decimal("FADE_DTOM3", 15, 2),
        decimal("FADE_CAJAS", 15, 4),
    };
    return l;
}

const Layout& puntoVentaLayout() {
    static const Layout l = {
        integer("PTVT_ID", R),
        text("BODE_COD", 2, R),
        text("PTVT_NOM", 60, R),
        text("PTVT_RESP", 60),
        integer("CAJA_ID"),
        text("PTVT_COLOR", 8),
        text("PREF_PRE", 4),
        text("TERC_NIT", 20),
        integer("SUCU_ID"),
        text("PTVT_BALPTO", 4),
        integer("PTVT_BALPOSP"),
        integer("PTVT_BALLONC"),
        text("PTVT_MONPTO", 4),
        decimal("PTVT_BALFACTOR", 15, 4),
        fixedText("PTVT_MODPREC", 1),
        fixedText("PTVT_ACTIVO", 1),
        fixedText("PTVT_DEC2799", 1),
        text("PTVT_IDDIAN", 20),
        date("PTVT_FECCIE"),
        integer("PTVT_CAJACIERRE"),
        integer("PTVT_CAJADIF"),
        text("PTVT_PREFPED", 4),
        fixedText("PTVT_BALINVERT", 1),
        text("PTVT_BALCAR", 15),
        fixedText("PTVT_BALLEE", 1),
        text("PTVT_PREFCOT", 4),
        text("PTVT_PREFREM", 4),
        smallInt("PTVT_BALLPESO"),
        fixedText("PTVT_BALOPOS", 1),
    };
    return l;
}

const Layout& replicaVentasLayout() {
    static const Layout l = {
        fixedText("RPVE_COD", 3, R), text("RPVE_NOMBRE", 60), text("RPVE_SERVIDOR", 60),
        text("RPVE_PREF", 4),        integer("RPVE_PTVT"),    text("RPVE_PREFDES", 4),
        integer("RPVE_PTVTDES"),
    };
    return l;
}

const Layout& replicaArticuloEstadoLayout() {
    static const Layout l = {
        integer("RPAE_ID", R),     date("RPAE_FECHA"),  time("RPAE_HORA"),
        text("ARTI_COD", 15),      text("RPAE_CIA", 3), fixedText("RPAE_TIPO", 1),
        text("RPAE_SERVIDOR", 60),
    };
    return l;
}

const Layout& valideArticuloLayout() {
    static const Layout l = {
        fixedText("TIPO", 1), text("DESCRIPCION", 60), text("UNIDAD", 8),
        text("ID", 15),       fixedText("LOTE", 1),
    };
    return l;
}

const Layout& factorLayout() {
    static const Layout l = {decimal("FACTOR", 15, 8)};
    return l;
}

}  // namespace records
