// A started transfer client: what it inherits (standard descriptors only, the working
// directory, exactly the environment it is given), what it wrote, how it ended, and that
// stopping it stops what it started. The stand-in client list_descriptors writes down what it
// was started with.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <thread>

#include "platform/child_process.h"
#include "tests/support/process_guards.h"
#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;
using platform::ChildProcess;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Waits for the child to end, at most 10 s.
bool waitEnded(ChildProcess& p) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!p.ended()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class ChildProcessTest : public ::testing::Test {
  protected:
    void SetUp() override { work_ = fs::canonical(work_).string(); }

    // A shell script at `name` in the scratch folder.
    std::string script(const std::string& name, const std::string& body) {
        const std::string path = dir_.file(name);
        std::ofstream(path) << "#!/bin/sh\n" << body;
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }

    testsupport::TempDir dir_;
    std::string work_ = dir_.path();
};

TEST_F(ChildProcessTest, InheritsOnlyStandardDescriptorsTheWorkingDirectoryAndItsEnvironment) {
    // A run without standard descriptors gets them, so that the ones opened below lie above 2.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", O_RDWR);
    // Descriptors as the database engine leaves them: inheritable.
    const int file = ::open(dir_.file("held.fdb").c_str(), O_RDWR | O_CREAT, 0600);
    int pipeEnds[2], socketEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, socketEnds), 0);
    ASSERT_GT(file, 2);
    testsupport::EnvGuard proxy("ftp_proxy", "http://127.0.0.1:9/");

    const std::string record = dir_.file("descriptors.txt");
    {
        testsupport::CwdGuard cwd(work_);
        ChildProcess lister(BINARY_DIR "/list_descriptors", {"/script=x.txt"},
                            {"LIST_DESCRIPTORS_OUT=" + record});
        ASSERT_TRUE(waitEnded(lister));
        EXPECT_FALSE(lister.signalled());
        EXPECT_EQ(lister.exitCode(), 0);
    }
    EXPECT_EQ(readAll(record), "0 1 2\n" + work_ + "\n");

    // Its whole environment is what it was given; its arguments arrive as given.
    testsupport::CwdGuard cwd(work_);
    ChildProcess env(script("env.sh", "printf '%s|' \"$@\"; env | sort\n"), {"/script=a b.txt"},
                     {"PATH=/usr/bin:/bin", "ONLY=this"});
    ASSERT_TRUE(waitEnded(env));
    EXPECT_EQ(env.output(), "/script=a b.txt|ONLY=this\nPATH=/usr/bin:/bin\nPWD=" + work_ + "\n");

    for (int fd : {file, pipeEnds[0], pipeEnds[1], socketEnds[0], socketEnds[1]}) ::close(fd);
}

TEST_F(ChildProcessTest, TellsHowItEndedAndWhatItWroteLast) {
    ChildProcess failing(script("fail.sh", "echo first; echo 'last line' >&2; exit 3\n"), {},
                         platform::clientEnvironment());
    ASSERT_TRUE(waitEnded(failing));
    EXPECT_FALSE(failing.signalled());
    EXPECT_EQ(failing.exitCode(), 3);
    EXPECT_EQ(failing.output(), "first\nlast line\n");
    EXPECT_EQ(failing.output(5), "line\n");

    ChildProcess silent(script("ok.sh", "exit 0\n"), {}, {});
    ASSERT_TRUE(waitEnded(silent));
    EXPECT_EQ(silent.exitCode(), 0);
    EXPECT_EQ(silent.output(), "");
}

// A client that hangs is stopped with whatever it started: nothing of it stays running.
TEST_F(ChildProcessTest, KillStopsTheChildAndWhatItStarted) {
    const std::string pidFile = dir_.file("grandchild.pid");
    ChildProcess hanging(script("hang.sh", "sleep 300 & echo $! > '" + pidFile + "'; wait\n"), {},
                         platform::clientEnvironment());
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (readAll(pidFile).empty() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const pid_t grandchild = std::stoi(readAll(pidFile));
    EXPECT_FALSE(hanging.ended());

    hanging.kill();
    EXPECT_TRUE(hanging.ended());
    EXPECT_TRUE(hanging.signalled());
    EXPECT_EQ(hanging.exitCode(), SIGKILL);
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        gone = ::kill(grandchild, 0) != 0;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << "the client's own child is still running";
}

TEST_F(ChildProcessTest, AProgramThatCannotStartThrowsWithTheSystemsReason) {
    const std::string notAProgram = dir_.file("broken.com");
    std::ofstream(notAProgram) << "not a program\n";
    fs::permissions(notAProgram, fs::perms::owner_all);
    for (const std::string& program : {dir_.file("absent.com"), notAProgram}) {
        SCOPED_TRACE(program);
        try {
            ChildProcess p(program, {}, {});
            ADD_FAILURE() << "started";
        } catch (const std::system_error& e) {
            EXPECT_NE(std::string(e.what()).find(program), std::string::npos) << e.what();
        }
    }
}

}  // namespace
