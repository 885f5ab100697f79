#include "platform/shared_library.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/file_names.h"
#include "platform/system.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>

#include <cerrno>
#endif

namespace platform {

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), path_(std::move(other.path_)) {}

SharedLibrary::~SharedLibrary() {
    release();
}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        release();
        handle_ = std::exchange(other.handle_, nullptr);
        path_ = std::move(other.path_);
    }
    return *this;
}

#ifdef _WIN32

namespace {

// The folders a library is looked for in, in their order: the program's own, then each
// absolute entry of PATH (a relative one, "." above all, would name the working directory).
std::vector<std::filesystem::path> libraryFolders() {
    std::vector<std::filesystem::path> folders;
    if (const std::string own = programDirectory(); !own.empty())
        folders.push_back(nativePath(own));
    const DWORD n = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (n == 0) return folders;
    std::wstring path(n, L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), n));
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(L';', start);
        if (end == std::wstring::npos) end = path.size();
        std::wstring entry = path.substr(start, end - start);
        // An entry may be quoted, as a folder holding a ';' must be.
        if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"')
            entry = entry.substr(1, entry.size() - 2);
        const std::filesystem::path folder(entry);
        if (!entry.empty() && folder.is_absolute()) folders.push_back(folder);
        start = end + 1;
    }
    return folders;
}

}  // namespace

SharedLibrary::SharedLibrary(const std::string& name) {
    DWORD reason = ERROR_MOD_NOT_FOUND;
    for (const std::filesystem::path& folder : libraryFolders()) {
        const std::filesystem::path file = folder / nativePath(name);
        if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        // By its whole path. The libraries it needs are looked for beside it, then in the
        // program's folder and the system's: neither the working directory nor PATH.
        HMODULE module =
            LoadLibraryExW(file.c_str(), nullptr,
                           LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (module) {
            handle_ = module;
            path_ = programText(file).value_or(name);
            return;
        }
        reason = GetLastError();  // there, but it cannot be loaded: a broken or 32-bit file
    }
    throw std::system_error(int(reason), std::system_category(), "cannot load " + name);
}

void SharedLibrary::release() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

void* SharedLibrary::function(const char* symbol) const {
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), symbol))
                   : nullptr;
}

#else

SharedLibrary::SharedLibrary(const std::string& name) {
    std::vector<std::string> tries;
    if (const std::string own = programDirectory(); !own.empty())
        tries.push_back(nativePath(own + "/" + name).string());
    tries.push_back(nativePath(name).string());
    std::string reason;
    for (const std::string& file : tries) {
        if (void* h = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            handle_ = h;
            path_ = programText(file).value_or(name);
            return;
        }
        if (const char* text = ::dlerror()) reason = text;
    }
    throw std::system_error(ENOENT, std::system_category(), "cannot load " + name + ": " + reason);
}

void SharedLibrary::release() {
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
}

void* SharedLibrary::function(const char* symbol) const {
    return handle_ ? ::dlsym(handle_, symbol) : nullptr;
}

#endif

}  // namespace platform
