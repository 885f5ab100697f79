#include "command_line.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "client_error.h"
#include "text.h"

namespace transfer_client {

namespace {

const char* const usage = "usage: winscp.com /script=FILE";

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

}  // namespace

std::string script_path(const std::vector<std::string>& arguments) {
    std::string script;
    bool have_script = false;
    for (const std::string& raw : arguments) {
        const std::string_view argument = trim(raw);
        if (argument.empty()) continue;
        if (argument.front() != '/' && argument.front() != '-') {
            throw ClientError(ErrorKind::BadArguments, "argument \"" + std::string(argument) +
                                                           "\" is not a switch; " + usage);
        }
        const std::size_t equals = argument.find('=');
        const std::string name = lower(argument.substr(
            1, equals == std::string_view::npos ? std::string_view::npos : equals - 1));
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : argument.substr(equals + 1);
        if (name == "script") {
            if (have_script) throw ClientError(ErrorKind::BadArguments, "more than one script");
            if (value.empty()) throw ClientError(ErrorKind::BadArguments, usage);
            script = std::string(value);
            have_script = true;
        } else if (name == "log" || name == "loglevel" || name == "xmllog" || name == "ini") {
            continue;
        } else {
            throw ClientError(ErrorKind::BadArguments, "switch \"" +
                                                           std::string(argument.substr(0, equals)) +
                                                           "\" is not supported; " + usage);
        }
    }
    if (!have_script) throw ClientError(ErrorKind::BadArguments, usage);
    return script;
}

}  // namespace transfer_client
