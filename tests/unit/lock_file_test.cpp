// The run lock: one holder at a time, across processes too, gone with its holder; a name taken
// by something else is no lock. The same cases on Linux and Windows.
#include "platform/lock_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/system.h"
#include "tests/support/helper_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::LockFile;

TEST(LockFile, OneHolderAtATimeAcrossProcessesAndNothingLeftBehind) {
    testsupport::TempDir dir;
    const std::string path = dir.file("importarfac.lock");
    LockFile first, second;
    EXPECT_EQ(first.lock(path), LockFile::Result::Locked);
    EXPECT_EQ(second.lock(path), LockFile::Result::Busy);
    EXPECT_FALSE(second.locked());
    // The file tells who holds it, while it is held.
    std::optional<LockFile::Holder> holder = LockFile::holder(path);
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->pid, platform::currentProcessId());
    EXPECT_EQ(holder->host, platform::hostName());
    EXPECT_FALSE(holder->host.empty());
    EXPECT_LT(std::chrono::system_clock::now() - holder->since, std::chrono::minutes(1));

    // Another process meets the same lock.
    EXPECT_EQ(testsupport::helperExit({"lock", path, dir.file("ready")}),
              10 + int(LockFile::Result::Busy));
    first.unlock();
    EXPECT_FALSE(fs::exists(path));

    // Held by another process: busy here, and the file names that process.
    testsupport::HeldByHelper other({"lock", path, dir.file("ready")}, dir.file("ready"));
    EXPECT_EQ(second.lock(path), LockFile::Result::Busy);
    holder = LockFile::holder(path);
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->pid, other.pid());
    // It dies holding it: free again.
    other.kill();
    EXPECT_EQ(second.lock(path), LockFile::Result::Locked);

    EXPECT_EQ(LockFile().lock(dir.file("no/such/folder/importarfac.lock")),
              LockFile::Result::Unavailable);
}

TEST(LockFile, AFolderOfItsNameIsNoLockAndStays) {
    testsupport::TempDir dir;
    const std::string path = dir.file("importarfac.lock");
    fs::create_directory(path);
    LockFile lock;
    EXPECT_EQ(lock.lock(path), LockFile::Result::NotAFile);
    EXPECT_FALSE(lock.locked());
    EXPECT_TRUE(fs::is_directory(path));
}

}  // namespace
