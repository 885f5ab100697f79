#include "platform/output_file.h"

#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/file_names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

OutputFile::~OutputFile() {
    close();
}

#ifdef _WIN32

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

namespace {

OutputFile::Opened openHandle(const std::string& path, DWORD disposition, DWORD access,
                              void*& handle, std::error_code& error) {
    const std::wstring name = nativePath(path).wstring();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return disposition == CREATE_NEW ? OutputFile::Opened::Exists
                                         : OutputFile::Opened::NotAFile;
    HANDLE h = CreateFileW(name.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        error.assign(int(code), std::system_category());
        return code == ERROR_FILE_EXISTS ? OutputFile::Opened::Exists
                                         : OutputFile::Opened::Unavailable;
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        // A device of that name (NUL, CON, COM1 are in every folder): a name that is taken.
        CloseHandle(h);
        return disposition == CREATE_NEW ? OutputFile::Opened::Exists
                                         : OutputFile::Opened::NotAFile;
    }
    handle = h;
    return OutputFile::Opened::Yes;
}

}  // namespace

OutputFile::Opened OutputFile::createNew(const std::string& path) {
    close();
    return openHandle(path, CREATE_NEW, GENERIC_WRITE, handle_, error_);
}

OutputFile::Opened OutputFile::appendTo(const std::string& path) {
    close();
    return openHandle(path, OPEN_ALWAYS, FILE_APPEND_DATA, handle_, error_);
}

bool OutputFile::write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(static_cast<HANDLE>(handle_), bytes.data() + done,
                       DWORD(bytes.size() - done), &n, nullptr)) {
            error_.assign(int(GetLastError()), std::system_category());
            return false;
        }
        done += n;
    }
    return true;
}

bool OutputFile::isOpen() const {
    return handle_ != nullptr;
}

void OutputFile::close() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

#else

OutputFile::OutputFile(OutputFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

namespace {

// Not following a link, and not waiting: opening a FIFO for writing would wait for a reader.
OutputFile::Opened openDescriptor(const std::string& path, int flags, int& fd,
                                  std::error_code& error) {
    const int opened = ::open(nativePath(path).c_str(),
                              flags | O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0640);
    if (opened < 0) {
        error.assign(errno, std::system_category());
        switch (errno) {
            case EEXIST:
                return OutputFile::Opened::Exists;
            case ELOOP:
            case EISDIR:
            case ENXIO:  // a FIFO without a reader
            case ENODEV:
                return OutputFile::Opened::NotAFile;
            default:
                return OutputFile::Opened::Unavailable;
        }
    }
    struct stat st {};
    if (::fstat(opened, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(opened);
        return OutputFile::Opened::NotAFile;
    }
    // Writes to a regular file do not wait anyway; a later write must not come back short.
    ::fcntl(opened, F_SETFL, ::fcntl(opened, F_GETFL) & ~O_NONBLOCK);
    fd = opened;
    return OutputFile::Opened::Yes;
}

}  // namespace

OutputFile::Opened OutputFile::createNew(const std::string& path) {
    close();
    return openDescriptor(path, O_CREAT | O_EXCL, fd_, error_);
}

OutputFile::Opened OutputFile::appendTo(const std::string& path) {
    close();
    return openDescriptor(path, O_CREAT | O_APPEND, fd_, error_);
}

bool OutputFile::write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_.assign(n < 0 ? errno : ENOSPC, std::system_category());
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool OutputFile::isOpen() const {
    return fd_ >= 0;
}

void OutputFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

#endif

}  // namespace platform
