// Names with accents on Windows, where the system holds names in UTF-16 and its ANSI API
// converts them through the ANSI code page (1252 here, as on the ERP's Western machines): the
// file a program makes through either API is the file the program names, and the folder's
// search finds what the system's own search with the mask "[RDE*.txt" finds, of every
// attribute, with "[" an ordinary character.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "import/import_run.h"
#include "platform/env.h"
#include "platform/exclusive_file.h"
#include "platform/file_names.h"
#include "platform/output_file.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

const char* const kNames[] = {
    "[RDE_12_Facturaci\xf3n.txt",        // ó
    "[RDE_13_\x80\x8a\x9f\xe0\xff.txt",  // € Š Ÿ à ÿ: the euro and the others of 0x80..0x9F
    "[RDE_14_Ni\xf1o \xa7\xb5.txt",      // ñ, a blank, § µ
    "[RDE_15_[x]_%d.txt",
};

std::vector<std::string> ansiSearch(const std::string& mask) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(mask.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> wideSearch(const std::string& folder, const wchar_t* mask) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((platform::nativePath(folder) / mask).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(platform::displayText(fs::path(found.cFileName)));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(NamesOnWindows, TheAnsiCodePageHereIsTheProgramsOwn) {
    // The ANSI cases below are the program's own texts only where the code page is 1252.
    ASSERT_EQ(GetACP(), 1252u);
}

TEST(NamesOnWindows, AFileMadeThroughTheAnsiApiIsTheFileTheProgramNames) {
    testsupport::TempDir dir;
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        const std::string path = dir.path() + "\\" + name;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << "CreateFileA: error " << GetLastError();
        DWORD written = 0;
        WriteFile(h, "ansi", 4, &written, nullptr);
        CloseHandle(h);
        platform::ExclusiveFile f;
        ASSERT_TRUE(f.open(path)) << "error " << GetLastError();
        EXPECT_EQ(f.readAll(), "ansi");
    }
    std::vector<std::string> expected(std::begin(kNames), std::end(kNames));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(importer::findFlatFiles(platform::Env::system(), dir.path() + "\\").names, expected);
}

TEST(NamesOnWindows, AFileTheProgramMakesIsTheOneTheAnsiAndWideApisList) {
    testsupport::TempDir dir;
    std::vector<std::string> expected;
    for (const char* name : kNames) {
        platform::OutputFile f;
        ASSERT_EQ(f.createNew(dir.path() + "\\" + name), platform::OutputFile::Opened::Yes)
            << name << ": error " << f.error().value();
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ansiSearch(dir.path() + "\\*"), expected);
    EXPECT_EQ(wideSearch(dir.path(), L"*"), expected);
}

// The system's search with the mask, where "[" is no set and "*" may be empty, against the
// program's: the same files, hidden, system and read-only ones too, folders never.
TEST(NamesOnWindows, TheFolderSearchFindsWhatTheSystemsMaskFinds) {
    struct Entry {
        const char* name;
        DWORD attributes;  // 0: a folder
    } const entries[] = {
        {"[RDE_12_20240131.txt", FILE_ATTRIBUTE_NORMAL},
        {"[rde_13_20240131.TXT", FILE_ATTRIBUTE_NORMAL},
        {"[RDE_14_20240131.txt", FILE_ATTRIBUTE_HIDDEN},
        {"[RDE_15_20240131.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN},
        {"[RDE_16_20240131.txt", FILE_ATTRIBUTE_READONLY},
        {"[RDE_17_20240131.txt", FILE_ATTRIBUTE_ARCHIVE},
        {"[RDE.txt", FILE_ATTRIBUTE_NORMAL},
        {"[RDE_18_20240131.txt.bak", FILE_ATTRIBUTE_NORMAL},
        {"RDE_19_20240131.txt", FILE_ATTRIBUTE_NORMAL},
        {"R_20_20240131.txt", FILE_ATTRIBUTE_NORMAL},
        {"[[RDE_21_20240131.txt", FILE_ATTRIBUTE_NORMAL},
        {"[RDE_22_carpeta.txt", 0},
    };
    testsupport::TempDir dir;
    for (const Entry& e : entries) {
        const fs::path path = platform::nativePath(dir.path() + "\\" + e.name);
        if (e.attributes == 0) {
            ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "error " << GetLastError();
            continue;
        }
        HANDLE h =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, e.attributes, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << e.name << ": error " << GetLastError();
        CloseHandle(h);
    }
    const std::vector<std::string> system = wideSearch(dir.path(), L"[RDE*.txt");
    EXPECT_EQ(system,
              (std::vector<std::string>{"[RDE.txt", "[RDE_12_20240131.txt", "[RDE_14_20240131.txt",
                                        "[RDE_15_20240131.txt", "[RDE_16_20240131.txt",
                                        "[RDE_17_20240131.txt", "[rde_13_20240131.TXT"}));
    const importer::FlatFiles found =
        importer::findFlatFiles(platform::Env::system(), dir.path() + "\\");
    EXPECT_EQ(found.names, system);
    EXPECT_EQ(found.notFiles, std::vector<std::string>{"[RDE_22_carpeta.txt"});
    // The read-only file is read and removed as any other.
    const std::string readOnly = dir.path() + "\\[RDE_16_20240131.txt";
    platform::ExclusiveFile f;
    ASSERT_TRUE(f.open(readOnly)) << "error " << GetLastError();
    EXPECT_EQ(f.removeIfUnchanged(readOnly), platform::ExclusiveFile::Removal::Removed)
        << "error " << GetLastError();
}

}  // namespace
