#include "records/query.h"

#include "records/errors.h"

namespace records {

Query::Query(std::string name, core::Component* owner, fb::Connection& connection, std::string sql)
    : ServerDataset(std::move(name), owner, connection, Kind::Query, std::move(sql)) {}

void Query::Open() {
    if (active_) return;
    table_ = open(selectText(), params());
    cur_ = 0;
    active_ = true;
}

void Query::Close() {
    table_ = fb::Table();
    cur_ = 0;
    active_ = false;
}

bool Query::Locate(std::string_view column, std::string_view value) {
    int c = table_.columnIndex(column);
    if (c < 0) throw UnknownField(name() + ": Field '" + std::string(column) + "' not found");
    for (size_t i = 0; i < table_.rows.size(); ++i) {
        if (table_.rows[i][c].asText() == value) {
            cur_ = i;
            return true;
        }
    }
    return false;
}

std::string Query::text(int position) const {
    if (position < 0 || static_cast<size_t>(position) >= table_.columns.size())
        throw UnknownField(name() + ": List index out of bounds (" + std::to_string(position) +
                           ")");
    return Eof() ? std::string() : table_.rows[cur_][position].asText();
}

std::string Query::text(std::string_view column) const {
    int c = table_.columnIndex(column);
    if (c < 0) throw UnknownField(name() + ": Field '" + std::string(column) + "' not found");
    return text(c);
}

}  // namespace records
