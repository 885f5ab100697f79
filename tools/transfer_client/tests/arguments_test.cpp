#include "arguments.h"

#include <gtest/gtest.h>

#include "client_error.h"

namespace transfer_client {
namespace {

struct SplitCase {
    const char* line;
    std::vector<std::string> expected;
};

class SplitArguments : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitArguments, YieldsTheArguments) {
    EXPECT_EQ(split_arguments(GetParam().line), GetParam().expected) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    QuoteRules, SplitArguments,
    testing::Values(SplitCase{"rm a b", {"rm", "a", "b"}}, SplitCase{"  rm\t a  ", {"rm", "a"}},
                    SplitCase{"rm \"a b\"", {"rm", "a b"}},
                    // Quoted stretches inside an argument join it.
                    SplitCase{"-certificate=\"ab:cd\"", {"-certificate=ab:cd"}},
                    // Two empty stretches around the value: the import's form.
                    SplitCase{"-certificate=\"\"ab:cd\"\"", {"-certificate=ab:cd"}},
                    // A doubled quote inside a quoted stretch is one quote.
                    SplitCase{"\"a\"\"b\"", {"a\"b"}}, SplitCase{"x=\"\"\"ab\"\"\"", {"x=\"ab\""}},
                    SplitCase{"rm \"\"", {"rm", ""}}, SplitCase{"", {}}));

TEST(SplitArgumentsErrors, AnUnclosedQuoteIsRefused) {
    for (const char* line : {"rm \"a", "-certificate=\"ab:cd", "x=\"\"\"ab\"\""}) {
        EXPECT_THROW(split_arguments(line), ClientError) << line;
    }
}

TEST(ExpandPercent, DoubledPercentBecomesOne) {
    EXPECT_EQ(expand_percent("ventas%%40ejemplo.com"), "ventas%40ejemplo.com");
    EXPECT_EQ(expand_percent("%%%%"), "%%");
    EXPECT_EQ(expand_percent("no percent"), "no percent");
}

TEST(ExpandPercent, ALonePercentIsRefused) {
    for (const char* line : {"a%40b", "100%", "%PATH%", "%%%"}) {
        try {
            expand_percent(line);
            ADD_FAILURE() << "accepted " << line;
        } catch (const ClientError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::NotUnderstood);
        }
    }
}

}  // namespace
}  // namespace transfer_client
