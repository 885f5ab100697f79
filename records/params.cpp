#include "records/params.h"

#include "core/text.h"
#include "records/errors.h"

namespace records {

Param* Params::find(std::string_view name) {
    for (Param& p : list_)
        if (core::equalsNoCase(p.name, name)) return &p;
    return nullptr;
}

const Param* Params::find(std::string_view name) const {
    return const_cast<Params*>(this)->find(name);
}

Param& Params::ParamByName(std::string_view name) {
    if (Param* p = find(name)) return *p;
    throw UnknownParameter("Parameter '" + std::string(name) + "' not found");
}

const Param& Params::ParamByName(std::string_view name) const {
    return const_cast<Params*>(this)->ParamByName(name);
}

ParsedSql parseParams(std::string_view sql) {
    ParsedSql out;
    out.sql.reserve(sql.size());
    auto isName = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '$';
    };
    for (size_t i = 0; i < sql.size();) {
        char c = sql[i];
        if (c == '\'' || c == '"') {  // a literal or quoted name runs to its closing quote
            size_t j = sql.find(c, i + 1);
            while (j != std::string_view::npos && j + 1 < sql.size() && sql[j + 1] == c)
                j = sql.find(c, j + 2);
            size_t end = j == std::string_view::npos ? sql.size() : j + 1;
            out.sql.append(sql.substr(i, end - i));
            i = end;
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            size_t end = sql.find('\n', i);
            end = end == std::string_view::npos ? sql.size() : end;
            out.sql.append(sql.substr(i, end - i));
            i = end;
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            size_t end = sql.find("*/", i + 2);
            end = end == std::string_view::npos ? sql.size() : end + 2;
            out.sql.append(sql.substr(i, end - i));
            i = end;
        } else if (c == ':' && i + 1 < sql.size() && isName(sql[i + 1])) {
            size_t j = i + 1;
            while (j < sql.size() && isName(sql[j])) ++j;
            out.names.emplace_back(sql.substr(i + 1, j - i - 1));
            out.sql += '?';
            i = j;
        } else {
            out.sql += c;
            ++i;
        }
    }
    return out;
}

std::vector<fb::Value> bindValues(const ParsedSql& parsed, const Params& params) {
    std::vector<fb::Value> values;
    values.reserve(parsed.names.size());
    for (const std::string& n : parsed.names) {
        const Param* p = params.find(n);
        values.push_back(p ? p->value : fb::Value());
    }
    return values;
}

}  // namespace records
