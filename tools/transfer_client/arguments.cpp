#include "arguments.h"

#include "client_error.h"

namespace transfer_client {

std::string expand_percent(std::string_view line) {
    std::string result;
    result.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '%') {
            result += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '%') {
            result += '%';
            ++i;
        } else {
            throw ClientError(ErrorKind::NotUnderstood,
                              "a single \"%\" (environment variable) is not supported; write "
                              "\"%%\" for a percent sign");
        }
    }
    return result;
}

std::vector<std::string> split_arguments(std::string_view line) {
    std::vector<std::string> arguments;
    std::string current;
    bool in_argument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"') {
                current += c;
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                current += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == ' ' || c == '\t') {
            if (in_argument) arguments.push_back(std::move(current));
            current.clear();
            in_argument = false;
        } else {
            // An empty quoted stretch still makes an (empty) argument.
            in_argument = true;
            if (c == '"') {
                quoted = true;
            } else {
                current += c;
            }
        }
    }
    if (quoted) throw ClientError(ErrorKind::NotUnderstood, "a double quote is not closed");
    if (in_argument) arguments.push_back(std::move(current));
    return arguments;
}

}  // namespace transfer_client
