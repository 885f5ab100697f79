#include "fb/sql_text.h"

namespace fb {

std::string renderSql(const std::string& sql, const std::vector<Value>& params) {
    std::string out;
    size_t next = 0;
    bool quoted = false;
    for (char c : sql) {
        if (c == '\'') quoted = !quoted;
        if (c != '?' || quoted || next >= params.size()) {
            out += c;
            continue;
        }
        const Value& v = params[next++];
        if (v.isNull()) {
            out += "NULL";
        } else if (v.kind == Value::Kind::Integer || v.kind == Value::Kind::Decimal ||
                   v.kind == Value::Kind::Double) {
            out += v.asText();
        } else {
            out += '\'';
            for (char t : v.asText()) {
                if (t == '\'') out += '\'';
                out += t;
            }
            out += '\'';
        }
    }
    return out;
}

}  // namespace fb
