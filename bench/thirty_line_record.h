#pragma once
// The flat-file record of the slow-link benchmarks: one summary record whose invoice has 30
// lines (6 amount lines, 8 discount groups of 3), its amounts varying with its number.
#include <cstdio>
#include <string>

#include "core/date.h"

namespace bench {

// The `i`-th such record, of the day `day`.
inline std::string thirtyLineRecord(const core::Date& day, int i) {
    char date[16];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", day.day, day.month, day.year);
    std::string s = std::string(date) + ";x;y";
    for (int k = 0; k < 3; ++k) s += ";" + std::to_string(1000 + 37 * i + 101 * k) + ".25";
    s += ";z";
    for (int k = 3; k < 6; ++k) s += ";" + std::to_string(1000 + 37 * i + 101 * k);
    s += ";1000;7000;a;b;c;d;e";
    for (int g = 0; g < 8; ++g) {
        char col[48];
        std::snprintf(col, sizeof col, ";GRUPO%d %3d.%d.%d", g, 1 + (i + g) % 97,
                      1 + (i + g + 1) % 97, 1 + (i + g + 2) % 97);
        s += col;
    }
    return s + ";FD\r\n";
}

}  // namespace bench
