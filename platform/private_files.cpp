#include "platform/private_files.h"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/file_names.h"

#ifdef _WIN32
#include <windows.h>

#include <sddl.h>

#include <memory>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

std::system_error failure(int error, const std::string& what) {
    return std::system_error(error, std::system_category(), what);
}

// A name for a new file of a folder that nobody else picks at the same moment; it starts with
// a dot, which no name the program reads back does.
std::string temporaryName() {
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const long pid = ::getpid();
#endif
    return ".nuevo-" + std::to_string(pid) + "-" + std::to_string(counter++);
}

}  // namespace

std::vector<std::string> regularFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(nativePath(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError) || it->is_symlink(typeError)) continue;
        if (std::optional<std::string> name = programText(it->path().filename()))
            names.push_back(std::move(*name));
    }
    return names;
}

#ifdef _WIN32

namespace {

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h != INVALID_HANDLE_VALUE; }
};

bool writeAll(HANDLE h, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(h, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr))
            return false;
        done += n;
    }
    return true;
}

// An access list that lets the user this process runs as, and nobody else, at the file: what the
// folder would hand down (often every user's right to read) is not taken. A folder's entry is
// handed down to what is made in it.
class OwnerOnly {
  public:
    explicit OwnerOnly(bool folder) {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            throw failure(int(GetLastError()), "cannot read this process's user");
        std::unique_ptr<void, decltype(&CloseHandle)> tokenCloser(token, &CloseHandle);
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::unique_ptr<char[]> user(new char[size]);
        wchar_t* sid = nullptr;
        if (!GetTokenInformation(token, TokenUser, user.get(), size, &size) ||
            !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid, &sid))
            throw failure(int(GetLastError()), "cannot read this process's user");
        // P: nothing inherited from the folder; FA: every right; OICI: handed down.
        const std::wstring text =
            std::wstring(L"D:P(A;") + (folder ? L"OICI" : L"") + L";FA;;;" + sid + L")";
        LocalFree(sid);
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                                  &descriptor_, nullptr))
            throw failure(int(GetLastError()), "cannot make an access list");
        attributes_.lpSecurityDescriptor = descriptor_;
    }
    ~OwnerOnly() { LocalFree(descriptor_); }
    OwnerOnly(const OwnerOnly&) = delete;
    OwnerOnly& operator=(const OwnerOnly&) = delete;

    SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

  private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

std::wstring joined(const std::string& folder, const std::string& name) {
    return nativePath(folder + "\\" + name).wstring();
}

}  // namespace

bool createPrivateFile(const std::string& path, const std::string& bytes) {
    const std::wstring name = nativePath(path).wstring();
    OwnerOnly owner(false);
    Handle f(CreateFileW(name.c_str(), GENERIC_WRITE, 0, owner.attributes(), CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!f.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return false;
        throw failure(int(error), "cannot create " + path);
    }
    if (!writeAll(f.h, bytes)) {
        const DWORD error = GetLastError();
        CloseHandle(f.h);
        f.h = INVALID_HANDLE_VALUE;
        DeleteFileW(name.c_str());
        throw failure(int(error), "cannot write " + path);
    }
    return true;
}

void makePrivateFolder(const std::string& folder) {
    const std::wstring name = nativePath(folder).wstring();
    OwnerOnly owner(true);
    if (CreateDirectoryW(name.c_str(), owner.attributes())) return;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (error != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        throw failure(int(error == ERROR_ALREADY_EXISTS ? ERROR_DIRECTORY : error),
                      "cannot make the folder " + folder);
}

void writeFileDurably(const std::string& folder, const std::string& name,
                      const std::string& bytes) {
    const std::wstring temporary = joined(folder, temporaryName());
    {
        OwnerOnly owner(false);
        Handle f(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, owner.attributes(), CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f.valid()) throw failure(int(GetLastError()), "cannot write in " + folder);
        if (!writeAll(f.h, bytes) || !FlushFileBuffers(f.h)) {
            const DWORD error = GetLastError();
            CloseHandle(f.h);
            f.h = INVALID_HANDLE_VALUE;
            DeleteFileW(temporary.c_str());
            throw failure(int(error), "cannot write in " + folder);
        }
    }
    if (!MoveFileExW(temporary.c_str(), joined(folder, name).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        throw failure(int(error), "cannot write " + name + " in " + folder);
    }
}

bool removeFileDurably(const std::string& folder, const std::string& name) {
    if (DeleteFileW(joined(folder, name).c_str())) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::optional<std::string> readRegularFile(const std::string& path, size_t limit) {
    const std::wstring name = nativePath(path).wstring();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return std::nullopt;
    // Shared with every access: a lock file is read while its holder has it open.
    Handle f(CreateFileW(name.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!f.valid() || GetFileType(f.h) != FILE_TYPE_DISK) return std::nullopt;
    std::string bytes;
    char block[4096];
    DWORD n = 0;
    while (bytes.size() < limit && ReadFile(f.h, block, sizeof block, &n, nullptr) && n > 0)
        bytes.append(block, n);
    if (bytes.size() > limit) bytes.resize(limit);
    return bytes;
}

bool readableByOthers(const std::string&) {
    return false;
}

#else

namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // close() reports a failure of a write the system had deferred.
    int close() {
        const int r = ::close(fd_);
        fd_ = -1;
        return r;
    }

  private:
    int fd_;
};

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        done += size_t(n);
    }
    return true;
}

Descriptor openFolder(const std::string& folder) {
    Descriptor dir(
        ::open(nativePath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0) throw failure(errno, "cannot open the folder " + folder);
    return dir;
}

}  // namespace

bool createPrivateFile(const std::string& path, const std::string& bytes) {
    const std::string name = nativePath(path).string();
    Descriptor f(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        S_IRUSR | S_IWUSR));
    if (f.get() < 0) {
        if (errno == EEXIST) return false;
        throw failure(errno, "cannot create " + path);
    }
    if (!writeAll(f.get(), bytes) || f.close() != 0) {
        const int error = errno;
        ::unlink(name.c_str());
        throw failure(error, "cannot write " + path);
    }
    return true;
}

void makePrivateFolder(const std::string& folder) {
    const std::string name = nativePath(folder).string();
    if (::mkdir(name.c_str(), S_IRWXU) == 0) return;
    const int error = errno;
    struct stat st {};
    if (error != EEXIST || ::lstat(name.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw failure(error == EEXIST ? ENOTDIR : error, "cannot make the folder " + folder);
}

void writeFileDurably(const std::string& folder, const std::string& name,
                      const std::string& bytes) {
    const Descriptor dir = openFolder(folder);
    const std::string temporary = temporaryName();
    {
        Descriptor f(::openat(dir.get(), temporary.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              S_IRUSR | S_IWUSR));
        if (f.get() < 0) throw failure(errno, "cannot write in " + folder);
        if (!writeAll(f.get(), bytes) || ::fsync(f.get()) != 0 || f.close() != 0) {
            const int error = errno;
            ::unlinkat(dir.get(), temporary.c_str(), 0);
            throw failure(error, "cannot write in " + folder);
        }
    }
    const std::string target = nativePath(name).string();
    if (::renameat(dir.get(), temporary.c_str(), dir.get(), target.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(dir.get(), temporary.c_str(), 0);
        throw failure(error, "cannot write " + name + " in " + folder);
    }
    // The new name is on the disk only once the folder is.
    if (::fsync(dir.get()) != 0) throw failure(errno, "cannot write " + name + " in " + folder);
}

bool removeFileDurably(const std::string& folder, const std::string& name) {
    try {
        const Descriptor dir = openFolder(folder);
        if (::unlinkat(dir.get(), nativePath(name).c_str(), 0) != 0 && errno != ENOENT)
            return false;
        ::fsync(dir.get());  // a removal that is lost only repeats a finished removal
        return true;
    } catch (const std::system_error& e) {
        return e.code() == std::errc::no_such_file_or_directory;
    }
}

std::optional<std::string> readRegularFile(const std::string& path, size_t limit) {
    // Not blocking: opening a FIFO for reading would wait for a writer.
    Descriptor f(::open(nativePath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (f.get() < 0 || ::fstat(f.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string bytes;
    char block[4096];
    while (bytes.size() < limit) {
        const ssize_t n = ::read(f.get(), block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        bytes.append(block, size_t(n));
    }
    if (bytes.size() > limit) bytes.resize(limit);
    return bytes;
}

bool readableByOthers(const std::string& path) {
    struct stat st {};
    return ::stat(nativePath(path).c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH));
}

#endif

}  // namespace platform
