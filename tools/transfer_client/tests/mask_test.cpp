#include "mask.h"

#include <gtest/gtest.h>

#include "client_error.h"

namespace transfer_client {
namespace {

struct MatchCase {
    const char* mask;
    const char* name;
    bool matches;
};

class MaskMatching : public testing::TestWithParam<MatchCase> {};

TEST_P(MaskMatching, DecidesLikeTheTable) {
    const MatchCase& c = GetParam();
    EXPECT_EQ(FileMask(c.mask).matches(c.name), c.matches) << c.mask << " vs " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    ImportMask, MaskMatching,
    testing::Values(MatchCase{"[[]RDE_12_20240131.txt", "[RDE_12_20240131.txt", true},
                    MatchCase{"[[]RDE_12_20240131.txt", "RDE_12_20240131.txt", false},
                    MatchCase{"[[]RDE_12_20240131.txt", "[RDE_12_20240131.txtx", false},
                    MatchCase{"[[]RDE_12_20240131.txt", "x[RDE_12_20240131.txt", false},
                    MatchCase{"[[]RDE_12_20240131.txt", "[[RDE_12_20240131.txt", false},
                    MatchCase{"[[]RDE_12_20240131.txt", "[RDE_12_20240131.TXT", false},
                    MatchCase{"[[]RDE_12_20240131.txt", "[RDE_12_20240131_txt", false}));

INSTANTIATE_TEST_SUITE_P(
    Star, MaskMatching,
    testing::Values(MatchCase{"*", "", true}, MatchCase{"*", "anything.txt", true},
                    MatchCase{"*.txt", ".txt", true}, MatchCase{"*.txt", "a.txt.bak", false},
                    MatchCase{"[[]RDE*.txt", "[RDE_7_20240101.txt", true},
                    MatchCase{"[[]RDE*.txt", "[RDE.txt", true},
                    MatchCase{"[[]RDE*.txt", "RDE_7.txt", false},
                    // Needs the last star to give characters back.
                    MatchCase{"*ab", "aab", true}, MatchCase{"a*b*c", "aXbYbZc", true},
                    MatchCase{"a*b*c", "aXbYcd", false}, MatchCase{"**", "x", true}));

INSTANTIATE_TEST_SUITE_P(QuestionMark, MaskMatching,
                         testing::Values(MatchCase{"?", "a", true}, MatchCase{"?", "", false},
                                         MatchCase{"?", "ab", false}, MatchCase{"a?c", "ac", false},
                                         MatchCase{"a?c", "a[c", true},
                                         MatchCase{"??.txt", "ab.txt", true},
                                         MatchCase{"*?", "", false}));

INSTANTIATE_TEST_SUITE_P(Sets, MaskMatching,
                         testing::Values(MatchCase{"[a-c]x", "bx", true},
                                         MatchCase{"[a-c]x", "dx", false},
                                         MatchCase{"[ac]", "b", false}, MatchCase{"[]]", "]", true},
                                         MatchCase{"[a-]", "-", true}, MatchCase{"[*]", "*", true},
                                         MatchCase{"[*]", "a", false}, MatchCase{"[?]", "?", true},
                                         MatchCase{"[?]", "a", false},
                                         // Bytes above 0x7F are plain characters.
                                         MatchCase{"\xe1*", "\xe1rbol", true},
                                         MatchCase{"[\xe0-\xe9]", "\xe1", true},
                                         MatchCase{"[\xe0-\xe9]", "a", false}));

TEST(MaskErrors, MasksThatAreNotUnderstoodAreRefused) {
    for (const char* mask :
         {"", "[", "[abc", "[]", "[z-a]", "dir/*.txt", "/[[]x", "[!a]", "[^a]"}) {
        try {
            FileMask{mask};
            ADD_FAILURE() << "accepted \"" << mask << "\"";
        } catch (const ClientError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::NotUnderstood) << mask;
        }
    }
}

}  // namespace
}  // namespace transfer_client
