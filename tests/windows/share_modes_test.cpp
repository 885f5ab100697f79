// A flat file and the other programs that open it, as Windows decides it by share modes: a
// file another program has open, whatever it asks and shares, is not the run's to read; a file
// the run holds no other program opens; the check reads beside readers only.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/exclusive_file.h"
#include "platform/output_file.h"
#include "tests/support/helper_process.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::ExclusiveFile;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Holder {
    const char* who;
    DWORD access, share;
    bool checkReadsBeside;  // ExclusiveFile::openShared opens the file while it is held so
} const kHolders[] = {
    {"a reader sharing nothing", GENERIC_READ, 0, false},
    {"a reader sharing reading", GENERIC_READ, FILE_SHARE_READ, true},
    {"a reader sharing everything", GENERIC_READ, kShareAll, true},
    {"the point of sale writing, sharing reading", GENERIC_WRITE, FILE_SHARE_READ, false},
    {"a writer sharing everything", GENERIC_WRITE, kShareAll, false},
    {"a reader and writer sharing everything", GENERIC_READ | GENERIC_WRITE, kShareAll, false},
    {"a program that may only delete it", DELETE, kShareAll, false},
};

std::string flatFile(const testsupport::TempDir& dir) {
    const std::string path = dir.file("[RDE_12_20240131.txt");
    platform::OutputFile f;
    EXPECT_EQ(f.createNew(path), platform::OutputFile::Opened::Yes);
    EXPECT_TRUE(f.write("x"));
    return path;
}

TEST(ShareModes, AFileAnotherProgramHasOpenIsNotTheRunsToRead) {
    for (const Holder& h : kHolders) {
        SCOPED_TRACE(h.who);
        testsupport::TempDir dir;
        const std::string path = flatFile(dir);
        testsupport::HeldByHelper other(
            {"winopen", path, std::to_string(h.access), std::to_string(h.share), dir.file("ready")},
            dir.file("ready"));
        ExclusiveFile f;
        EXPECT_FALSE(f.open(path));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << "error " << GetLastError();
        EXPECT_EQ(f.openShared(path), h.checkReadsBeside) << "error " << GetLastError();
        if (f.isOpen()) {
            EXPECT_EQ(f.readAll(), "x");
        }
        f.close();
        other.kill();
        EXPECT_TRUE(f.open(path)) << "error " << GetLastError();
    }
}

TEST(ShareModes, AFileTheRunHoldsNoOtherProgramOpens) {
    testsupport::TempDir dir;
    const std::string path = flatFile(dir);
    ExclusiveFile f;
    ASSERT_TRUE(f.open(path)) << "error " << GetLastError();
    for (const Holder& h : kHolders) {
        SCOPED_TRACE(h.who);
        // The helper's exit status is the error of its open.
        EXPECT_EQ(testsupport::helperExit({"winopen", path, std::to_string(h.access),
                                           std::to_string(h.share), dir.file("never")}),
                  ERROR_SHARING_VIOLATION);
    }
}

// A check reads a file beside other checks; a run that comes while it reads finds the file
// held (Windows has no reading that a later exclusive open ignores), and finds it free as soon
// as the check has read it.
TEST(ShareModes, TheChecksLookHoldsTheFileOnlyWhileItReads) {
    testsupport::TempDir dir;
    const std::string path = flatFile(dir);
    ExclusiveFile look;
    ASSERT_TRUE(look.openShared(path)) << "error " << GetLastError();
    ExclusiveFile second;
    EXPECT_TRUE(second.openShared(path)) << "error " << GetLastError();
    second.close();
    EXPECT_EQ(testsupport::helperExit({"open", path}), 1);
    look.close();
    EXPECT_EQ(testsupport::helperExit({"open", path}), 0);
}

}  // namespace
