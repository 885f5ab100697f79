#include "fb/value.h"

#include <cmath>
#include <cstdio>

namespace fb {

const char* fieldTypeName(FieldType t) {
    switch (t) {
        case FieldType::SmallInt:
            return "SMALLINT";
        case FieldType::Integer:
            return "INTEGER";
        case FieldType::BigInt:
            return "BIGINT";
        case FieldType::Decimal:
            return "DECIMAL";
        case FieldType::Float:
            return "FLOAT";
        case FieldType::Double:
            return "DOUBLE PRECISION";
        case FieldType::Date:
            return "DATE";
        case FieldType::Time:
            return "TIME";
        case FieldType::Timestamp:
            return "TIMESTAMP";
        case FieldType::Char:
            return "CHAR";
        case FieldType::VarChar:
            return "VARCHAR";
        case FieldType::TextBlob:
            return "BLOB SUB_TYPE TEXT";
        case FieldType::ByteBlob:
            return "BLOB";
        case FieldType::Boolean:
            return "BOOLEAN";
    }
    return "?";
}

Value Value::ofInt(int64_t v) {
    Value x;
    x.kind = Kind::Integer;
    x.integer = v;
    return x;
}

Value Value::ofDecimal(int64_t scaled, int scale) {
    Value x;
    x.kind = Kind::Decimal;
    x.integer = scaled;
    x.scale = scale;
    return x;
}

Value Value::ofDouble(double v) {
    Value x;
    x.kind = Kind::Double;
    x.real = v;
    return x;
}

Value Value::ofDate(core::Date d) {
    Value x;
    x.kind = Kind::Date;
    x.date = d;
    return x;
}

Value Value::ofTime(core::Time t) {
    Value x;
    x.kind = Kind::Time;
    x.time = t;
    return x;
}

Value Value::ofTimestamp(core::Date d, core::Time t) {
    Value x;
    x.kind = Kind::Timestamp;
    x.date = d;
    x.time = t;
    return x;
}

Value Value::ofText(std::string s) {
    Value x;
    x.kind = Kind::Text;
    x.text = std::move(s);
    return x;
}

Value Value::ofBlob(std::string bytes) {
    Value x;
    x.kind = Kind::Blob;
    x.text = std::move(bytes);
    return x;
}

namespace {

std::string decimalText(int64_t scaled, int scale) {
    bool negative = scaled < 0;
    // Work on the unsigned magnitude so that INT64_MIN does not overflow.
    uint64_t mag = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    std::string digits = std::to_string(mag);
    if (scale > 0) {
        if (digits.size() <= static_cast<size_t>(scale))
            digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
        digits.insert(digits.size() - static_cast<size_t>(scale), 1, '.');
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
    }
    if (negative && digits != "0") digits.insert(0, 1, '-');
    return digits;
}

}  // namespace

std::string Value::asText() const {
    switch (kind) {
        case Kind::Null:
            return {};
        case Kind::Integer:
            return std::to_string(integer);
        case Kind::Decimal:
            return decimalText(integer, scale);
        case Kind::Double: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.15g", real);
            return buf;
        }
        case Kind::Date:
            return core::dateText(date);
        case Kind::Time:
            return core::timeText(time);
        case Kind::Timestamp: {
            std::string s = core::dateText(date);
            if (time != core::Time{}) s += " " + core::timeText(time);
            return s;
        }
        case Kind::Text:
        case Kind::Blob:
            return text;
    }
    return {};
}

}  // namespace fb
