#pragma once
// Reads CSV text as RFC 4180 writes it: fields separated by commas, records by CR LF, a field
// between double quotes may hold commas, quotes (doubled) and line breaks.
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

using CsvRow = std::vector<std::string>;

inline std::vector<CsvRow> parseCsv(const std::string& text) {
    std::vector<CsvRow> rows;
    CsvRow row;
    std::string field;
    bool quoted = false, inQuotes = false, any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                inQuotes = false;
            }
            continue;
        }
        if (c == '"') {
            if (!field.empty() || quoted) throw std::runtime_error("a quote inside a field");
            quoted = inQuotes = any = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
            quoted = false;
            any = true;
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row.push_back(std::move(field));
            rows.push_back(std::move(row));
            row.clear();
            field.clear();
            quoted = any = false;
            ++i;
        } else if (c == '\r' || c == '\n') {
            throw std::runtime_error("a line break outside quotes that is not CR LF");
        } else {
            if (quoted) throw std::runtime_error("text after a closing quote");
            field += c;
            any = true;
        }
    }
    if (inQuotes) throw std::runtime_error("an unclosed quote");
    if (any || !field.empty()) throw std::runtime_error("a last record without CR LF");
    return rows;
}

}  // namespace testsupport
