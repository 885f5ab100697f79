#pragma once
// A statement's result loaded whole.
#include <string>
#include <string_view>
#include <vector>

#include "fb/value.h"

namespace fb {

struct Table {
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Value>> rows;

    // Position of the column named `name` (without regard to case), or -1.
    int columnIndex(std::string_view name) const;
};

}  // namespace fb
