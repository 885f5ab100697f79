// Libraries loaded while the program runs, as fbclient.dll is: from the program's folder or a
// folder of PATH, never from the working directory (which may be shared with others); and a
// missing Firebird client named in the message the person sees.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "fb/connection.h"
#include "fb/error.h"
#include "platform/shared_library.h"
#include "platform/system.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::SharedLibrary;

using Answer = int (*)();

const std::string kProbe = "library_probe.dll";

// PATH with `first` before it, for as long as it lives.
class PathFirst {
  public:
    explicit PathFirst(const std::wstring& first) {
        wchar_t old[32768];
        const DWORD n = GetEnvironmentVariableW(L"PATH", old, 32768);
        old_.assign(old, n);
        SetEnvironmentVariableW(L"PATH", (first + L";" + old_).c_str());
    }
    ~PathFirst() { SetEnvironmentVariableW(L"PATH", old_.c_str()); }

  private:
    std::wstring old_;
};

class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::string& dir) : old_(fs::current_path()) {
        fs::current_path(dir);
    }
    ~WorkingDirectory() { fs::current_path(old_); }

  private:
    fs::path old_;
};

std::string loadFailure(const std::string& name) {
    try {
        SharedLibrary library(name);
        return "loaded from " + library.path();
    } catch (const std::system_error& e) {
        return std::string(e.what()) + " [" + std::to_string(e.code().value()) + "]";
    }
}

TEST(SharedLibrary, FoundInTheProgramsFolder) {
    SharedLibrary library(kProbe);
    EXPECT_EQ(library.path(), platform::programDirectory() + "\\" + kProbe);
    const auto answer = reinterpret_cast<Answer>(library.function("library_probe_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(library.function("no_such_function"), nullptr);
}

TEST(SharedLibrary, FoundInAFolderOfThePathButNeverInTheWorkingDirectory) {
    testsupport::TempDir inPath, working;
    const fs::path probe = fs::path(platform::programDirectory()) / kProbe;
    fs::copy_file(probe, fs::path(inPath.path()) / "probe_in_path.dll");
    fs::copy_file(probe, fs::path(working.path()) / "probe_in_cwd.dll");
    WorkingDirectory cwd(working.path());
    // A relative entry, "." above all, names the working directory: it does not count.
    PathFirst path(L".;relative;" + fs::path(inPath.path()).wstring());

    SharedLibrary found("probe_in_path.dll");
    EXPECT_EQ(found.path(), inPath.path() + "\\probe_in_path.dll");
    EXPECT_EQ(reinterpret_cast<Answer>(found.function("library_probe_answer"))(), 42);
    EXPECT_EQ(loadFailure("probe_in_cwd.dll"),
              "cannot load probe_in_cwd.dll: " + std::system_category().message(126) + " [126]");
}

TEST(FirebirdClient, AMissingClientIsNamedInTheMessageOfTheConnection) {
    // Neither in the program's folder nor in PATH here.
    fb::Connection connection;
    connection.options().database = "servidor:C:/erp/datos/general.fdb";
    connection.options().user = "SYSDBA";
    try {
        connection.open();
        ADD_FAILURE() << "connected";
    } catch (const fb::ClientMissing& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The Firebird client fbclient.dll could not be loaded from the program's folder "
                  "or the folders of PATH (" +
                      std::system_category().message(126) +
                      ", error 126): install the Firebird 3 client");
    }
    EXPECT_FALSE(connection.connected());

    // A file of that name that is no Firebird client (here: the probe library, in PATH).
    testsupport::TempDir inPath;
    fs::copy_file(fs::path(platform::programDirectory()) / kProbe,
                  fs::path(inPath.path()) / "fbclient.dll");
    PathFirst path(fs::path(inPath.path()).wstring());
    try {
        connection.open();
        ADD_FAILURE() << "connected";
    } catch (const fb::ClientMissing& e) {
        EXPECT_EQ(std::string(e.what()), "The Firebird client " + inPath.path() +
                                             "\\fbclient.dll is not a Firebird 3 client: it "
                                             "lacks fb_get_master_interface");
    }
}

}  // namespace
