#include "platform/lock_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
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
    // Opened without sharing: a second open fails until this handle is closed.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
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
    // Read access is enough for flock, so a file another user created can be locked too; the
    // descriptor is closed on exec, so no started program keeps the lock alive.
    int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return Result::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Result::Busy : Result::Unavailable;
    }
    fd_ = fd;
    path_ = path;
    return Result::Locked;
}

void LockFile::unlock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
    fd_ = -1;
}

bool LockFile::locked() const {
    return fd_ >= 0;
}

#endif

}  // namespace platform
