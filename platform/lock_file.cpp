#include "platform/lock_file.h"

#include <sstream>

#include "platform/file_names.h"
#include "platform/private_files.h"
#include "platform/system.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace platform {

LockFile::~LockFile() {
    unlock();
}

namespace {

// "<pid> <host> <seconds since 1970>", a line.
std::string holderText() {
    const auto since = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    std::string host = hostName();
    for (char& c : host)
        if (c == ' ' || static_cast<unsigned char>(c) < 0x20) c = '_';
    return std::to_string(currentProcessId()) + " " + (host.empty() ? "?" : host) + " " +
           std::to_string(since.count()) + "\n";
}

}  // namespace

std::optional<LockFile::Holder> LockFile::holder(const std::string& path) {
    const std::optional<std::string> text = readRegularFile(path, 1024);
    if (!text) return std::nullopt;
    std::istringstream in(*text);
    Holder h;
    long long seconds = 0;
    if (!(in >> h.pid >> h.host >> seconds) || h.pid <= 0) return std::nullopt;
    h.since = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
    return h;
}

#ifdef _WIN32

LockFile::Result LockFile::lock(const std::string& path) {
    unlock();
    const std::wstring name = nativePath(path).wstring();
    for (int attempt = 0;; ++attempt) {
        // A folder or a link of that name is no lock file. Looked at before the open: closing a
        // handle opened to be deleted on close would delete the link.
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            return Result::NotAFile;
        // Shared with readers only (who learn who holds it), so a second holder's open fails
        // until this handle is closed, which also removes the file, however this process ends.
        HANDLE h = CreateFileW(
            name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
            OPEN_ALWAYS,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
            nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_SHARING_VIOLATION) return Result::Busy;
            // Refused also while the file of a holder that just let go is still being deleted
            // (a reader of it holds it a moment longer): tried again a few times.
            if (error == ERROR_ACCESS_DENIED && attempt < 8) {
                Sleep(10);
                continue;
            }
            return Result::Unavailable;
        }
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
            CloseHandle(h);
            return Result::NotAFile;
        }
        const std::string words = holderText();
        DWORD written = 0;
        SetEndOfFile(h);
        WriteFile(h, words.data(), DWORD(words.size()), &written, nullptr);
        handle_ = h;
        path_ = path;
        return Result::Locked;
    }
}

void LockFile::unlock() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

bool LockFile::locked() const {
    return handle_ != nullptr;
}

#else

LockFile::Result LockFile::lock(const std::string& path) {
    unlock();
    const std::filesystem::path name = nativePath(path);
    for (int attempt = 0; attempt < 8; ++attempt) {
        // Made anew when missing (its owner writes who holds it); an existing file, which
        // another user may have made, is opened for writing where allowed, or else for reading,
        // which is enough for flock. Never through a link, never waiting on a FIFO. The
        // descriptor is closed on exec, so no started program keeps the lock alive.
        const int common = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        bool made = true;
        int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | common, 0644);
        if (fd < 0 && errno == EEXIST) {
            made = false;
            fd = ::open(name.c_str(), O_RDWR | common);
            if (fd < 0 && errno == EACCES) fd = ::open(name.c_str(), O_RDONLY | common);
            if (fd < 0 && errno == ENOENT) continue;  // its holder removed it in between
        }
        if (fd < 0)
            return errno == ELOOP || errno == ENXIO || errno == EISDIR ? Result::NotAFile
                                                                       : Result::Unavailable;
        struct stat held;
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            return Result::NotAFile;
        }
        // Readable by the other users that may run the import, whatever the umask: only the
        // file just made here, never one that was there.
        if (made) ::fchmod(fd, 0644);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return error == EWOULDBLOCK ? Result::Busy : Result::Unavailable;
        }
        // The holder before may have removed the file between our open and our lock: the lock
        // is then on a file that no longer has the name, and another process may lock a new
        // one. Only a lock on the file the name still shows counts.
        struct stat named;
        if (::fstat(fd, &held) == 0 && ::lstat(name.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            fd_ = fd;
            path_ = path;
            // Who holds it; a file of another user that we may only read keeps its old words.
            const std::string words = holderText();
            if (::ftruncate(fd, 0) == 0) {
                [[maybe_unused]] const ssize_t n = ::pwrite(fd, words.data(), words.size(), 0);
            }
            return Result::Locked;
        }
        ::close(fd);
    }
    return Result::Busy;
}

void LockFile::unlock() {
    if (fd_ < 0) return;
    ::unlink(nativePath(path_).c_str());  // while still held: nobody locks it on its way out
    ::close(fd_);                         // closing drops the lock
    fd_ = -1;
}

bool LockFile::locked() const {
    return fd_ >= 0;
}

#endif

}  // namespace platform
