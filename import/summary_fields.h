#pragma once
// Layout of a summary record: which field holds what. Field numbers count from 0.
#include <array>
#include <span>
#include <string_view>

namespace importer {

// "20" at the 7th and 8th characters of field 0 marks a summary record; a shorter field
// never does.
inline bool isSummaryRecordType(std::string_view field0) {
    return field0.size() >= 8 && field0[6] == '2' && field0[7] == '0';
}

// An amount field that becomes one detail line unless its text is exactly "0".
struct AmountField {
    int field;
    std::string_view code;       // FADE_CODBAR
    std::string_view reference;  // FADE_REFERENCIA; empty: not set
};

namespace summary {

inline constexpr std::array<AmountField, 6> kAmountFields{{
    {3, "01-01", "AUTOS"},
    {4, "01-01", "MOTOS"},
    {5, "01-01", "BICICLETAS"},
    {7, "01-07", ""},
    {8, "01-03", ""},
    {9, "01-04", ""},
}};
inline constexpr std::string_view kNoLine = "0";

inline constexpr int kTaxField = 10;    // FACT_IVAMONTO
inline constexpr int kTotalField = 11;  // FACT_TOTAL

inline constexpr int kFirstDiscountField = 17;
inline constexpr int kLastDiscountField = 49;
inline constexpr std::string_view kDiscountEnd = "FD";

}  // namespace summary

// Read-only view of one record's fields; a field the record does not have reads as empty.
class SummaryRecord {
  public:
    explicit SummaryRecord(std::span<const std::string_view> fields) : fields_(fields) {}

    std::string_view field(int i) const {
        return i >= 0 && static_cast<size_t>(i) < fields_.size() ? fields_[i] : std::string_view{};
    }
    bool isSummary() const { return isSummaryRecordType(field(0)); }
    std::string_view amount(const AmountField& a) const { return field(a.field); }
    std::string_view tax() const { return field(summary::kTaxField); }
    std::string_view total() const { return field(summary::kTotalField); }

    // The discount-group columns: from field 17 up to, not including, the first field whose
    // whole text is "FD", and at most up to field 49. Fields the record lacks would read as
    // empty and make no line, so the columns also stop at the record's last field.
    std::span<const std::string_view> discountGroupColumns() const;

  private:
    std::span<const std::string_view> fields_;
};

}  // namespace importer
