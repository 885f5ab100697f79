// The start of the transfer client: found through PATH, started in the working directory, and
// holding none of the program's descriptors but standard input, output and error. The
// stand-in client is list_descriptors, which writes down what it was started with.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include "platform/system.h"
#include "tests/support/process_guards.h"
#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;

using testsupport::CwdGuard;
using testsupport::PathGuard;

// The record the client left in `path`, once both of its lines are there (at most 10 s).
std::string waitForRecord(const std::string& path) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        std::ifstream in(path, std::ios::binary);
        std::string text(std::istreambuf_iterator<char>(in), {});
        if (std::count(text.begin(), text.end(), '\n') >= 2 ||
            std::chrono::steady_clock::now() > until)
            return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

class StartDetachedTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("LIST_DESCRIPTORS_OUT");  // the record goes to the working directory
        fs::create_directories(bin_);
        fs::create_directories(work_);
        work_ = fs::canonical(work_).string();
        fs::create_symlink(BINARY_DIR "/list_descriptors", bin_ + "/winscp.com");
    }

    testsupport::TempDir dir_;
    std::string bin_ = dir_.file("bin"), work_ = dir_.file("work");
};

TEST_F(StartDetachedTest, TheClientInheritsOnlyStandardDescriptorsAndTheWorkingDirectory) {
    // A run without standard descriptors gets them, so that the ones opened below lie above 2.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", O_RDWR);
    // Descriptors as the database engine leaves them: inheritable.
    const int file = ::open((work_ + "/held.fdb").c_str(), O_RDWR | O_CREAT, 0600);
    int pipeEnds[2], socketEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, socketEnds), 0);
    ASSERT_GT(file, 2);

    {
        PathGuard path(bin_);
        CwdGuard cwd(work_);
        EXPECT_TRUE(platform::startDetached("winscp.com", {"/script=borrar.txt"}));
        // The intermediate process is reaped and the client is not a child of ours.
        const pid_t waited = ::waitpid(-1, nullptr, WNOHANG);
        EXPECT_TRUE(waited == -1 && errno == ECHILD) << waited;
    }
    EXPECT_EQ(waitForRecord(work_ + "/descriptors.txt"), "0 1 2\n" + work_ + "\n");

    for (int fd : {file, pipeEnds[0], pipeEnds[1], socketEnds[0], socketEnds[1]}) ::close(fd);
}

TEST_F(StartDetachedTest, FalseWhenTheProgramCannotBeStarted) {
    // An executable file that is no program: found on PATH, refused by the system.
    const std::string broken = bin_ + "/broken.com";
    std::ofstream(broken) << "not a program\n";
    fs::permissions(broken, fs::perms::owner_all);

    PathGuard path(bin_);
    CwdGuard cwd(work_);
    EXPECT_FALSE(platform::startDetached("absent-client.com", {"/script=borrar.txt"}));
    EXPECT_FALSE(platform::startDetached("broken.com", {}));
    EXPECT_FALSE(platform::startDetached(work_ + "/absent-client.com", {}));
    EXPECT_TRUE(platform::startDetached(bin_ + "/winscp.com", {}));  // a path is used as is
    EXPECT_EQ(waitForRecord(work_ + "/descriptors.txt"), "0 1 2\n" + work_ + "\n");
}

}  // namespace
