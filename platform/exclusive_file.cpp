#include "platform/exclusive_file.h"

#include <stdexcept>

#include "platform/file_names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdio.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#endif

namespace platform {

ExclusiveFile::~ExclusiveFile() {
    close();
}

#ifdef _WIN32

ExclusiveFile::ExclusiveFile(ExclusiveFile&& o) noexcept
    : opened_(o.opened_),
      handle_(o.handle_),
      canDelete_(o.canDelete_),
      attributesWritable_(o.attributesWritable_) {
    o.handle_ = nullptr;
}

ExclusiveFile& ExclusiveFile::operator=(ExclusiveFile&& o) noexcept {
    if (this != &o) {
        close();
        opened_ = o.opened_;
        handle_ = o.handle_;
        canDelete_ = o.canDelete_;
        attributesWritable_ = o.attributesWritable_;
        o.handle_ = nullptr;
    }
    return *this;
}

namespace {

// A regular file on a disk: no link (unless followed), folder, pipe or device.
bool regularFile(HANDLE h, bool followed) {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (followed || !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT));
}

}  // namespace

bool ExclusiveFile::open(const std::string& path, Links links) {
    close();
    const DWORD flags =
        FILE_ATTRIBUTE_NORMAL | (links == Links::DoNotFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    // With the right to delete it, so that it can be deleted while it is held, and to clear a
    // read-only attribute, which Windows would let keep it; a file whose access list refuses
    // these is still read, and deleted after it is closed. Never shared: a file another
    // program has open, for whatever access and with whatever sharing, is refused.
    const std::filesystem::path name = nativePath(path);
    const DWORD tries[] = {GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, GENERIC_READ | DELETE,
                           GENERIC_READ};
    HANDLE h = INVALID_HANDLE_VALUE;
    for (DWORD access : tries) {
        h = CreateFileW(name.c_str(), access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) {
            canDelete_ = access & DELETE;
            attributesWritable_ = access & FILE_WRITE_ATTRIBUTES;
            break;
        }
    }
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = h;
    if (!regularFile(h, links == Links::Follow) || !identity(opened_)) {
        close();
        return false;
    }
    return true;
}

bool ExclusiveFile::openShared(const std::string& path) {
    close();
    canDelete_ = false;
    attributesWritable_ = false;
    const std::filesystem::path name = nativePath(path);
    // Held by another program: not openable, as for open(). A reader that shares only reading
    // is refused by a writer (the point of sale still writing) and by an exclusive holder (a
    // run), and allowed beside other such readers (a check beside this one); it is closed at
    // once, so that a run beside this one is not kept from the file.
    HANDLE probe = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
    HANDLE h = CreateFileW(
        name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = h;
    if (!regularFile(h, false) || !identity(opened_)) {
        close();
        return false;
    }
    return true;
}

bool ExclusiveFile::identity(Identity& out) const {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(static_cast<HANDLE>(handle_), &info)) return false;
    out.device = info.dwVolumeSerialNumber;
    out.inode = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    out.size = (int64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    out.modified =
        (int64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    return true;
}

ExclusiveFile::Removal ExclusiveFile::removeIfUnchanged(const std::string& path) {
    // Held without sharing since it was opened: nobody else could write, rename or delete it.
    Identity now;
    if (!identity(now) || !(now == opened_)) return Removal::Changed;
    if (!canDelete_) {
        close();
        return DeleteFileW(nativePath(path).c_str()) ? Removal::Removed : Removal::NotRemoved;
    }
    // A read-only file cannot be deleted: its attribute is cleared first, and put back when
    // the deletion is refused all the same.
    HANDLE h = static_cast<HANDLE>(handle_);
    FILE_BASIC_INFO basic{};
    const bool readOnly = GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) &&
                          (basic.FileAttributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly) {
        if (!attributesWritable_) return Removal::NotRemoved;
        FILE_BASIC_INFO writable = basic;
        writable.FileAttributes &= ~DWORD(FILE_ATTRIBUTE_READONLY);
        if (writable.FileAttributes == 0) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        // Times of 0 leave them as they are.
        writable.CreationTime.QuadPart = writable.LastAccessTime.QuadPart = 0;
        writable.LastWriteTime.QuadPart = writable.ChangeTime.QuadPart = 0;
        if (!SetFileInformationByHandle(h, FileBasicInfo, &writable, sizeof writable))
            return Removal::NotRemoved;
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)) {
        if (readOnly) {
            FILE_BASIC_INFO back = basic;
            back.CreationTime.QuadPart = back.LastAccessTime.QuadPart = 0;
            back.LastWriteTime.QuadPart = back.ChangeTime.QuadPart = 0;
            SetFileInformationByHandle(h, FileBasicInfo, &back, sizeof back);
        }
        return Removal::NotRemoved;
    }
    return Removal::Removed;  // gone once the handle is closed
}

void ExclusiveFile::restoreSetAside(const std::string&) {
    // Nothing is ever set aside here: a held file is removed through its handle.
}

std::chrono::system_clock::time_point ExclusiveFile::modified() const {
    // 100 ns units since 1601; the system clock's epoch is 1970.
    constexpr int64_t k1601To1970 = 116444736000000000LL;
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds((opened_.modified - k1601To1970) * 100)));
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

ExclusiveFile::ExclusiveFile(ExclusiveFile&& o) noexcept : opened_(o.opened_), fd_(o.fd_) {
    o.fd_ = -1;
}

ExclusiveFile& ExclusiveFile::operator=(ExclusiveFile&& o) noexcept {
    if (this != &o) {
        close();
        opened_ = o.opened_;
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

namespace {

// Opened without waiting (a FIFO would wait for a writer) and, unless asked, without
// following a link; only a regular file is kept. -1 otherwise.
int openRegular(const std::string& path, bool follow) {
    const int fd = ::open(nativePath(path).c_str(),
                          O_RDONLY | O_CLOEXEC | O_NONBLOCK | (follow ? 0 : O_NOFOLLOW));
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

bool ExclusiveFile::open(const std::string& path, Links links) {
    close();
    const int fd = openRegular(path, links == Links::Follow);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    if (!identity(opened_)) {
        close();
        return false;
    }
    return true;
}

bool ExclusiveFile::openShared(const std::string& path) {
    close();
    const int fd = openRegular(path, false);
    if (fd < 0) return false;
    // Held by another program: not openable, as for open(). The shared lock that tells is
    // dropped at once, so that a run beside this one is not kept from its file.
    if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    flock(fd, LOCK_UN);
    fd_ = fd;
    if (!identity(opened_)) {
        close();
        return false;
    }
    return true;
}

bool ExclusiveFile::identity(Identity& out) const {
    struct stat st;
    if (fstat(fd_, &st) != 0) return false;
    out.device = st.st_dev;
    out.inode = st.st_ino;
    out.size = st.st_size;
    out.modified = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

ExclusiveFile::Removal ExclusiveFile::removeIfUnchanged(const std::string& path) {
    // The lock is advisory: a writer that does not ask for it may have appended, and the name
    // may have been given to another file. Either way the file stays for the next run.
    Identity now;
    if (!identity(now) || !(now == opened_)) return Removal::Changed;
    // Checking the name and then removing it would remove whatever took the name in between.
    // The rename moves the file the name shows at that moment; only the very file read is then
    // removed, any other goes back.
    const std::filesystem::path name = nativePath(path);
    const std::filesystem::path aside = nativePath(path + kSetAside);
    if (::rename(name.c_str(), aside.c_str()) != 0)
        return errno == ENOENT ? Removal::Changed : Removal::NotRemoved;
    struct stat moved;
    if (::lstat(aside.c_str(), &moved) != 0 || uint64_t(moved.st_dev) != opened_.device ||
        uint64_t(moved.st_ino) != opened_.inode) {
        ::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
        return Removal::Changed;
    }
    if (::remove(aside.c_str()) == 0) return Removal::Removed;
    ::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
    return Removal::NotRemoved;
}

void ExclusiveFile::restoreSetAside(const std::string& folder) {
    const std::string suffix = kSetAside;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(nativePath(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string aside = it->path().string();
        if (aside.size() <= suffix.size() ||
            aside.compare(aside.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string name = aside.substr(0, aside.size() - suffix.size());
        ::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
    }
}

std::chrono::system_clock::time_point ExclusiveFile::modified() const {
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(opened_.modified)));
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
