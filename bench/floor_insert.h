#pragma once
// The floors' INSERTs: "INSERT INTO <table> ("C1", ...) VALUES (?, ...)" over every column of
// the table, as the buffer sends it, and a row with the given columns set and NULL elsewhere.
#include <map>
#include <string>
#include <vector>

#include "fb/connection.h"
#include "fb/value.h"

namespace bench {

struct InsertShape {
    std::string sql;
    std::vector<fb::ColumnInfo> columns;
};

inline InsertShape insertShape(fb::Connection& c, const std::string& table) {
    InsertShape s;
    s.columns = c.describe("SELECT * FROM " + table + " WHERE FACT_ID = ?");
    std::string cols, marks;
    for (const fb::ColumnInfo& col : s.columns) {
        cols += (cols.empty() ? "\"" : ", \"") + (col.field.empty() ? col.name : col.field) + "\"";
        marks += marks.empty() ? "?" : ", ?";
    }
    s.sql = "INSERT INTO " + table + " (" + cols + ") VALUES (" + marks + ")";
    return s;
}

inline std::vector<fb::Value> rowOf(const InsertShape& s,
                                    const std::map<std::string, fb::Value>& set) {
    std::vector<fb::Value> row(s.columns.size());
    for (size_t i = 0; i < s.columns.size(); ++i) {
        auto it = set.find(s.columns[i].name);
        if (it != set.end()) row[i] = it->second;
    }
    return row;
}

}  // namespace bench
