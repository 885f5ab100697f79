#include "import/file_name.h"

#include "core/text.h"

namespace importer {

namespace {

// Part of s from pos, at most n characters, never past its end.
std::string_view copy(std::string_view s, size_t pos, size_t n) {
    return pos >= s.size() ? std::string_view{} : s.substr(pos, n);
}

}  // namespace

bool matchesFlatFileMask(std::string_view name) {
    constexpr std::string_view prefix = "[RDE";
    constexpr std::string_view suffix = ".txt";
    return name.size() >= prefix.size() + suffix.size() &&
           core::equalsNoCase(name.substr(0, prefix.size()), prefix) &&
           core::equalsNoCase(name.substr(name.size() - suffix.size()), suffix);
}

FlatFileName parseFlatFileName(std::string_view name) {
    FlatFileName out;
    const size_t u1 = name.find('_');
    const size_t u2 = u1 == std::string_view::npos ? u1 : name.find('_', u1 + 1);
    if (u2 == std::string_view::npos) {
        out.fecha = "//";
        return out;
    }
    out.cc = name.substr(u1 + 1, u2 - u1 - 1);
    const std::string_view rest = name.substr(u2 + 1);
    out.fecha.append(copy(rest, 0, 4)).append("/");
    out.fecha.append(copy(rest, 4, 2)).append("/");
    out.fecha.append(copy(rest, 6, 2));
    return out;
}

}  // namespace importer
