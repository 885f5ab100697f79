#pragma once
// A file held as the database engine leaves its files: open (and locked, so that a run cannot
// take it) in a descriptor or handle that programs started from this one would inherit,
// unless the start keeps them from it.
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace testsupport {

class InheritableFile {
  public:
    explicit InheritableFile(const std::string& path) {
#ifdef _WIN32
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        handle_ = CreateFileW(std::filesystem::path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              &inheritable, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) error_ = GetLastError();
#else
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
        if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) error_ = errno;
#endif
    }
    ~InheritableFile() {
        close();
    }
    InheritableFile(const InheritableFile&) = delete;
    InheritableFile& operator=(const InheritableFile&) = delete;

    // The system's error code when the file could not be opened and locked, else 0.
    unsigned long error() const {
        return error_;
    }
    // The handle's value, as a child that inherited it would find it.
    unsigned long long value() const {
#ifdef _WIN32
        return reinterpret_cast<unsigned long long>(handle_);
#else
        return static_cast<unsigned long long>(fd_);
#endif
    }
    void close() {
#ifdef _WIN32
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
#else
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
#endif
    }

  private:
    unsigned long error_ = 0;
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
};

}  // namespace testsupport
