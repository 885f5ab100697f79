// The run lock: one holder at a time, across processes too, gone with its holder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "platform/lock_file.h"
#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;
using platform::LockFile;

TEST(LockFile, OneHolderAtATimeAndNothingLeftBehind) {
    testsupport::TempDir dir;
    const std::string path = dir.file("importarfac.lock");
    LockFile first, second;
    EXPECT_EQ(first.lock(path), LockFile::Result::Locked);
    EXPECT_EQ(second.lock(path), LockFile::Result::Busy);
    EXPECT_FALSE(second.locked());
    // The file tells who holds it.
    const std::optional<LockFile::Holder> holder = LockFile::holder(path);
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->pid, ::getpid());
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    EXPECT_EQ(holder->host, host);
    EXPECT_LT(std::chrono::system_clock::now() - holder->since, std::chrono::minutes(1));

    // Another process meets the same lock, and finds it free once this one lets go.
    auto otherProcess = [&] {
        const pid_t pid = ::fork();
        if (pid == 0) {
            LockFile theirs;
            ::_exit(static_cast<int>(theirs.lock(path)));
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return static_cast<LockFile::Result>(WEXITSTATUS(status));
    };
    EXPECT_EQ(otherProcess(), LockFile::Result::Busy);
    first.unlock();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(otherProcess(), LockFile::Result::Locked);  // it died holding it: free again
    EXPECT_EQ(second.lock(path), LockFile::Result::Locked);

    EXPECT_EQ(LockFile().lock(dir.file("no/such/folder/importarfac.lock")),
              LockFile::Result::Unavailable);
}

}  // namespace
