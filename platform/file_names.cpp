#include "platform/file_names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "core/text.h"
#endif

namespace platform {

#ifdef _WIN32

namespace {

constexpr UINT kWindows1252 = 1252;

// Windows-1252 of UTF-16 `wide`; `lost` tells whether a character had no form there.
std::string toCp1252(const std::wstring& wide, bool& lost) {
    lost = false;
    if (wide.empty()) return {};
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(kWindows1252, WC_NO_BEST_FIT_CHARS, wide.data(),
                                      static_cast<int>(wide.size()), nullptr, 0, "?", &usedDefault);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(kWindows1252, WC_NO_BEST_FIT_CHARS, wide.data(),
                        static_cast<int>(wide.size()), out.data(), n, "?", &usedDefault);
    lost = usedDefault != FALSE;
    return out;
}

}  // namespace

std::filesystem::path nativePath(const std::string& path) {
    if (path.empty()) return {};
    const int n = MultiByteToWideChar(kWindows1252, 0, path.data(), static_cast<int>(path.size()),
                                      nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(kWindows1252, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                        n);
    return std::filesystem::path(wide);
}

std::optional<std::string> programText(const std::filesystem::path& name) {
    bool lost;
    std::string text = toCp1252(name.wstring(), lost);
    if (lost) return std::nullopt;
    return text;
}

std::string displayText(const std::filesystem::path& name) {
    bool lost;
    return toCp1252(name.wstring(), lost);
}

#else

std::filesystem::path nativePath(const std::string& path) {
    return std::filesystem::path(core::cp1252ToUtf8(path));
}

std::optional<std::string> programText(const std::filesystem::path& name) {
    return core::utf8ToCp1252Exact(name.native());
}

std::string displayText(const std::filesystem::path& name) {
    return core::utf8ToCp1252(name.native());
}

#endif

}  // namespace platform
