#pragma once
// Several rows inserted by one statement: an EXECUTE BLOCK whose input parameters are the
// rows' values (each declared TYPE OF COLUMN, so that it is passed as the column takes it)
// and whose body holds one INSERT per row. Over a slow link this is one round trip where
// one INSERT per row takes one each. A block stays within Firebird's limits: its text and
// its input message are kept well under 64 KiB.
#include <string>
#include <vector>

#include "fb/value.h"

namespace records {

// One row to insert: its table, the table's columns in the order of the values (every
// column of "SELECT * FROM table"), and the values.
struct InsertRow {
    const std::string* table;
    const std::vector<fb::ColumnInfo>* columns;
    const std::vector<fb::Value>* values;
};

// Rows to insert, with the table names they point into.
struct PendingInserts {
    std::vector<std::string> tables;
    std::vector<InsertRow> rows;
};

// The number of rows from `first` on that one block takes (at least one).
size_t rowsInBlock(const std::vector<InsertRow>& rows, size_t first);

// The block for rows [first, last), and its parameters.
std::string blockText(const std::vector<InsertRow>& rows, size_t first, size_t last);
std::vector<fb::Value> blockValues(const std::vector<InsertRow>& rows, size_t first, size_t last);

}  // namespace records
