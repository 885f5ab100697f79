#include "records/insert_block.h"

namespace records {
namespace {

constexpr size_t kMaxText = 48 * 1024;
constexpr size_t kMaxMessage = 48 * 1024;
constexpr size_t kMaxRows = 64;

std::string columnName(const fb::ColumnInfo& c) {
    return c.field.empty() ? c.name : c.field;
}

// Bytes a value of the column takes in the input message, with its null flag and room for
// alignment.
size_t messageBytes(const fb::ColumnInfo& c) {
    size_t value = 8;
    switch (c.type) {
        case fb::FieldType::Char:
        case fb::FieldType::VarChar:
            value = c.length + 2;
            break;
        case fb::FieldType::SmallInt:
        case fb::FieldType::Integer:
        case fb::FieldType::Float:
        case fb::FieldType::Date:
        case fb::FieldType::Time:
            value = 4;
            break;
        default:
            break;
    }
    return value + 2 + 8;
}

// The text one row adds: its parameters' declarations and its INSERT.
size_t textBytes(const InsertRow& row) {
    size_t n = row.table->size() + 32;
    for (const fb::ColumnInfo& c : *row.columns)
        n += 2 * columnName(c).size() + row.table->size() + 48;
    return n;
}

}  // namespace

size_t rowsInBlock(const std::vector<InsertRow>& rows, size_t first) {
    size_t text = 64, message = 0, last = first;
    while (last < rows.size() && last - first < kMaxRows) {
        size_t rowMessage = 0;
        for (const fb::ColumnInfo& c : *rows[last].columns) rowMessage += messageBytes(c);
        const size_t rowText = textBytes(rows[last]);
        if (last > first && (text + rowText > kMaxText || message + rowMessage > kMaxMessage))
            break;
        text += rowText;
        message += rowMessage;
        ++last;
    }
    return last - first;
}

std::string blockText(const std::vector<InsertRow>& rows, size_t first, size_t last) {
    std::string params, body;
    size_t n = 0;
    for (size_t r = first; r < last; ++r) {
        const InsertRow& row = rows[r];
        std::string cols, marks;
        for (const fb::ColumnInfo& c : *row.columns) {
            const std::string p = "P" + std::to_string(++n);
            const std::string table = c.relation.empty() ? *row.table : c.relation;
            params += (params.empty() ? "" : ", ") + p + " TYPE OF COLUMN \"" + table + "\".\"" +
                      columnName(c) + "\" = ?";
            cols += (cols.empty() ? "\"" : ", \"") + columnName(c) + "\"";
            marks += (marks.empty() ? ":" : ", :") + p;
        }
        body += "INSERT INTO " + *row.table + " (" + cols + ") VALUES (" + marks + ");\n";
    }
    return "EXECUTE BLOCK (" + params + ")\nAS BEGIN\n" + body + "END";
}

std::vector<fb::Value> blockValues(const std::vector<InsertRow>& rows, size_t first, size_t last) {
    std::vector<fb::Value> values;
    for (size_t r = first; r < last; ++r)
        values.insert(values.end(), rows[r].values->begin(), rows[r].values->end());
    return values;
}

}  // namespace records
