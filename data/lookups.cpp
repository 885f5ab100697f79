// The data module's lookups: configuration values and the article services. Each runs one
// statement through the module's own buffer and leaves the buffer open with its result.
#include "app/texts.h"
#include "core/text.h"
#include "data/fdm.h"

namespace data {

void Tfdm::error(const std::string& text) {
    shown_ += (shown_.empty() ? "" : " | ") + text;
    port_->error(text);
}

void Tfdm::information(const std::string& text) {
    shown_ += (shown_.empty() ? "" : " | ") + text;
    port_->information(text);
}

std::string Tfdm::configuracion(const std::string& Modulo, const std::string& Categoria,
                                const std::string& Pregunta) {
    CConfiguracion.Close();
    CConfiguracion.CommandText = "select conf_valor from configuracion where conf_modulo = '" +
                                 Modulo + "' and conf_categoria = '" + Categoria +
                                 "' and conf_propiedad = '" + Pregunta + "'";
    CConfiguracion.Open();
    if (!CConfiguracion.IsEmpty()) return CConfiguracion.Fields(0).asString();
    error(app::texts::kConfiguracionNoEncontrada + Pregunta);
    return {};
}

bool Tfdm::valide_articulo(const std::string& CodBar, records::Field Cod, records::Field Desc,
                           records::Field Unidad) {
    if (CodBar.empty()) return false;
    CValarticulo.Close();
    CValarticulo.CommandText = "select * from valide_articulo(" + core::sqlQuote(CodBar) + ")";
    CValarticulo.Open();
    // No row, or a type that is not a number, fails here with the conversion's message.
    int tipo = core::parseInt32(CValarticulo.FieldByName("TIPO").asString());
    if (tipo == 0) {
        information(app::texts::kCodigo + core::sqlQuote(CodBar) + app::texts::kNoEncontrado);
        return false;
    }
    if (tipo != 1 && tipo != 2) return false;
    Cod.setString(CValarticulo.FieldByName("ID").asString());
    if (Desc.asString().empty()) Desc.setString(CValarticulo.FieldByName("DESCRIPCION").asString());
    if (Unidad.asString().empty()) Unidad.setString(CValarticulo.FieldByName("UNIDAD").asString());
    return true;
}

void Tfdm::imptos_articulo(const std::string& Id, records::Field IvaP, records::Field Consumo) {
    CArticulo.Close();
    CArticulo.CommandText =
        "select taiv_porc, arti_consumo from articulo a, tarifa_iva t where a.taiv_cod = "
        "t.taiv_cod and arti_cod = " +
        core::sqlQuote(Id);
    CArticulo.Open();
    // Without a row both read as 0.
    IvaP.setMoney(CArticulo.Fields(0).asMoney());
    Consumo.setMoney(CArticulo.Fields(1).asMoney());
}

core::Money Tfdm::factor_unidad(const std::string& IdArt, const std::string& Unidad) {
    const core::Money one = core::Money::fromInt(1);
    if (IdArt.empty() || Unidad.empty()) return one;
    CFactor.Close();
    CFactor.CommandText = "SELECT * FROM FACTOR_UNIDAD_CANT(" + core::sqlQuote(IdArt) + "," +
                          core::sqlQuote(Unidad) + ")";
    CFactor.Open();
    if (CFactor.IsEmpty()) return one;
    return CFactor.FieldByName("FACTOR").asMoney();
}

}  // namespace data
