// The installation directory from the registry, as the ERP's installers leave it: the value
// "Directorio" of HKEY_LOCAL_MACHINE\Software\Ostrel\Quorvan2021, in the 64-bit view or, from
// a 32-bit installer, the 32-bit one. Each case writes the entry itself and removes it again.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "platform/installation_dir.h"

namespace {

constexpr const wchar_t* kKey = L"Software\\Ostrel\\Quorvan2021";

void removeEntry() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY software = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view, &software) ==
            ERROR_SUCCESS) {
            RegDeleteTreeW(software, L"Ostrel");
            RegCloseKey(software);
        }
    }
}

// Writes the key in `view` and, unless `type` is REG_NONE, the value with these bytes.
void writeEntry(REGSAM view, DWORD type, const std::wstring& bytes) {
    HKEY key = nullptr;
    const LONG made = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                      KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    ASSERT_EQ(made, ERROR_SUCCESS) << "RegCreateKeyExW: error " << made;
    if (type != REG_NONE) {
        const LONG set =
            RegSetValueExW(key, L"Directorio", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           DWORD(bytes.size() * sizeof(wchar_t)));
        EXPECT_EQ(set, ERROR_SUCCESS) << "RegSetValueExW: error " << set;
    }
    RegCloseKey(key);
}

class InstallationDirectory : public ::testing::Test {
  protected:
    void SetUp() override { removeEntry(); }
    void TearDown() override { removeEntry(); }
};

TEST_F(InstallationDirectory, NoKeyIsNoEntry) {
    EXPECT_EQ(platform::readInstallationDirectory(), std::nullopt);
}

TEST_F(InstallationDirectory, TheValueAsTheProgramsText) {
    using namespace std::string_literals;
    struct Case {
        const char* what;
        REGSAM view;
        DWORD type;          // REG_NONE: the key without the value
        std::wstring bytes;  // as stored, terminating zeros included
        const char* expected;
    } const cases[] = {
        {"a plain folder", KEY_WOW64_64KEY, REG_SZ, L"C:\\Quorvan\0"s, "C:\\Quorvan"},
        {"a folder with accents", KEY_WOW64_64KEY, REG_SZ, L"D:\\Facturaci\u00f3n \u20ac\0"s,
         "D:\\Facturaci\xf3n \x80"},
        {"written by a 32-bit installer", KEY_WOW64_32KEY, REG_SZ, L"C:\\Quorvan32\0"s,
         "C:\\Quorvan32"},
        {"the key without the value", KEY_WOW64_64KEY, REG_NONE, L""s, ""},
        {"an empty text", KEY_WOW64_64KEY, REG_SZ, L""s, ""},
        {"stored without its terminating zero", KEY_WOW64_64KEY, REG_SZ, L"C:\\Sin"s, "C:\\Sin"},
        {"with bytes after its zero", KEY_WOW64_64KEY, REG_SZ, L"C:\\Q\0basura\0"s, "C:\\Q"},
        {"an expandable text, as it stands", KEY_WOW64_64KEY, REG_EXPAND_SZ,
         L"%ProgramFiles%\\Quorvan\0"s, "%ProgramFiles%\\Quorvan"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        removeEntry();
        writeEntry(c.view, c.type, c.bytes);
        EXPECT_EQ(platform::readInstallationDirectory(), std::optional<std::string>(c.expected));
    }
}

TEST_F(InstallationDirectory, AValueTheProgramCannotUseFailsWithItsReason) {
    struct Case {
        const char* what;
        DWORD type;
        std::wstring bytes;
        const char* message;
    } const cases[] = {
        {"a number", REG_DWORD, std::wstring(2, L'\x0001'), "Invalid data type for 'Directorio'"},
        {"a list of texts", REG_MULTI_SZ, std::wstring(L"C:\\a\0\0", 6),
         "Invalid data type for 'Directorio'"},
        {"a folder Windows-1252 cannot name", REG_SZ, std::wstring(L"C:\\\u03a9\0", 5),
         "'Directorio' names a folder with characters that Windows-1252 lacks"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        removeEntry();
        writeEntry(KEY_WOW64_64KEY, c.type, c.bytes);
        try {
            platform::readInstallationDirectory();
            ADD_FAILURE() << "read";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

}  // namespace
