#include "import/invoice_lines.h"

#include <array>
#include <string>

#include "core/money.h"
#include "import/discount_group.h"

namespace importer {
namespace {

using core::Money;

constexpr std::string_view kDiscountCode = "01-01";

class LineBuilder {
  public:
    LineBuilder(data::Tfdm& fdm, records::Buffer& lines, const LineDefaults& d)
        : fdm_(fdm), b_(lines), d_(d) {}

    // The line of one amount field; the caller skips a field whose text is exactly "0".
    void amountLine(const AmountField& kind, std::string_view text) {
        start(kind.code);
        if (!kind.reference.empty()) f("FADE_REFERENCIA").setString(kind.reference);
        // Blanks around the number are allowed; "" or any other text fails here.
        const Money a = Money::parse(text);
        f("FADE_PRUNIT").setMoney(a.truncated());
        unitFactor();
        f("FADE_CONSUMO").setInteger(0);
        f("LIPR_COD").setString(d_.DLis);
        for (const char* n : {"FADE_DTO1", "FADE_DTO2", "FADE_DTOPORC", "FADE_DTOMONTO",
                              "FADE_DTOM1", "FADE_DTOM2", "FADE_DTOM3"})
            f(n).setInteger(0);
        // VAT from the amount itself, not from the truncated price; one rounding.
        const Money rate = f("FADE_IVAPORC").asMoney();
        f("FADE_IVAMONTO").setMoney(Money::mulDiv(a, rate, Money::fromInt(100), 0));
        f("FADE_TOTAL").setMoney(f("FADE_PRUNIT").asMoney() + f("FADE_IVAMONTO").asMoney());
        b_.Post();
    }

    // A discount of 100 % on the value: price and discount amount equal, VAT and total 0.
    void discountLine(std::string_view prefix, const std::string& group, const std::string& value) {
        start(kDiscountCode);
        f("FADE_REFERENCIA").setString(std::string(prefix) + group);
        f("FADE_PRUNIT").setString(value);  // not truncated; a text that is no number fails
        unitFactor();
        f("FADE_CONSUMO").setInteger(0);
        f("LIPR_COD").setString(d_.DLis);
        f("FADE_DTO1").setInteger(0);
        f("FADE_DTO2").setInteger(0);
        f("FADE_DTOPORC").setInteger(100);
        f("FADE_DTOMONTO").setMoney(f("FADE_PRUNIT").asMoney());
        for (const char* n :
             {"FADE_DTOM1", "FADE_DTOM2", "FADE_DTOM3", "FADE_TOTAL", "FADE_IVAMONTO"})
            f(n).setInteger(0);
        b_.Post();
    }

  private:
    records::Field f(const char* name) { return b_.FieldByName(name); }

    // What every line starts with: the new numbered row, its code, the article's fields and
    // taxes, the warehouse and the quantity.
    void start(std::string_view code) {
        b_.Insert();
        f("FADE_CODBAR").setString(code);
        // A code without article shows its message; the line then fails to post.
        fdm_.valide_articulo(f("FADE_CODBAR").asString(), f("ARTI_COD"), f("FADE_DESC"),
                             f("FADE_UNIDAD"));
        fdm_.imptos_articulo(f("ARTI_COD").asString(), f("FADE_IVAPORC"), f("FADE_CONSUMO"));
        f("BODE_COD").setString(d_.DBod);
        f("FADE_CANT").setInteger(1);
    }

    void unitFactor() {
        f("FADE_FACTOR")
            .setMoney(fdm_.factor_unidad(f("ARTI_COD").asString(), f("FADE_UNIDAD").asString()));
    }

    data::Tfdm& fdm_;
    records::Buffer& b_;
    const LineDefaults& d_;
};

bool makesDiscountLine(const std::string& value) {
    return !value.empty() && value != summary::kNoLine;
}

}  // namespace

void addInvoiceLines(data::Tfdm& fdm, records::Buffer& CFactdetalle, const SummaryRecord& record,
                     const LineDefaults& defaults) {
    LineBuilder line(fdm, CFactdetalle, defaults);
    for (const AmountField& kind : summary::kAmountFields) {
        const std::string_view text = record.amount(kind);
        if (text != summary::kNoLine) line.amountLine(kind, text);
    }
    for (std::string_view column : record.discountGroupColumns()) {
        const DiscountGroup g = splitDiscountGroup(column);
        const std::array<std::pair<std::string_view, const std::string*>, 3> values{{
            {"AUTOS ", &g.first},
            {"MOTOS ", &g.second},
            {"BICIS ", &g.third},
        }};
        for (const auto& [prefix, value] : values)
            if (makesDiscountLine(*value)) line.discountLine(prefix, g.name, *value);
    }
}

}  // namespace importer
