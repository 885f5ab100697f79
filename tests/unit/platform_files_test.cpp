// The files of the folder of flat files as the platform layer opens, lists, writes and removes
// them, the same cases on Linux and Windows: names with every character of the code page,
// the flat-file search, a file another process holds, and names taken by what is no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/text.h"
#include "import/import_run.h"
#include "platform/env.h"
#include "platform/exclusive_file.h"
#include "platform/file_names.h"
#include "platform/output_file.h"
#include "platform/private_files.h"
#include "tests/support/helper_process.h"
#include "tests/support/last_error.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using platform::ExclusiveFile;
using platform::OutputFile;

// The file system's name of a UTF-8 text, as the system's own tools would write it.
fs::path utf8Name(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

void touch(const std::string& path) {
    OutputFile f;
    ASSERT_EQ(f.createNew(path), OutputFile::Opened::Yes) << path << ": " << f.error().message();
    ASSERT_TRUE(f.write("x"));
}

// A symbolic link, where this system lets the test make one (Windows asks for a privilege or
// the developer mode; wine 8 only pretends to make one).
bool makeLink(const std::string& target, const std::string& link, bool folder) {
#ifdef _WIN32
    const fs::path name = platform::nativePath(link);
    CreateSymbolicLinkW(
        name.c_str(), platform::nativePath(target).c_str(),
        (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    (void)folder;
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    return !ec;
#endif
}

// Every character Windows allows in a name (the rest cannot be a name on Windows).
std::vector<std::string> nameCharacters() {
    std::vector<std::string> out;
    for (int b = 0x20; b <= 0xFF; ++b)
        if (std::string_view("\"*/:<>?\\|").find(char(b)) == std::string_view::npos)
            out.push_back(std::string(1, char(b)));
    return out;
}

TEST(FileNames, EveryByteOfTheCodePageIsOneCharacterBothWays) {
    for (int b = 1; b <= 0xFF; ++b) {
        const std::string text(1, char(b));
        SCOPED_TRACE(b);
        // The system's conversion (Windows) and the program's own (core) agree.
        EXPECT_EQ(platform::nativePath(text), utf8Name(core::cp1252ToUtf8(text)));
        EXPECT_EQ(platform::programText(platform::nativePath(text)), text);
        EXPECT_EQ(platform::displayText(platform::nativePath(text)), text);
    }
}

TEST(FileNames, EveryCharacterOfTheCodePageNamesOneFileAndComesBackListed) {
    testsupport::TempDir dir;
    std::vector<std::string> names;
    // Each name told apart by its byte in hexadecimal too: Windows takes "a" and "A" (and "\xe0"
    // and "\xc0") for one name.
    for (const std::string& c : nameCharacters()) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", unsigned(static_cast<unsigned char>(c[0])));
        names.push_back("n" + std::string(hex) + c + ".txt");
    }
    for (const std::string& name : names) touch(dir.path() + "/" + name);
    std::vector<std::string> listed = platform::regularFilesIn(dir.path());
    std::sort(listed.begin(), listed.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(listed, names);
    for (const std::string& name : names) {
        ExclusiveFile f;
        EXPECT_TRUE(f.open(dir.path() + "/" + name)) << name << ": " << testsupport::lastError();
        EXPECT_EQ(f.readAll(), "x") << name;
    }
}

TEST(FileNames, ANameWithoutAWindows1252FormIsNeverTakenForAnother) {
    testsupport::TempDir dir;
    std::ofstream(platform::nativePath(dir.path()) / utf8Name("[RDE_\xce\xa9_20240131.txt")) << "x";
    const importer::FlatFiles found =
        importer::findFlatFiles(platform::Env::system(), dir.path() + "/");
    EXPECT_TRUE(found.names.empty());
    EXPECT_EQ(found.unnamed, std::vector<std::string>{"[RDE_?_20240131.txt"});
    EXPECT_EQ(platform::programText(utf8Name("\xc5\x82")), std::nullopt);
}

TEST(FlatFileSearch, TheBracketIsAnOrdinaryCharacterAndCaseDoesNotCount) {
    struct Entry {
        const char* name;  // a path text of the program
        bool folder;
    } const entries[] = {
        {"[RDE_12_20240131.txt", false},
        {"[rde_13_20240131.TXT", false},
        {"[RDE_Facturaci\xf3n_20240131.txt", false},
        {"[RDE.txt", false},
        {"[RDE_14_20240131.txt.bak", false},
        {"RDE_15_20240131.txt", false},
        {"R_16_20240131.txt", false},
        {"[[RDE_17_20240131.txt", false},
        {"x[RDE_18_20240131.txt", false},
        {"[RDE_19_20240131.tx", false},
        {"[RDE_20_carpeta.txt", true},
    };
    testsupport::TempDir dir;
    for (const Entry& e : entries) {
        const std::string path = dir.path() + "/" + e.name;
        if (e.folder)
            fs::create_directory(platform::nativePath(path));
        else
            touch(path);
    }
    const importer::FlatFiles found =
        importer::findFlatFiles(platform::Env::system(), dir.path() + "/");
    EXPECT_EQ(found.names, (std::vector<std::string>{"[RDE.txt", "[RDE_12_20240131.txt",
                                                     "[RDE_Facturaci\xf3n_20240131.txt",
                                                     "[rde_13_20240131.TXT"}));
    EXPECT_EQ(found.notFiles, std::vector<std::string>{"[RDE_20_carpeta.txt"});
    EXPECT_TRUE(found.unnamed.empty());
}

TEST(ExclusiveFile, AFileAnotherProcessHoldsIsNotOpenableUntilItLetsGo) {
    testsupport::TempDir dir;
    const std::string path = dir.file("[RDE_12_20240131.txt");
    touch(path);
    testsupport::HeldByHelper other({"hold", path, dir.file("ready")}, dir.file("ready"));
    ExclusiveFile f;
    EXPECT_FALSE(f.open(path));
    EXPECT_FALSE(f.openShared(path));
    other.kill();
    EXPECT_TRUE(f.open(path)) << testsupport::lastError();
}

TEST(ExclusiveFile, AFileItHoldsNoOtherProcessOpens) {
    testsupport::TempDir dir;
    const std::string path = dir.file("[RDE_12_20240131.txt");
    touch(path);
    {
        ExclusiveFile f;
        ASSERT_TRUE(f.open(path)) << testsupport::lastError();
        EXPECT_EQ(testsupport::helperExit({"open", path}), 1);
    }
    EXPECT_EQ(testsupport::helperExit({"open", path}), 0);
}

TEST(ExclusiveFile, RemovesTheFileItReadReadOnlyOrNot) {
    for (const bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only" : "writable");
        testsupport::TempDir dir;
        const std::string path = dir.file("[RDE_12_20240131.txt");
        touch(path);
        if (readOnly) fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
        ExclusiveFile f;
        ASSERT_TRUE(f.open(path)) << testsupport::lastError();
        EXPECT_EQ(f.removeIfUnchanged(path), ExclusiveFile::Removal::Removed)
            << testsupport::lastError();
        f.close();
        EXPECT_FALSE(fs::exists(path));
        EXPECT_TRUE(platform::regularFilesIn(dir.path()).empty());
    }
}

// The time of its last write, which --settle compares with now: the system's clock, not another
// epoch (Windows counts from 1601).
TEST(ExclusiveFile, TellsWhenTheFileWasLastWritten) {
    testsupport::TempDir dir;
    const std::string path = dir.file("[RDE_12_20240131.txt");
    const auto before = std::chrono::system_clock::now();
    touch(path);
    ExclusiveFile f;
    ASSERT_TRUE(f.open(path)) << testsupport::lastError();
    const auto age = std::chrono::system_clock::now() - f.modified();
    EXPECT_GT(f.modified(), before - std::chrono::seconds(5));
    EXPECT_LT(age, std::chrono::seconds(60));
}

TEST(OutputFile, RefusesWhatIsNoRegularFileAndNeverWritesOverAFile) {
    using O = OutputFile::Opened;
    enum class Kind { Nothing, File, Folder, LinkToFile, LinkToFolder, Device, Fifo };
    struct Case {
        const char* what;
        Kind kind;
        O createNew, appendTo;
    } const cases[] = {
        {"nothing", Kind::Nothing, O::Yes, O::Yes},
        {"a regular file", Kind::File, O::Exists, O::Yes},
        {"a folder", Kind::Folder, O::Exists, O::NotAFile},
        {"a link to a file", Kind::LinkToFile, O::Exists, O::NotAFile},
        {"a link to a folder", Kind::LinkToFolder, O::Exists, O::NotAFile},
        {"a device", Kind::Device, O::Exists, O::NotAFile},
#ifndef _WIN32
        {"a FIFO without a reader", Kind::Fifo, O::Exists, O::NotAFile},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        touch(dir.file("target.txt"));
        fs::create_directory(dir.file("target"));
        std::string path = dir.file("erroresimp.txt");
        switch (c.kind) {
            case Kind::Nothing:
                break;
            case Kind::File:
                touch(path);
                break;
            case Kind::Folder:
                fs::create_directory(path);
                break;
            case Kind::LinkToFile:
            case Kind::LinkToFolder: {
                const bool folder = c.kind == Kind::LinkToFolder;
                if (!makeLink(dir.file(folder ? "target" : "target.txt"), path, folder)) {
                    std::cout << "[ SKIPPED  ] " << c.what << ": this system makes no link\n";
                    continue;
                }
                break;
            }
            case Kind::Device:
#ifdef _WIN32
                path = dir.file("NUL");  // the device, in every folder
#else
                path = "/dev/null";
#endif
                break;
            case Kind::Fifo:
#ifndef _WIN32
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
#endif
                break;
        }
        OutputFile f;
        EXPECT_EQ(f.createNew(path), c.createNew);
        f.close();
        EXPECT_EQ(f.appendTo(path), c.appendTo);
        if (c.appendTo == O::Yes) {
            EXPECT_TRUE(f.write("y"));
        }
        f.close();
        // What was there is as it was; a file that was appended to has the line more.
        if (c.kind == Kind::File) {
            EXPECT_EQ(testsupport::readFile(path), "xy");
        } else if (c.kind == Kind::LinkToFile) {
            EXPECT_EQ(testsupport::readFile(dir.file("target.txt")), "x");
        } else if (c.kind == Kind::Folder) {
            EXPECT_TRUE(fs::is_directory(path));
        }
    }
}

TEST(PrivateFiles, MadeOnceWrittenWholeAndReplacedWhole) {
    testsupport::TempDir dir;
    const std::string script = dir.file("borrar-1-1.txt");
    EXPECT_TRUE(platform::createPrivateFile(script, "open\r\nrm [[]RDE.txt\r\nexit\r\n"));
    EXPECT_FALSE(platform::createPrivateFile(script, "other"));
    EXPECT_EQ(testsupport::readFile(script), "open\r\nrm [[]RDE.txt\r\nexit\r\n");

    const std::string queue = dir.file("borrados-pendientes");
    platform::makePrivateFolder(queue);
    platform::makePrivateFolder(queue);                                    // there already: fine
    EXPECT_THROW(platform::makePrivateFolder(script), std::system_error);  // a file's name
    platform::writeFileDurably(queue, "[RDE_12.txt", "first");
    platform::writeFileDurably(queue, "[RDE_12.txt", "second");
    EXPECT_EQ(platform::regularFilesIn(queue), std::vector<std::string>{"[RDE_12.txt"});
    EXPECT_EQ(platform::readRegularFile(queue + "/[RDE_12.txt"), "second");
    EXPECT_TRUE(platform::removeFileDurably(queue, "[RDE_12.txt"));
    EXPECT_TRUE(platform::removeFileDurably(queue, "[RDE_12.txt"));  // gone already
    EXPECT_TRUE(platform::regularFilesIn(queue).empty());
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(::stat(script.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(queue.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
#endif
}

}  // namespace
