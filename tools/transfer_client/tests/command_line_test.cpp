#include "command_line.h"

#include <gtest/gtest.h>

#include "client_error.h"

namespace transfer_client {
namespace {

struct Accepted {
    std::vector<std::string> arguments;
    std::string script;
};

class CommandLineAccepted : public testing::TestWithParam<Accepted> {};

TEST_P(CommandLineAccepted, NamesTheScript) {
    EXPECT_EQ(script_path(GetParam().arguments), GetParam().script);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CommandLineAccepted,
    testing::Values(Accepted{{"/script=borrar.txt"}, "borrar.txt"},
                    // The import's parameter text starts with a blank.
                    Accepted{{" /script=borrar.txt"}, "borrar.txt"},
                    Accepted{{"-script=borrar.txt"}, "borrar.txt"},
                    Accepted{{"/Script=C:\\x=y.txt"}, "C:\\x=y.txt"},
                    Accepted{{"/log=cliente.log", "/script=borrar.txt", "/ini=nul"}, "borrar.txt"},
                    Accepted{{"", "/script=b"}, "b"}));

class CommandLineRefused : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(CommandLineRefused, IsABadArgument) {
    try {
        script_path(GetParam());
        ADD_FAILURE() << "accepted";
    } catch (const ClientError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::BadArguments);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, CommandLineRefused,
                         testing::Values(std::vector<std::string>{},
                                         std::vector<std::string>{"/script="},
                                         std::vector<std::string>{"/script"},
                                         std::vector<std::string>{"/script=a", "/script=b"},
                                         std::vector<std::string>{"borrar.txt"},
                                         std::vector<std::string>{"/script=a", "/command", "exit"},
                                         std::vector<std::string>{"/log=x.log"}));

}  // namespace
}  // namespace transfer_client
