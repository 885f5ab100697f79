#include "records/conversions.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/errors.h"
#include "core/text.h"

namespace records {
namespace {

using fb::FieldType;
using fb::Value;

bool isText(FieldType t) {
    return t == FieldType::Char || t == FieldType::VarChar;
}
bool isInteger(FieldType t) {
    return t == FieldType::SmallInt || t == FieldType::Integer || t == FieldType::BigInt;
}
bool isFloat(FieldType t) {
    return t == FieldType::Double || t == FieldType::Float;
}

// An empty or blank text (CHAR pads with blanks) reads as an empty column does.
bool isEmpty(const Value& v) {
    return v.isNull() || (v.kind == Value::Kind::Text && core::trimBlanks(v.text).empty());
}

Value checkedInt(const FieldDef& f, int64_t v, std::string_view shown) {
    int64_t lo = f.type == FieldType::SmallInt  ? INT16_MIN
                 : f.type == FieldType::Integer ? INT32_MIN
                                                : INT64_MIN;
    int64_t hi = f.type == FieldType::SmallInt  ? INT16_MAX
                 : f.type == FieldType::Integer ? INT32_MAX
                                                : INT64_MAX;
    if (v < lo || v > hi)
        throw core::ConversionError("'" + std::string(shown) + "' is not a valid integer value");
    return Value::ofInt(v);
}

double parseDouble(std::string_view text) {
    std::string_view s = core::trimBlanks(text);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double d = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(d))
        throw core::ConversionError("'" + std::string(text) +
                                    "' is not a valid floating point value");
    return d;
}

core::Time parseTime(std::string_view text) {
    std::string s(core::trimBlanks(text));
    int h = -1, m = -1, sec = 0;
    char tail = 0;
    int n = std::sscanf(s.c_str(), "%d:%d:%d%c", &h, &m, &sec, &tail);
    if ((n != 2 && n != 3) || h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59)
        throw core::ConversionError("'" + std::string(text) + "' is not a valid time");
    return core::Time{h, m, sec, 0};
}

std::string cut(const FieldDef& f, std::string_view s) {
    if (f.size > 0 && s.size() > static_cast<size_t>(f.size)) s = s.substr(0, f.size);
    return std::string(s);
}

}  // namespace

Value valueFromText(const FieldDef& f, std::string_view text) {
    if (text.empty()) return Value();
    if (isText(f.type)) return Value::ofText(cut(f, text));
    if (f.type == FieldType::TextBlob) return Value::ofText(std::string(text));
    if (f.type == FieldType::ByteBlob) return Value::ofBlob(std::string(text));
    if (core::trimBlanks(text).empty()) return Value();
    if (isInteger(f.type)) return checkedInt(f, core::parseInt64(text), text);
    if (f.type == FieldType::Decimal) return valueFromMoney(f, core::Money::parse(text));
    if (isFloat(f.type)) return Value::ofDouble(parseDouble(text));
    if (f.type == FieldType::Date || f.type == FieldType::Timestamp)
        return Value::ofDate(core::parseDate(text));
    if (f.type == FieldType::Time) return Value::ofTime(parseTime(text));
    if (f.type == FieldType::Boolean) return Value::ofInt(core::parseInt32(text) != 0);
    return Value::ofText(std::string(text));
}

Value valueFromInt(const FieldDef& f, int64_t v) {
    if (isInteger(f.type) || f.type == FieldType::Boolean)
        return checkedInt(f, v, std::to_string(v));
    if (f.type == FieldType::Decimal) return valueFromMoney(f, core::Money::fromInt(v));
    if (isFloat(f.type)) return Value::ofDouble(static_cast<double>(v));
    return valueFromText(f, std::to_string(v));
}

Value valueFromMoney(const FieldDef& f, core::Money m) {
    if (f.type == FieldType::Decimal) return Value::ofDecimal(m.toScaled(f.scale), f.scale);
    if (isFloat(f.type)) return Value::ofDouble(m.toDouble());
    if (isInteger(f.type)) {
        core::Money whole = m.roundedHalfEven(0);
        return checkedInt(f, whole.raw() / core::Money::kScale, m.toString());
    }
    return valueFromText(f, m.toString());
}

Value valueFromDouble(const FieldDef& f, double d) {
    if (isFloat(f.type)) return Value::ofDouble(d);
    if (f.type == FieldType::Decimal || isInteger(f.type))
        return valueFromMoney(f, core::Money::fromDouble(d));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    return valueFromText(f, buf);
}

Value valueFromDate(const FieldDef& f, const core::Date& d) {
    if (f.type == FieldType::Date || f.type == FieldType::Timestamp) return Value::ofDate(d);
    return valueFromText(f, core::dateText(d));
}

Value valueFromValue(const FieldDef& f, const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            return Value();
        case Value::Kind::Integer:
            return valueFromInt(f, v.integer);
        case Value::Kind::Decimal:
            if (f.type == FieldType::Decimal && f.scale >= v.scale && f.scale > 4) {
                int64_t x = v.integer;
                for (int i = v.scale; i < f.scale; ++i) x *= 10;
                return Value::ofDecimal(x, f.scale);
            }
            return valueFromMoney(f, core::Money::fromScaled(v.integer, v.scale));
        case Value::Kind::Double:
            return valueFromDouble(f, v.real);
        case Value::Kind::Date:
        case Value::Kind::Timestamp:
            return valueFromDate(f, v.date);
        case Value::Kind::Time:
            if (f.type == FieldType::Time) return v;
            return valueFromText(f, v.asText());
        case Value::Kind::Text:
            return valueFromText(f, v.text);
        case Value::Kind::Blob:
            if (f.type == FieldType::ByteBlob) return v;
            return valueFromText(f, v.text);
    }
    return Value();
}

std::string textOf(const Value& v) {
    return v.asText();
}

int32_t intOf(const Value& v) {
    if (isEmpty(v)) return 0;
    switch (v.kind) {
        case Value::Kind::Null:
            return 0;
        case Value::Kind::Integer:
            if (v.integer < INT32_MIN || v.integer > INT32_MAX)
                throw core::ConversionError("'" + v.asText() + "' is not a valid integer value");
            return static_cast<int32_t>(v.integer);
        case Value::Kind::Decimal:
        case Value::Kind::Double: {
            core::Money m = moneyOf(v).roundedHalfEven(0);
            return intOf(Value::ofInt(m.raw() / core::Money::kScale));
        }
        default:
            return core::parseInt32(v.asText());
    }
}

core::Money moneyOf(const Value& v) {
    if (isEmpty(v)) return core::Money();
    switch (v.kind) {
        case Value::Kind::Null:
            return core::Money();
        case Value::Kind::Integer:
            return core::Money::fromInt(v.integer);
        case Value::Kind::Decimal:
            return core::Money::fromScaled(v.integer, v.scale);
        case Value::Kind::Double:
            return core::Money::fromDouble(v.real);
        default:
            return core::Money::parse(v.asText());
    }
}

double doubleOf(const Value& v) {
    if (isEmpty(v)) return 0;
    switch (v.kind) {
        case Value::Kind::Null:
            return 0;
        case Value::Kind::Integer:
            return static_cast<double>(v.integer);
        case Value::Kind::Decimal:
            return moneyOf(v).toDouble();
        case Value::Kind::Double:
            return v.real;
        default:
            return parseDouble(v.asText());
    }
}

core::Date dateOf(const Value& v) {
    if (v.kind == Value::Kind::Date || v.kind == Value::Kind::Timestamp) return v.date;
    if (isEmpty(v)) return core::Date{};
    return core::parseDate(v.asText());
}

bool typeMatches(const FieldDef& d, const fb::ColumnInfo& a) {
    if (d.type == FieldType::Decimal) return a.type == FieldType::Decimal && a.scale == d.scale;
    if (d.type == FieldType::Date)
        return a.type == FieldType::Date || a.type == FieldType::Timestamp;
    return d.type == a.type;
}

}  // namespace records
