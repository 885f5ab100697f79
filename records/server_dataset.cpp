#include "records/server_dataset.h"

#include <cctype>

#include "core/text.h"

namespace records {

void throwServerError(const fb::Error& e) {
    e.rethrowWithPrefix("SQL Server Error: ");
}

ServerDataset::ServerDataset(std::string name, core::Component* owner, fb::Connection& connection,
                             Kind kind, std::string text, Params params)
    : Component(std::move(name), owner),
      connection_(&connection),
      kind_(kind),
      text_(std::move(text)),
      params_(std::move(params)) {}

std::string ServerDataset::selectText() const {
    return kind_ == Kind::Table ? "SELECT * FROM " + text_ : text_;
}

std::string ServerDataset::tableName() const {
    return kind_ == Kind::Table ? core::upperAscii(text_) : tableOfSelect(text_);
}

fb::Table ServerDataset::open(const std::string& sql, const Params& params) const {
    if (!readsOnly_) return execute(sql, params);
    ParsedSql parsed = parseParams(sql);
    try {
        return connection_->read(parsed.sql, bindValues(parsed, params));
    } catch (const fb::Error& e) {
        throwServerError(e);
    }
}

fb::Table ServerDataset::execute(const std::string& sql, const Params& params) const {
    ParsedSql parsed = parseParams(sql);
    try {
        return connection_->run(parsed.sql, bindValues(parsed, params));
    } catch (const fb::Error& e) {
        throwServerError(e);
    }
}

fb::Table ServerDataset::run(const fb::Transaction& tra, const std::string& sql,
                             const std::vector<fb::Value>& values) const {
    try {
        return connection_->run(tra, sql, values);
    } catch (const fb::Error& e) {
        throwServerError(e);
    }
}

fb::Table ServerDataset::run(const fb::Transaction& tra, const std::string& sql,
                             const Params& params) const {
    ParsedSql parsed = parseParams(sql);
    return run(tra, parsed.sql, bindValues(parsed, params));
}

std::vector<fb::ColumnInfo> ServerDataset::describe(const std::string& sql) const {
    try {
        return connection_->describe(parseParams(sql).sql);
    } catch (const fb::Error& e) {
        throwServerError(e);
    }
}

void ServerDataset::ExecProc() {
    execProc(nullptr);
}

void ServerDataset::ExecProc(const fb::Transaction& tra) {
    execProc(&tra);
}

std::string ServerDataset::procText(std::vector<fb::Value>* inputs) const {
    std::string sql = "EXECUTE PROCEDURE " + text_;
    bool any = false;
    for (const Param& p : params_) {
        if (p.output) continue;
        sql += any ? ", ?" : "(?";
        any = true;
        if (inputs) inputs->push_back(p.value);
    }
    if (any) sql += ")";
    return sql;
}

void ServerDataset::prepare(const fb::Transaction& tra, const std::string& sql) const {
    try {
        connection_->prepare(tra, parseParams(sql).sql);
    } catch (const fb::Error& e) {
        throwServerError(e);
    }
}

void ServerDataset::PrepareProc(const fb::Transaction& tra) {
    try {
        connection_->prepare(tra, procText(nullptr));
    } catch (const fb::Error& e) {
        throwServerError(e);
    }
}

void ServerDataset::execProc(const fb::Transaction* tra) {
    std::vector<fb::Value> inputs;
    const std::string sql = procText(&inputs);
    fb::Table t;
    try {
        t = tra ? connection_->run(*tra, sql, inputs) : connection_->run(sql, inputs);
    } catch (const fb::Error& e) {
        throwServerError(e);
    }
    for (Param& p : params_) {
        if (!p.output) continue;
        int i = t.columnIndex(p.name);
        p.value = (i >= 0 && !t.rows.empty()) ? t.rows[0][i] : fb::Value();
    }
}

std::string tableOfSelect(std::string_view sql) {
    std::string upper = core::upperAscii(sql);
    size_t pos = 0;
    for (;;) {
        pos = upper.find("FROM", pos);
        if (pos == std::string::npos) return {};
        bool before = pos == 0 || static_cast<unsigned char>(upper[pos - 1]) <= ' ';
        bool after = pos + 4 < upper.size() && static_cast<unsigned char>(upper[pos + 4]) <= ' ';
        if (before && after) break;
        pos += 4;
    }
    size_t i = pos + 4;
    while (i < upper.size() && static_cast<unsigned char>(upper[i]) <= ' ') ++i;
    size_t j = i;
    while (j < upper.size() && (std::isalnum(static_cast<unsigned char>(upper[j])) ||
                                upper[j] == '_' || upper[j] == '$'))
        ++j;
    return upper.substr(i, j - i);
}

}  // namespace records
