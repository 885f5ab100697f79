// A started transfer client on Linux: what it inherits (standard descriptors only, the working
// directory, exactly the environment it is given). The stand-in client list_descriptors writes
// down what it was started with. The cases of both systems are in child_process_test.cpp.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/child_process.h"
#include "tests/support/helper_process.h"
#include "tests/support/process_guards.h"
#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;
using platform::ChildProcess;
using testsupport::waitEnded;

class ChildProcessPosixTest : public ::testing::Test {
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

TEST_F(ChildProcessPosixTest, InheritsOnlyStandardDescriptorsTheWorkingDirectoryAndItsEnvironment) {
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
    EXPECT_EQ(testsupport::readFile(record), "0 1 2\n" + work_ + "\n");

    // Its whole environment is what it was given; its arguments arrive as given.
    testsupport::CwdGuard cwd(work_);
    ChildProcess env(script("env.sh", "printf '%s|' \"$@\"; env | sort\n"), {"/script=a b.txt"},
                     {"PATH=/usr/bin:/bin", "ONLY=this"});
    ASSERT_TRUE(waitEnded(env));
    EXPECT_EQ(env.output(), "/script=a b.txt|ONLY=this\nPATH=/usr/bin:/bin\nPWD=" + work_ + "\n");

    for (int fd : {file, pipeEnds[0], pipeEnds[1], socketEnds[0], socketEnds[1]}) ::close(fd);
}

}  // namespace
