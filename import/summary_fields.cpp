#include "import/summary_fields.h"

#include <algorithm>

namespace importer {

std::span<const std::string_view> SummaryRecord::discountGroupColumns() const {
    const size_t first = summary::kFirstDiscountField;
    if (fields_.size() <= first) return {};
    const size_t last = std::min<size_t>(fields_.size(), summary::kLastDiscountField + 1);
    size_t end = first;
    while (end < last && fields_[end] != summary::kDiscountEnd) ++end;
    return fields_.subspan(first, end - first);
}

}  // namespace importer
