#include "platform/exclusive_file.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace platform {

ExclusiveFile::~ExclusiveFile() {
    close();
}

#ifdef _WIN32

ExclusiveFile::ExclusiveFile(ExclusiveFile&& o) noexcept : handle_(o.handle_) {
    o.handle_ = nullptr;
}

ExclusiveFile& ExclusiveFile::operator=(ExclusiveFile&& o) noexcept {
    if (this != &o) {
        close();
        handle_ = o.handle_;
        o.handle_ = nullptr;
    }
    return *this;
}

bool ExclusiveFile::open(const std::string& path) {
    close();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = h;
    return true;
}

void ExclusiveFile::close() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

bool ExclusiveFile::isOpen() const {
    return handle_ != nullptr;
}

int64_t ExclusiveFile::size() {
    LARGE_INTEGER s;
    if (!GetFileSizeEx(static_cast<HANDLE>(handle_), &s)) throw std::runtime_error("I/O error");
    return s.QuadPart;
}

size_t ExclusiveFile::read(char* buf, size_t n) {
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(handle_), buf, static_cast<DWORD>(n), &got, nullptr))
        throw std::runtime_error("I/O error reading file");
    return got;
}

#else

ExclusiveFile::ExclusiveFile(ExclusiveFile&& o) noexcept : fd_(o.fd_) {
    o.fd_ = -1;
}

ExclusiveFile& ExclusiveFile::operator=(ExclusiveFile&& o) noexcept {
    if (this != &o) {
        close();
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

bool ExclusiveFile::open(const std::string& path) {
    close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void ExclusiveFile::close() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
    fd_ = -1;
}

bool ExclusiveFile::isOpen() const {
    return fd_ >= 0;
}

int64_t ExclusiveFile::size() {
    struct stat st;
    if (fstat(fd_, &st) != 0) throw std::runtime_error(std::strerror(errno));
    return st.st_size;
}

size_t ExclusiveFile::read(char* buf, size_t n) {
    for (;;) {
        ssize_t r = ::read(fd_, buf, n);
        if (r >= 0) return static_cast<size_t>(r);
        if (errno != EINTR)
            throw std::runtime_error(std::string("I/O error: ") + std::strerror(errno));
    }
}

#endif

std::string ExclusiveFile::readAll() {
    std::string out;
    char buf[65536];
    for (size_t n; (n = read(buf, sizeof buf)) > 0;) out.append(buf, n);
    return out;
}

}  // namespace platform
