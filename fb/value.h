#pragma once
// Values that travel between the program and Firebird: parameters and result cells.
#include <cstdint>
#include <string>

#include "core/date.h"

namespace fb {

// The logical column types the program knows (integer, small integer, decimal(p,s),
// double, date, time, char(n), varchar(n), text blob, byte blob), plus the few more a
// result may carry.
enum class FieldType : uint8_t {
    SmallInt,
    Integer,
    BigInt,
    Decimal,  // scaled integer on the wire: value × 10^-scale
    Float,
    Double,  // also dialect 1's NUMERIC above 9 digits
    Date,
    Time,
    Timestamp,  // also dialect 1's DATE
    Char,
    VarChar,
    TextBlob,
    ByteBlob,
    Boolean,
};

const char* fieldTypeName(FieldType t);

// One column of a statement's input or output, as the server describes it.
struct ColumnInfo {
    std::string name;      // alias: the name a result column is read by
    std::string field;     // the column's own name, empty for expressions
    std::string relation;  // the table it comes from, empty for expressions
    FieldType type = FieldType::VarChar;
    int scale = 0;        // decimals of a Decimal column (positive)
    unsigned length = 0;  // bytes of a Char/VarChar column
    unsigned charSet = 0;
    bool nullable = true;

    bool operator==(const ColumnInfo&) const = default;
};

// A value of any column type. Decimals keep their exact scaled integer.
struct Value {
    enum class Kind : uint8_t { Null, Integer, Decimal, Double, Date, Time, Timestamp, Text, Blob };

    Kind kind = Kind::Null;
    int64_t integer = 0;  // Integer; Decimal: the scaled value
    int scale = 0;        // Decimal: value = integer × 10^-scale
    double real = 0;
    core::Date date;
    core::Time time;
    std::string text;  // Text; Blob: the bytes

    static Value null() { return {}; }
    static Value ofInt(int64_t v);
    static Value ofDecimal(int64_t scaled, int scale);
    static Value ofDouble(double v);
    static Value ofDate(core::Date d);
    static Value ofTime(core::Time t);
    static Value ofTimestamp(core::Date d, core::Time t);
    static Value ofText(std::string s);
    static Value ofBlob(std::string bytes);

    bool isNull() const { return kind == Kind::Null; }
    // The text a field of this value reads as: numbers without trailing zeros, dates
    // yyyy/mm/dd, NULL as "".
    std::string asText() const;
    bool operator==(const Value&) const = default;
};

}  // namespace fb
