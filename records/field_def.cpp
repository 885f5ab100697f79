#include "records/field_def.h"

namespace records {
namespace {

FieldDef make(std::string name, fb::FieldType t, int size, int scale, bool required) {
    FieldDef f;
    f.name = std::move(name);
    f.type = t;
    f.size = size;
    f.scale = scale;
    f.required = required;
    return f;
}

}  // namespace

FieldDef integer(std::string n, bool r) {
    return make(std::move(n), fb::FieldType::Integer, 0, 0, r);
}
FieldDef smallInt(std::string n, bool r) {
    return make(std::move(n), fb::FieldType::SmallInt, 0, 0, r);
}
FieldDef decimal(std::string n, int p, int s, bool r) {
    return make(std::move(n), fb::FieldType::Decimal, p, s, r);
}
FieldDef doubleField(std::string n, bool r) {
    return make(std::move(n), fb::FieldType::Double, 0, 0, r);
}
FieldDef date(std::string n, bool r) {
    return make(std::move(n), fb::FieldType::Date, 0, 0, r);
}
FieldDef time(std::string n, bool r) {
    return make(std::move(n), fb::FieldType::Time, 0, 0, r);
}
FieldDef fixedText(std::string n, int size, bool r) {
    return make(std::move(n), fb::FieldType::Char, size, 0, r);
}
FieldDef text(std::string n, int size, bool r) {
    return make(std::move(n), fb::FieldType::VarChar, size, 0, r);
}
FieldDef textBlob(std::string n) {
    return make(std::move(n), fb::FieldType::TextBlob, 0, 0, false);
}
FieldDef byteBlob(std::string n) {
    return make(std::move(n), fb::FieldType::ByteBlob, 0, 0, false);
}
FieldDef nested(std::string n) {
    FieldDef f = make(std::move(n), fb::FieldType::VarChar, 0, 0, false);
    f.nested = true;
    return f;
}

FieldDef fromColumn(const fb::ColumnInfo& c) {
    FieldDef f = make(c.name, c.type, static_cast<int>(c.length), c.scale, false);
    if (c.type == fb::FieldType::Decimal) f.size = 18;
    return f;
}

}  // namespace records
