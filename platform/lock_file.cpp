#include "platform/lock_file.h"

#include "platform/file_names.h"

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

#ifdef _WIN32

LockFile::Result LockFile::lock(const std::string& path) {
    unlock();
    // Opened without sharing: a second open fails until this handle is closed, which also
    // removes the file.
    HANDLE h = CreateFileW(nativePath(path).c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? Result::Busy : Result::Unavailable;
    handle_ = h;
    path_ = path;
    return Result::Locked;
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
        // Read access is enough for flock, so a file another user created can be locked too;
        // the descriptor is closed on exec, so no started program keeps the lock alive.
        int fd = ::open(name.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return Result::Unavailable;
        ::fchmod(fd, 0644);  // readable by other users whatever the umask (fails if not ours)
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return error == EWOULDBLOCK ? Result::Busy : Result::Unavailable;
        }
        // The holder before may have removed the file between our open and our lock: the lock
        // is then on a file that no longer has the name, and another process may lock a new
        // one. Only a lock on the file the name still shows counts.
        struct stat held, named;
        if (::fstat(fd, &held) == 0 && ::stat(name.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            fd_ = fd;
            path_ = path;
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
