// dbshow DATABASE SQL [DIALECT]: runs one statement through the project's Firebird layer and
// prints the result as a table. Used by the demo to show what the import stored.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/text.h"
#include "fb/connection.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: dbshow DATABASE SQL [DIALECT]\n");
        return 2;
    }
    fb::Connection c("dbshow", {.database = argv[1],
                                .user = "SYSDBA",
                                .dialect = argc > 3 && std::string(argv[3]) == "1" ? 1 : 3});
    try {
        c.open();
        fb::Table t = c.run(argv[2]);
        std::vector<size_t> width(t.columns.size());
        std::vector<std::vector<std::string>> cells;
        for (size_t i = 0; i < t.columns.size(); ++i) width[i] = t.columns[i].name.size();
        for (const auto& row : t.rows) {
            std::vector<std::string> line;
            for (size_t i = 0; i < row.size(); ++i) {
                line.push_back(core::cp1252ToUtf8(row[i].isNull() ? "<null>" : row[i].asText()));
                width[i] = std::max(width[i], line.back().size());
            }
            cells.push_back(std::move(line));
        }
        for (size_t i = 0; i < t.columns.size(); ++i)
            std::printf("%-*s ", static_cast<int>(width[i]), t.columns[i].name.c_str());
        std::printf("\n");
        for (size_t i = 0; i < t.columns.size(); ++i)
            std::printf("%s ", std::string(width[i], '-').c_str());
        std::printf("\n");
        for (const auto& line : cells) {
            for (size_t i = 0; i < line.size(); ++i)
                std::printf("%-*s ", static_cast<int>(width[i]), line[i].c_str());
            std::printf("\n");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
