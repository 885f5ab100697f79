// The data module's lookups: configuration values and the article services. Each runs one
// statement through the module's own buffer and leaves the buffer open with its result.
#include "core/text.h"
#include "data/fdm.h"
#include "data/texts.h"
#include "records/command.h"

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
    error(data::texts::kConfiguracionNoEncontrada + Pregunta);
    return {};
}

namespace {

using records::openCommand;
using records::values;

fb::Value text(const std::string& t) {
    return fb::Value::ofText(t);
}

}  // namespace

void Tfdm::rememberArticleAnswers(bool on) {
    answers_ = ArticleAnswers{};
    answers_.on = on;
    answers_.connection = Quorvan.openCount();
    answers_.epoch = on ? ++epochs_ : 0;
}

uint64_t Tfdm::answersEpoch() {
    answersHold();
    return answers_.epoch;
}

bool Tfdm::answersHold() {
    if (answers_.on && answers_.connection != Quorvan.openCount()) rememberArticleAnswers(true);
    return answers_.on;
}

Tfdm::Validation Tfdm::validation(const std::string& key) {
    const bool remember = answersHold();
    if (remember) {
        auto it = answers_.validations.find(key);
        if (it != answers_.validations.end()) return it->second;
    }
    openCommand(CValarticulo, "select * from valide_articulo(:CLAVE)",
                values({{"CLAVE", text(key)}}));
    // No row, or a type that is not a number, fails here with the conversion's message (and
    // is not remembered).
    Validation v;
    v.tipo = core::parseInt32(CValarticulo.FieldByName("TIPO").asString());
    if (v.tipo == 1 || v.tipo == 2) {
        v.id = CValarticulo.FieldByName("ID").asString();
        v.descripcion = CValarticulo.FieldByName("DESCRIPCION").asString();
        v.unidad = CValarticulo.FieldByName("UNIDAD").asString();
    }
    if (remember) answers_.validations.emplace(key, v);
    return v;
}

bool Tfdm::valide_articulo(const std::string& CodBar, records::Field Cod, records::Field Desc,
                           records::Field Unidad) {
    if (CodBar.empty()) return false;
    const Validation v = validation(CodBar);
    if (v.tipo == 0) {
        information(data::texts::kCodigo + core::sqlQuote(CodBar) + data::texts::kNoEncontrado);
        return false;
    }
    if (v.tipo != 1 && v.tipo != 2) return false;
    Cod.setString(v.id);
    if (Desc.asString().empty()) Desc.setString(v.descripcion);
    if (Unidad.asString().empty()) Unidad.setString(v.unidad);
    return true;
}

void Tfdm::imptos_articulo(const std::string& Id, records::Field IvaP, records::Field Consumo) {
    const bool remember = answersHold();
    auto it = answers_.taxes.find(Id);
    if (!remember || it == answers_.taxes.end()) {
        openCommand(CArticulo,
                    "select taiv_porc, arti_consumo from articulo a, tarifa_iva t where "
                    "a.taiv_cod = t.taiv_cod and arti_cod = :ARTI_COD",
                    values({{"ARTI_COD", text(Id)}}));
        // Without a row both read as 0.
        const std::pair<core::Money, core::Money> taxes{CArticulo.Fields(0).asMoney(),
                                                        CArticulo.Fields(1).asMoney()};
        if (!remember) {
            IvaP.setMoney(taxes.first);
            Consumo.setMoney(taxes.second);
            return;
        }
        it = answers_.taxes.emplace(Id, taxes).first;
    }
    IvaP.setMoney(it->second.first);
    Consumo.setMoney(it->second.second);
}

std::vector<std::string> Tfdm::rememberedRow(records::Buffer& buffer, const std::string& sql,
                                             const records::Params& params, int columns) {
    const bool remember = answersHold();
    std::string key = sql;
    for (const records::Param& p : params) key += '\0' + p.name + '=' + p.value.asText();
    if (remember) {
        auto it = answers_.rows.find(key);
        if (it != answers_.rows.end()) return it->second;
    }
    openCommand(buffer, sql, params);
    std::vector<std::string> row;
    for (int i = 0; i < columns; ++i) row.push_back(buffer.Fields(i).asString());
    if (remember) answers_.rows.emplace(std::move(key), row);
    return row;
}

core::Money Tfdm::factor_unidad(const std::string& IdArt, const std::string& Unidad) {
    const core::Money one = core::Money::fromInt(1);
    if (IdArt.empty() || Unidad.empty()) return one;
    const bool remember = answersHold();
    const std::pair<std::string, std::string> key{IdArt, Unidad};
    if (remember) {
        auto it = answers_.factors.find(key);
        if (it != answers_.factors.end()) return it->second;
    }
    openCommand(CFactor, "SELECT * FROM FACTOR_UNIDAD_CANT(:ARTICULO,:UNIDAD)",
                values({{"ARTICULO", text(IdArt)}, {"UNIDAD", text(Unidad)}}));
    const core::Money factor = CFactor.IsEmpty() ? one : CFactor.FieldByName("FACTOR").asMoney();
    if (remember) answers_.factors.emplace(key, factor);
    return factor;
}

}  // namespace data
