#pragma once
// Named parameters of a query, a buffer or a stored procedure.
#include <string>
#include <string_view>
#include <vector>

#include "fb/value.h"

namespace records {

struct Param {
    std::string name;
    fb::FieldType type = fb::FieldType::VarChar;
    fb::Value value;
    bool output = false;  // an output parameter of a stored procedure

    std::string asString() const { return value.asText(); }
    void setText(std::string s) { value = fb::Value::ofText(std::move(s)); }
    void setInteger(int64_t v) { value = fb::Value::ofInt(v); }
};

class Params {
  public:
    Params() = default;
    Params(std::initializer_list<Param> list) : list_(list) {}

    // The parameter of that name (letter case ignored); throws when there is none.
    Param& ParamByName(std::string_view name);
    const Param& ParamByName(std::string_view name) const;
    Param* find(std::string_view name);
    const Param* find(std::string_view name) const;
    void add(Param p) { list_.push_back(std::move(p)); }
    void clear() { list_.clear(); }
    size_t size() const { return list_.size(); }
    bool empty() const { return list_.empty(); }
    auto begin() const { return list_.begin(); }
    auto end() const { return list_.end(); }
    auto begin() { return list_.begin(); }
    auto end() { return list_.end(); }

  private:
    std::vector<Param> list_;
};

// A statement text with ":NAME" markers turned into "?" (quoted text and comments are left
// alone), and the names in the order they stand.
struct ParsedSql {
    std::string sql;
    std::vector<std::string> names;
};
ParsedSql parseParams(std::string_view sql);

// The values for a parsed statement, taken from `params` by name (missing: NULL).
std::vector<fb::Value> bindValues(const ParsedSql& parsed, const Params& params);

}  // namespace records
