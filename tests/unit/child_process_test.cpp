// A started transfer client, the same cases on Linux and Windows: how it ended and what it
// wrote, its arguments as given, none of the program's files held by it, and stopping it
// stopping what it started. The stand-in is tests/support/platform_helper.
#include "platform/child_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#include "core/text.h"
#include "platform/exclusive_file.h"
#include "tests/support/helper_process.h"
#include "tests/support/inheritable_file.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::ChildProcess;
using testsupport::helperProgram;
using testsupport::startHelper;
using testsupport::waitEnded;

TEST(ChildProcess, TellsHowItEndedAndWhatItWroteLast) {
    ChildProcess failing = startHelper({"exit", "3", "first", "last line"});
    ASSERT_TRUE(waitEnded(failing));
    EXPECT_FALSE(failing.signalled());
    EXPECT_EQ(failing.exitCode(), 3);
    EXPECT_EQ(failing.output(), "first\nlast line\n");
    EXPECT_EQ(failing.output(5), "line\n");

    ChildProcess silent = startHelper({"exit", "0", "", ""});
    ASSERT_TRUE(waitEnded(silent));
    EXPECT_EQ(silent.exitCode(), 0);
    EXPECT_EQ(silent.output(), "\n\n");
}

TEST(ChildProcess, ArgumentsArriveAsGiven) {
    testsupport::TempDir dir;
    const std::string record = dir.file("args.txt");
    // Path texts of the program (Windows-1252); the record is UTF-8.
    const std::vector<std::string> words = {"/script=borrar-123-1.txt",
                                            "a b",
                                            "tab\there",
                                            "quote\"inside",
                                            "\"",
                                            "",
                                            "ends with\\",
                                            "C:\\a folder\\",
                                            "back\\\\slashes\\\"quote",
                                            "Facturaci\xf3n \x80"};
    std::vector<std::string> arguments = {"args", record};
    arguments.insert(arguments.end(), words.begin(), words.end());
    ChildProcess p = startHelper(arguments);
    ASSERT_TRUE(waitEnded(p));
    ASSERT_EQ(p.exitCode(), 0) << p.output();
    std::string expected;
    for (const std::string& w : words) expected += core::cp1252ToUtf8(w) + "\n";
    const std::string got = testsupport::readFile(record);
    // The working directory, on the last line, is the program's own.
    EXPECT_EQ(got.substr(0, expected.size()), expected);
    EXPECT_EQ(fs::path(got.substr(expected.size(), got.size() - expected.size() - 1)),
              fs::current_path());
}

// The database engine's files are open in handles a started program would inherit: the
// client must hold none of them, or the files stay locked for as long as it runs.
TEST(ChildProcess, HoldsNoneOfTheProgramsFiles) {
    testsupport::TempDir dir;
    const std::string path = dir.file("held.fdb");
    testsupport::InheritableFile held(path);
    ASSERT_EQ(held.error(), 0u) << "cannot hold " << path << ", error " << held.error();
    ChildProcess client = startHelper({"pid", dir.file("client.pid")});
    ASSERT_TRUE(testsupport::waitForFile(dir.file("client.pid")));
    held.close();
    platform::ExclusiveFile file;
    EXPECT_TRUE(file.open(path)) << "the client holds the program's file";
    client.kill();
}

// A client that hangs is stopped with whatever it started: nothing of it stays running.
TEST(ChildProcess, KillStopsTheChildAndWhatItStarted) {
    testsupport::TempDir dir;
    const std::string pidFile = dir.file("grandchild.pid");
    ChildProcess hanging = startHelper({"spawn", pidFile});
    ASSERT_TRUE(testsupport::waitForFile(pidFile)) << hanging.output();
    const long grandchild = std::stol(testsupport::readFile(pidFile));
    EXPECT_FALSE(hanging.ended());
    EXPECT_TRUE(platform::processRunning(grandchild));

    hanging.kill();
    EXPECT_TRUE(hanging.ended());
    EXPECT_TRUE(hanging.signalled());
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        gone = !platform::processRunning(grandchild);
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << "the client's own child is still running";
}

TEST(ChildProcess, AProgramThatCannotStartThrowsWithTheSystemsReason) {
    testsupport::TempDir dir;
    const std::string notAProgram = dir.file("broken.com");
    std::ofstream(notAProgram) << "not a program\n";
    fs::permissions(notAProgram, fs::perms::owner_all);
    for (const std::string& program : {dir.file("absent.com"), notAProgram}) {
        SCOPED_TRACE(program);
        try {
            ChildProcess p(program, {}, {});
            ADD_FAILURE() << "started";
        } catch (const std::system_error& e) {
            EXPECT_NE(std::string(e.what()).find(program), std::string::npos) << e.what();
            EXPECT_NE(e.code().value(), 0);
        }
    }
}

}  // namespace
