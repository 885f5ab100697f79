#include "fb/message.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/text.h"
#include "fb/blob.h"
#include "fb/transaction.h"

namespace fb {
namespace {

const char kOverflow[] = "arithmetic exception, numeric overflow, or string truncation";

FieldType logicalType(unsigned type, int scale, int subType) {
    switch (type) {
        case SQL_SHORT:
            return scale < 0 ? FieldType::Decimal : FieldType::SmallInt;
        case SQL_LONG:
            return scale < 0 ? FieldType::Decimal : FieldType::Integer;
        case SQL_INT64:
            return scale < 0 ? FieldType::Decimal : FieldType::BigInt;
        case SQL_FLOAT:
            return FieldType::Float;
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
            return FieldType::Double;
        case SQL_TYPE_DATE:
            return FieldType::Date;
        case SQL_TYPE_TIME:
            return FieldType::Time;
        case SQL_TIMESTAMP:
            return FieldType::Timestamp;
        case SQL_TEXT:
            return FieldType::Char;
        case SQL_VARYING:
            return FieldType::VarChar;
        case SQL_BLOB:
            return subType == 1 ? FieldType::TextBlob : FieldType::ByteBlob;
        case SQL_BOOLEAN:
            return FieldType::Boolean;
        default:
            return FieldType::VarChar;  // SQL_NULL and anything exotic: sent as text
    }
}

int64_t pow10(int n) {
    int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// Rescales an exact decimal, rounding half to even when digits are dropped.
int64_t rescale(int64_t v, int from, int to) {
    if (to >= from) {
        __int128 r = static_cast<__int128>(v) * pow10(to - from);
        if (r > std::numeric_limits<int64_t>::max() || r < std::numeric_limits<int64_t>::min())
            throw Error(kOverflow);
        return static_cast<int64_t>(r);
    }
    int64_t p = pow10(from - to);
    int64_t q = v / p, rem = v % p;
    int64_t twice = 2 * (rem < 0 ? -rem : rem);
    if (twice > p || (twice == p && (q % 2 != 0))) q += v < 0 ? -1 : 1;
    return q;
}

// Parses decimal text ("12.50", " -3 ") into a value scaled to `scale` decimals.
int64_t textToScaled(const std::string& text, int scale) {
    std::string_view s = core::trimBlanks(text);
    bool neg = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) neg = s[0] == '-', s.remove_prefix(1);
    __int128 acc = 0;
    int decimals = -1, digits = 0;
    bool roundUp = false, sticky = false;
    int extra = 0;
    for (char c : s) {
        if (c == '.' && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (c < '0' || c > '9') throw Error("conversion error from string \"" + text + "\"");
        ++digits;
        if (decimals >= 0 && decimals >= scale) {
            // Digits beyond the column's scale: remember them for rounding.
            if (extra == 0)
                roundUp = c >= '5', sticky = c > '5';
            else if (c != '0')
                sticky = true;
            ++extra;
            continue;
        }
        acc = acc * 10 + (c - '0');
        if (decimals >= 0) ++decimals;
        if (acc > std::numeric_limits<int64_t>::max()) throw Error(kOverflow);
    }
    if (digits == 0) throw Error("conversion error from string \"" + text + "\"");
    for (int d = decimals < 0 ? 0 : decimals; d < scale; ++d) acc *= 10;
    if (roundUp && (sticky || (acc % 2 != 0))) acc += 1;
    if (acc > std::numeric_limits<int64_t>::max()) throw Error(kOverflow);
    return static_cast<int64_t>(neg ? -acc : acc);
}

double textToDouble(const std::string& text) {
    std::string_view s = core::trimBlanks(text);
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    double d = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size())
        throw Error("conversion error from string \"" + text + "\"");
    return d;
}

int64_t toScaled(const Value& v, int scale) {
    switch (v.kind) {
        case Value::Kind::Integer:
            return rescale(v.integer, 0, scale);
        case Value::Kind::Decimal:
            return rescale(v.integer, v.scale, scale);
        case Value::Kind::Double: {
            double r = std::nearbyint(v.real * static_cast<double>(pow10(scale)));
            if (!(std::fabs(r) < 9.2e18)) throw Error(kOverflow);
            return static_cast<int64_t>(r);
        }
        case Value::Kind::Text:
            return textToScaled(v.text, scale);
        default:
            throw Error("conversion error from string \"" + v.asText() + "\"");
    }
}

double toDouble(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Integer:
            return static_cast<double>(v.integer);
        case Value::Kind::Decimal:
            return static_cast<double>(v.integer) / static_cast<double>(pow10(v.scale));
        case Value::Kind::Double:
            return v.real;
        case Value::Kind::Text:
            return textToDouble(v.text);
        default:
            throw Error("conversion error from string \"" + v.asText() + "\"");
    }
}

core::Date toDate(const Value& v) {
    if (v.kind == Value::Kind::Date || v.kind == Value::Kind::Timestamp) return v.date;
    if (v.kind == Value::Kind::Text) {
        try {
            return core::parseDate(v.text);
        } catch (const std::exception&) {
        }
    }
    throw Error("conversion error from string \"" + v.asText() + "\"");
}

core::Time toTime(const Value& v) {
    if (v.kind == Value::Kind::Time || v.kind == Value::Kind::Timestamp) return v.time;
    if (v.kind == Value::Kind::Text) {
        int h = 0, m = 0, s = 0;
        if (std::sscanf(v.text.c_str(), "%d:%d:%d", &h, &m, &s) >= 2 && h >= 0 && h < 24 &&
            m >= 0 && m < 60 && s >= 0 && s < 60)
            return core::Time{h, m, s, 0};
    }
    throw Error("conversion error from string \"" + v.asText() + "\"");
}

}  // namespace

std::vector<ColumnInfo> describe(Firebird::IMessageMetadata* meta) {
    std::vector<ColumnInfo> cols;
    if (!meta) return cols;
    Status st;
    unsigned n = meta->getCount(&st);
    cols.reserve(n);
    for (unsigned i = 0; i < n; ++i) {
        ColumnInfo c;
        c.name = meta->getAlias(&st, i);
        c.field = meta->getField(&st, i);
        c.relation = meta->getRelation(&st, i);
        int scale = meta->getScale(&st, i);
        c.type = logicalType(meta->getType(&st, i), scale, meta->getSubType(&st, i));
        c.scale = scale < 0 ? -scale : 0;
        c.length = meta->getLength(&st, i);
        c.charSet = meta->getCharSet(&st, i);
        c.nullable = meta->isNullable(&st, i);
        cols.push_back(std::move(c));
    }
    return cols;
}

Message::Message(Firebird::IMessageMetadata* meta) : meta_(meta) {
    if (!meta_) return;
    meta_->addRef();
    columns_ = describe(meta_);
    Status st;
    for (unsigned i = 0; i < columns_.size(); ++i) {
        types_.push_back(meta_->getType(&st, i));
        offsets_.push_back(meta_->getOffset(&st, i));
        nullOffsets_.push_back(meta_->getNullOffset(&st, i));
        lengths_.push_back(meta_->getLength(&st, i));
        scales_.push_back(meta_->getScale(&st, i));
    }
    unsigned size = meta_->getMessageLength(&st);
    buf_.reset(new uint64_t[(size + 7) / 8 + 1]());
}

Message::~Message() {
    if (meta_) meta_->release();
}

void Message::encode(const std::vector<Value>& values, const Attachment& att,
                     const Transaction& tra) {
    for (unsigned i = 0; i < columns_.size(); ++i)
        encodeOne(i, i < values.size() ? values[i] : Value(), att, tra);
}

void Message::encodeOne(unsigned i, const Value& v, const Attachment& att, const Transaction& tra) {
    unsigned char* base = buffer();
    auto* null = reinterpret_cast<short*>(base + nullOffsets_[i]);
    unsigned char* p = base + offsets_[i];
    if (v.isNull()) {
        *null = -1;
        return;
    }
    *null = 0;
    const int scale = scales_[i] < 0 ? -scales_[i] : 0;
    switch (types_[i]) {
        case SQL_SHORT: {
            int64_t x = toScaled(v, scale);
            if (x < INT16_MIN || x > INT16_MAX) throw Error(kOverflow);
            int16_t y = static_cast<int16_t>(x);
            std::memcpy(p, &y, sizeof y);
            break;
        }
        case SQL_LONG: {
            int64_t x = toScaled(v, scale);
            if (x < INT32_MIN || x > INT32_MAX) throw Error(kOverflow);
            int32_t y = static_cast<int32_t>(x);
            std::memcpy(p, &y, sizeof y);
            break;
        }
        case SQL_INT64: {
            int64_t x = toScaled(v, scale);
            std::memcpy(p, &x, sizeof x);
            break;
        }
        case SQL_FLOAT: {
            float f = static_cast<float>(toDouble(v));
            std::memcpy(p, &f, sizeof f);
            break;
        }
        case SQL_DOUBLE:
        case SQL_D_FLOAT: {
            double d = toDouble(v);
            std::memcpy(p, &d, sizeof d);
            break;
        }
        case SQL_TYPE_DATE: {
            ISC_DATE d = toDate(v).toDayNumber();
            std::memcpy(p, &d, sizeof d);
            break;
        }
        case SQL_TYPE_TIME: {
            ISC_TIME t = toTime(v).toTicks();
            std::memcpy(p, &t, sizeof t);
            break;
        }
        case SQL_TIMESTAMP: {
            ISC_TIMESTAMP ts;
            ts.timestamp_date = toDate(v).toDayNumber();
            ts.timestamp_time = v.kind == Value::Kind::Timestamp ? v.time.toTicks() : 0;
            std::memcpy(p, &ts, sizeof ts);
            break;
        }
        case SQL_BOOLEAN: {
            std::string t = core::upperAscii(core::trimBlanks(v.asText()));
            FB_BOOLEAN b = (t == "TRUE" || t == "1" || t == "T" || t == "S") ? FB_TRUE : FB_FALSE;
            std::memcpy(p, &b, sizeof b);
            break;
        }
        case SQL_BLOB: {
            ISC_QUAD id{};
            Blob blob = Blob::create(att, tra, id);
            blob.write(v.asText());
            blob.close();
            std::memcpy(p, &id, sizeof id);
            break;
        }
        case SQL_TEXT: {
            std::string s = v.asText();
            if (s.size() > lengths_[i]) throw Error(kOverflow);
            std::memcpy(p, s.data(), s.size());
            std::memset(p + s.size(), ' ', lengths_[i] - s.size());
            break;
        }
        default: {  // SQL_VARYING, SQL_NULL
            if (types_[i] == SQL_NULL) break;
            std::string s = v.asText();
            if (s.size() > lengths_[i]) throw Error(kOverflow);
            uint16_t n = static_cast<uint16_t>(s.size());
            std::memcpy(p, &n, sizeof n);
            std::memcpy(p + 2, s.data(), s.size());
            break;
        }
    }
}

std::vector<Value> Message::decode(const Attachment& att, const Transaction& tra) {
    std::vector<Value> row;
    row.reserve(columns_.size());
    for (unsigned i = 0; i < columns_.size(); ++i) row.push_back(decodeOne(i, att, tra));
    return row;
}

Value Message::decodeOne(unsigned i, const Attachment& att, const Transaction& tra) {
    unsigned char* base = buffer();
    short null;
    std::memcpy(&null, base + nullOffsets_[i], sizeof null);
    if (null) return Value();
    const unsigned char* p = base + offsets_[i];
    const int scale = scales_[i] < 0 ? -scales_[i] : 0;
    auto integer = [&](int64_t x) { return scale ? Value::ofDecimal(x, scale) : Value::ofInt(x); };
    switch (types_[i]) {
        case SQL_SHORT: {
            int16_t x;
            std::memcpy(&x, p, sizeof x);
            return integer(x);
        }
        case SQL_LONG: {
            int32_t x;
            std::memcpy(&x, p, sizeof x);
            return integer(x);
        }
        case SQL_INT64: {
            int64_t x;
            std::memcpy(&x, p, sizeof x);
            return integer(x);
        }
        case SQL_FLOAT: {
            float f;
            std::memcpy(&f, p, sizeof f);
            return Value::ofDouble(f);
        }
        case SQL_DOUBLE:
        case SQL_D_FLOAT: {
            double d;
            std::memcpy(&d, p, sizeof d);
            return Value::ofDouble(d);
        }
        case SQL_TYPE_DATE: {
            ISC_DATE d;
            std::memcpy(&d, p, sizeof d);
            return Value::ofDate(core::Date::fromDayNumber(d));
        }
        case SQL_TYPE_TIME: {
            ISC_TIME t;
            std::memcpy(&t, p, sizeof t);
            return Value::ofTime(core::Time::fromTicks(t));
        }
        case SQL_TIMESTAMP: {
            ISC_TIMESTAMP ts;
            std::memcpy(&ts, p, sizeof ts);
            return Value::ofTimestamp(core::Date::fromDayNumber(ts.timestamp_date),
                                      core::Time::fromTicks(ts.timestamp_time));
        }
        case SQL_BOOLEAN:
            return Value::ofInt(*p ? 1 : 0);
        case SQL_TEXT:
            return Value::ofText(std::string(reinterpret_cast<const char*>(p), lengths_[i]));
        case SQL_VARYING: {
            uint16_t n;
            std::memcpy(&n, p, sizeof n);
            return Value::ofText(std::string(reinterpret_cast<const char*>(p + 2), n));
        }
        case SQL_BLOB: {
            ISC_QUAD id;
            std::memcpy(&id, p, sizeof id);
            Blob blob = Blob::open(att, tra, id);
            std::string bytes = blob.readAll();
            blob.close();
            return columns_[i].type == FieldType::TextBlob ? Value::ofText(std::move(bytes))
                                                           : Value::ofBlob(std::move(bytes));
        }
        default:
            return Value();
    }
}

}  // namespace fb
