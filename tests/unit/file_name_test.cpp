#include "import/file_name.h"

#include <gtest/gtest.h>

#include "core/errors.h"

namespace importer {
namespace {

TEST(FlatFileMask, MatchesLikeTheWindowsSearch) {
    struct {
        const char* name;
        bool match;
    } const cases[] = {
        {"[RDE_12_20240131.txt", true},
        {"[rde_12_20240131.TXT", true},
        {"[RDE.txt", true},  // "*" may be empty
        {"[RDEx.txt.txt", true},
        {"RDE_12_20240131.txt", false},  // "[" is an ordinary character
        {"R_12_20240131.txt", false},
        {"[RDE_12_20240131.txt.bak", false},
        {"[RDE_12_20240131.tx", false},
        {"x[RDE_12_20240131.txt", false},
        {"[RD.txt", false},
        {"[RDE", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(matchesFlatFileMask(c.name), c.match) << c.name;
}

TEST(FlatFileName, CodeAndDate) {
    struct {
        const char* name;
        const char* cc;
        const char* fecha;
    } const cases[] = {
        {"[RDE_12_20240131.txt", "12", "2024/01/31"},
        {"[RDE_12_20240131_extra.txt", "12", "2024/01/31"},
        {"[RDE__20240131.txt", "", "2024/01/31"},
        {"[RDE_A-7_19991231x.txt", "A-7", "1999/12/31"},
        {"[RDE_5_2024013.txt", "5", "2024/01/3."},
        {"[RDE_5_2024.txt", "5", "2024/.t/xt"},
        {"[RDE_5_", "5", "//"},
        {"[RDE_5_20.txt", "5", "20.t/xt/"},
        {"[RDE_5.txt", "", "//"},  // fewer than two "_"
        {"[RDE.txt", "", "//"},
    };
    for (const auto& c : cases) {
        const FlatFileName f = parseFlatFileName(c.name);
        EXPECT_EQ(f.cc, c.cc) << c.name;
        EXPECT_EQ(f.fecha, c.fecha) << c.name;
    }
}

TEST(FlatFileName, DateConverts) {
    EXPECT_EQ(parseFlatFileName("[RDE_12_20240131.txt").date(), (core::Date{2024, 1, 31}));
    EXPECT_EQ(parseFlatFileName("[RDE_12_20240229.txt").date(), (core::Date{2024, 2, 29}));
}

TEST(FlatFileName, BadDateStopsWithConversionError) {
    for (const char* name : {"[RDE_5_2024013.txt", "[RDE_5.txt", "[RDE_5_20230229.txt",
                             "[RDE_5_20241301.txt", "[RDE_5_abcdefgh.txt"}) {
        EXPECT_THROW(parseFlatFileName(name).date(), core::ConversionError) << name;
    }
}

}  // namespace
}  // namespace importer
