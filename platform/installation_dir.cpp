#include "platform/installation_dir.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include <filesystem>

#include "platform/file_names.h"
#else
#include <QFileInfo>
#include <QSettings>
#include <QStringEncoder>
#endif

namespace platform {

#ifdef _WIN32

namespace {

constexpr const wchar_t* kKey = L"Software\\Ostrel\\Quorvan2021";
constexpr const wchar_t* kValue = L"Directorio";

// The value's text; nullopt when the key has no such value.
std::optional<std::wstring> readText(HKEY key) {
    for (;;) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(key, kValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        // Either kind of text, taken as it stands: nothing in it is expanded.
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            throw std::runtime_error("Invalid data type for 'Directorio'");
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = DWORD(text.size() * sizeof(wchar_t));
        const LONG r = RegQueryValueExW(key, kValue, nullptr, &type,
                                        reinterpret_cast<BYTE*>(text.data()), &got);
        if (r == ERROR_MORE_DATA) continue;  // changed in between: once more
        if (r != ERROR_SUCCESS) return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            throw std::runtime_error("Invalid data type for 'Directorio'");
        // A text stored without its terminating zero, or with more than one, ends at the first.
        text.resize(got / sizeof(wchar_t));
        if (const size_t zero = text.find(L'\0'); zero != std::wstring::npos) text.resize(zero);
        return text;
    }
}

}  // namespace

std::optional<std::string> readInstallationDirectory() {
    // The 64-bit view first, where a 64-bit installer (or reg.exe) writes; then the 32-bit
    // view, where a 32-bit installer writes (Software\WOW6432Node), which a 64-bit program
    // does not see by default.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
            ERROR_SUCCESS &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
            ERROR_SUCCESS)
        return std::nullopt;
    struct Closer {
        HKEY k;
        ~Closer() { RegCloseKey(k); }
    } closer{key};
    const std::optional<std::wstring> text = readText(key);
    if (!text) return std::string();
    std::optional<std::string> directory = programText(std::filesystem::path(*text));
    if (!directory)
        throw std::runtime_error(
            "'Directorio' names a folder with characters that Windows-1252 lacks");
    return directory;
}

#else

std::optional<std::string> readInstallationDirectory() {
    QSettings settings(QSettings::NativeFormat, QSettings::SystemScope, "Ostrel", "Quorvan2021");
    if (!QFileInfo::exists(settings.fileName()) || settings.status() == QSettings::AccessError)
        return std::nullopt;
    QVariant v = settings.value("Directorio");
    if (!v.isValid()) return std::string();
    if (v.typeId() != QMetaType::QString)
        throw std::runtime_error("Invalid data type for 'Directorio'");
    QStringEncoder toCp1252("windows-1252");
    QByteArray bytes = toCp1252(v.toString());
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

#endif

}  // namespace platform
