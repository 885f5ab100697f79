#include "data/connection_params.h"

#include <stdexcept>

#include "core/text.h"

namespace data {
namespace {

[[noreturn]] void refuse(const std::string& name, const std::string& value) {
    throw std::invalid_argument("connection parameter " + name + "=" + value +
                                " is not supported by this connection");
}

// True, False, or empty for `whenEmpty`; anything else is refused.
bool flag(const std::string& name, const std::string& value, bool whenEmpty) {
    if (value.empty()) return whenEmpty;
    if (core::equalsNoCase(value, "True")) return true;
    if (core::equalsNoCase(value, "False")) return false;
    refuse(name, value);
}

}  // namespace

ConnectionParams::ConnectionParams(
    std::initializer_list<std::pair<std::string, std::string>> params) {
    for (const auto& [name, value] : params) set(name, value);
}

void ConnectionParams::set(const std::string& name, const std::string& value) {
    for (auto& [k, v] : params_) {
        if (core::equalsNoCase(k, name)) {
            k = name;
            v = value;
            return;
        }
    }
    params_.emplace_back(name, value);
}

std::string ConnectionParams::get(const std::string& name) const {
    for (const auto& [k, v] : params_)
        if (core::equalsNoCase(k, name)) return v;
    return {};
}

fb::ConnectionOptions ConnectionParams::options() const {
    fb::ConnectionOptions o;
    for (const auto& param : params_) {
        const std::string& name = param.first;
        const std::string& value = param.second;
        auto is = [&name](const char* n) { return core::equalsNoCase(name, n); };
        if (is("Database")) {
            o.database = value;
        } else if (is("User_Name")) {
            o.user = value;
        } else if (is("password")) {
            o.password = value;
        } else if (is("RoleName")) {
            o.role = value;
        } else if (is("SQLDialect")) {
            if (value == "1" || value == "3")
                o.dialect = value == "1" ? 1 : 3;
            else if (!value.empty())
                refuse(name, value);
        } else if (is("ServerCharSet")) {
            o.charSet = value;
        } else if (is("WaitOnLocks")) {
            o.waitOnLocks = flag(name, value, true);
        } else if (is("IsolationLevel")) {
            if (value.empty() || core::equalsNoCase(value, "ReadCommitted"))
                o.readCommitted = true;
            else if (core::equalsNoCase(value, "SnapShot"))
                o.readCommitted = false;
            else
                refuse(name, value);
        } else if (is("CommitRetain") || is("Trim Char")) {
            if (flag(name, value, false)) refuse(name, value);
        } else if (!is("BlobSize") && !is("LocaleCode")) {
            throw std::invalid_argument("unknown connection parameter " + name);
        }
    }
    return o;
}

ConnectionParams designParams(ModuleConnection connection) {
    // "Database" and "password" are development defaults, overwritten before every connect.
    ConnectionParams p{
        {"Database", ""},
        {"User_Name", "sysdba"},
        {"password", ""},
        {"SQLDialect", connection == ModuleConnection::General ? "1" : "3"},
    };
    if (connection == ModuleConnection::ConReplica) p.set("ServerCharSet", "ISO8859_1");
    p.set("CommitRetain", "False");
    p.set("WaitOnLocks", "True");
    p.set("IsolationLevel", "ReadCommitted");
    p.set("BlobSize", "-1");
    if (connection == ModuleConnection::General) p.set("Trim Char", "False");
    p.set("LocaleCode", "0000");
    p.set("RoleName", "RoleName");
    return p;
}

}  // namespace data
