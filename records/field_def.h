#pragma once
// Declared columns of a buffer: name, type, width, required flag.
#include <string>
#include <vector>

#include "fb/value.h"

namespace records {

struct FieldDef {
    std::string name;
    fb::FieldType type = fb::FieldType::VarChar;
    int size = 0;   // characters of a Char/VarChar, precision of a Decimal
    int scale = 0;  // decimals of a Decimal
    bool required = false;
    bool nested = false;  // the header's nested detail rows: no column of the table
};

using Layout = std::vector<FieldDef>;

// Shorthands for writing layouts.
FieldDef integer(std::string name, bool required = false);
FieldDef smallInt(std::string name, bool required = false);
FieldDef decimal(std::string name, int precision, int scale, bool required = false);
FieldDef doubleField(std::string name, bool required = false);
FieldDef date(std::string name, bool required = false);
FieldDef time(std::string name, bool required = false);
FieldDef fixedText(std::string name, int size, bool required = false);
FieldDef text(std::string name, int size, bool required = false);
FieldDef textBlob(std::string name);
FieldDef byteBlob(std::string name);
FieldDef nested(std::string name);

// The declared type of a column the server describes (for buffers without declared fields).
FieldDef fromColumn(const fb::ColumnInfo& column);

}  // namespace records
