#pragma once
// A statement as it would read with its values written in: each "?" outside quotes replaced
// by the value as an SQL literal (NULL, a number, or text between single quotes with each
// quote doubled). For traces and logs; what is sent stays the statement and its parameters.
#include <string>
#include <vector>

#include "fb/value.h"

namespace fb {

std::string renderSql(const std::string& sql, const std::vector<Value>& params);

}  // namespace fb
