#pragma once
// How a column of a buffer is set from, and read as, the program's types.
//
// Setting: a text longer than a char/varchar column is cut to its width; an empty text into
// any column leaves it empty (NULL); a text that is not a number (or date) for a number (or
// date) column is refused with core::ConversionError. A money value into a decimal column
// with fewer decimals is rounded to the column's scale half to even ("banker's rounding":
// 0.125 -> 0.12, 0.135 -> 0.14); into a double it keeps its value.
// Reading: an empty column reads as "" or 0; a date reads as yyyy/mm/dd; a decimal with more
// than four decimals reads as money rounded half to even to four.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/date.h"
#include "core/money.h"
#include "fb/value.h"
#include "records/field_def.h"

namespace records {

fb::Value valueFromText(const FieldDef& f, std::string_view text);
fb::Value valueFromInt(const FieldDef& f, int64_t v);
fb::Value valueFromMoney(const FieldDef& f, core::Money m);
fb::Value valueFromDouble(const FieldDef& f, double d);
fb::Value valueFromDate(const FieldDef& f, const core::Date& d);
// A value of any kind, converted to the column's own type (the generic copy).
fb::Value valueFromValue(const FieldDef& f, const fb::Value& v);

std::string textOf(const fb::Value& v);
int32_t intOf(const fb::Value& v);
core::Money moneyOf(const fb::Value& v);
double doubleOf(const fb::Value& v);
core::Date dateOf(const fb::Value& v);

// Whether a result column of type `actual` can stand for the declared field.
bool typeMatches(const FieldDef& declared, const fb::ColumnInfo& actual);

}  // namespace records
