#include "runner.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "client_error.h"

namespace transfer_client {
namespace {

const std::string kCert =
    " -certificate=00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff:"
    "0f:1e:2d:3c:4b:5a:69:78:87:96:a5:b4:c3:d2:e1:f0";

// A folder in memory; what it was asked to do is kept by the test.
struct FolderState {
    std::vector<std::string> names;
    std::vector<std::string> removed;
    std::string refuse;  // remove() of this name fails
    int listings = 0;
    std::vector<OpenCommand> opened;
};

class FakeFolder : public RemoteFolder {
  public:
    explicit FakeFolder(FolderState& state) : state_(state) {}
    std::vector<std::string> list_names() override {
        ++state_.listings;
        return state_.names;
    }
    void remove(const std::string& name) override {
        // As a server: a name it does not hold is refused too.
        if (name == state_.refuse ||
            std::find(state_.names.begin(), state_.names.end(), name) == state_.names.end())
            throw ClientError(ErrorKind::Remote, "550 " + name);
        state_.removed.push_back(name);
        std::erase(state_.names, name);
    }

  private:
    FolderState& state_;
};

Connector fake(FolderState& state) {
    return [&state](const OpenCommand& open) {
        state.opened.push_back(open);
        return std::make_unique<FakeFolder>(state);
    };
}

void run(const std::string& text, FolderState& state) {
    run_script(parse_script(text), fake(state));
}

ErrorKind failure(const std::string& text, FolderState& state) {
    try {
        run(text, state);
    } catch (const ClientError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no failure for: " << text;
    return ErrorKind::BadArguments;
}

const std::string kOpen = "open ftpes://ventas%%40ejemplo.com:p@ftp.ejemplo.com/" + kCert + "\r\n";

TEST(Runner, TheImportsScriptDeletesOnlyThatFile) {
    FolderState state;
    state.names = {"RDE_12_20240131.txt", "[RDE_12_20240131.txt", "[RDE_12_20240201.txt",
                   "[RDE_12_20240131.txt.bak"};
    run(kOpen + "rm [[]RDE_12_20240131.txt\r\nexit\r\n", state);
    ASSERT_EQ(state.opened.size(), 1u);
    EXPECT_EQ(state.opened[0].user, "ventas@ejemplo.com");
    EXPECT_EQ(state.removed, std::vector<std::string>{"[RDE_12_20240131.txt"});
    EXPECT_EQ(state.listings, 0);  // one name: deleted by it, no listing
}

// A lone mask that names one file: a refused delete is a missing file only when the listing
// lacks it.
TEST(Runner, ARefusedDeleteOfOneNameIsToldApartFromAFileAlreadyGone) {
    FolderState gone;
    gone.names = {"[RDE_12_20240201.txt"};
    EXPECT_EQ(failure(kOpen + "rm [[]RDE_12_20240131.txt\r\n", gone), ErrorKind::NoMatch);
    EXPECT_EQ(gone.listings, 1);

    FolderState refused;
    refused.names = {"[RDE_12_20240131.txt"};
    refused.refuse = "[RDE_12_20240131.txt";
    EXPECT_EQ(failure(kOpen + "rm [[]RDE_12_20240131.txt\r\n", refused), ErrorKind::Remote);
    EXPECT_TRUE(refused.removed.empty());
}

TEST(Runner, WildcardsDeleteEveryMatchOnceInListingOrder) {
    FolderState state;
    state.names = {"b.txt", "a.txt", "c.dat"};
    run(kOpen + "rm *.txt ?.txt b*\r\n", state);
    EXPECT_EQ(state.removed, (std::vector<std::string>{"b.txt", "a.txt"}));
    EXPECT_EQ(state.listings, 1);
}

TEST(Runner, AMaskWithoutMatchFailsAndDeletesNothing) {
    FolderState state;
    state.names = {"[RDE_1_20240101.txt", "otro.txt"};
    EXPECT_EQ(failure(kOpen + "rm [[]RDE_12_20240131.txt\r\nexit\r\n", state), ErrorKind::NoMatch);
    EXPECT_EQ(failure(kOpen + "rm [[]RDE*.txt nada*\r\n", state), ErrorKind::NoMatch);
    EXPECT_TRUE(state.removed.empty());

    FolderState empty;
    EXPECT_EQ(failure(kOpen + "rm *\r\n", empty), ErrorKind::NoMatch);
}

TEST(Runner, TheFirstRefusedDeleteStopsTheScript) {
    FolderState state;
    state.names = {"a.txt", "b.txt"};
    state.refuse = "a.txt";
    EXPECT_EQ(failure(kOpen + "rm *.txt\r\nexit\r\n", state), ErrorKind::Remote);
    EXPECT_TRUE(state.removed.empty());
}

TEST(Runner, AFailedOpenKeepsItsKind) {
    const Connector refuse_login = [&](const OpenCommand&) -> std::unique_ptr<RemoteFolder> {
        throw ClientError(ErrorKind::Login, "530");
    };
    try {
        run_script(parse_script(kOpen + "rm x\r\n"), refuse_login);
        ADD_FAILURE() << "no failure";
    } catch (const ClientError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Login);
    }
}

TEST(Runner, ExitEndsTheRun) {
    FolderState state;
    state.names = {"a.txt"};
    std::vector<ScriptLine> script = parse_script(kOpen + "exit\r\n");
    // Lines after exit never run, even when a caller puts them there.
    script.push_back({9, RemoveCommand{{FileMask("a.txt")}}});
    run_script(script, fake(state));
    EXPECT_TRUE(state.removed.empty());
    EXPECT_EQ(state.listings, 0);
}

}  // namespace
}  // namespace transfer_client
