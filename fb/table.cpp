#include "fb/table.h"

#include "core/text.h"

namespace fb {

int Table::columnIndex(std::string_view name) const {
    for (size_t i = 0; i < columns.size(); ++i)
        if (core::equalsNoCase(columns[i].name, name)) return static_cast<int>(i);
    return -1;
}

}  // namespace fb
