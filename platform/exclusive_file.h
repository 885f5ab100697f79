#pragma once
// A file opened for reading that no other program may open while it is held: on Windows
// opened without sharing; elsewhere with an exclusive non-blocking advisory lock, so a file
// that another process holds locked counts as not openable. Closed on destruction.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class ExclusiveFile {
  public:
    ExclusiveFile() = default;
    ~ExclusiveFile();
    ExclusiveFile(ExclusiveFile&& other) noexcept;
    ExclusiveFile& operator=(ExclusiveFile&& other) noexcept;
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    // Whether a symbolic link in the last place of the path is followed: never for a file of
    // the folder of flat files, which other people and programs write to.
    enum class Links { DoNotFollow, Follow };

    // False when the file cannot be opened, is held by another process, or is no regular file
    // (a link not to be followed, a folder, a FIFO or a device: nothing waits for a writer).
    // `path` is a path text of the program (platform/file_names.h).
    bool open(const std::string& path, Links links = Links::DoNotFollow);
    // Opens for reading without taking the file from anybody: for a look that must not keep
    // a program beside it from taking the file. False also when another program holds it or,
    // on Windows, writes it (the check takes and drops a shared lock, on Windows opens it
    // sharing only reading, at once; the file is then open sharing every access).
    bool openShared(const std::string& path);
    void close();
    bool isOpen() const;
    // The size in bytes (the position is left at the start).
    int64_t size();
    // Reads up to `n` bytes; 0 at the end of the file. A failure throws.
    size_t read(char* buf, size_t n);
    // Reads the whole file (for small files).
    std::string readAll();
    // When the file was last written to, as it was when opened.
    std::chrono::system_clock::time_point modified() const;

    enum class Removal {
        Removed,     // deleted
        NotRemoved,  // the same file, unchanged, but the system refused to delete it
        Changed,     // written to since it was opened, or `path` now names another file:
                     // left as it is
    };
    // Deletes the file while it is still held, only if `path` still names the file opened,
    // with the size and modification time it had when it was opened. The very file is checked
    // at the moment of its removal: on Windows it cannot be replaced while held; elsewhere it
    // is first renamed aside (to `path` + kSetAside) and checked there, and a file that is not
    // the one read goes back under its name. The file stays open.
    Removal removeIfUnchanged(const std::string& path);

    // What a file set aside for its removal is named after; one left by a run that was killed
    // between the two steps goes back under its name with restoreSetAside.
    static constexpr const char* kSetAside = ".importarfac-borrando";
    // Gives the files of `folder` that a run set aside and did not remove their names back,
    // unless a file has that name now. The next run reads them again (one that was imported
    // is found a duplicate).
    static void restoreSetAside(const std::string& folder);

  private:
    // What the file was when it was opened.
    struct Identity {
        uint64_t device = 0, inode = 0;
        int64_t size = 0;
        int64_t modified = 0;  // nanoseconds (POSIX) or 100 ns units (Windows)
        bool operator==(const Identity&) const = default;
    };
    bool identity(Identity& out) const;

    Identity opened_;
#ifdef _WIN32
    void* handle_ = nullptr;
    bool canDelete_ = false;           // opened with the right to delete it
    bool attributesWritable_ = false;  // and to clear its read-only attribute
#else
    int fd_ = -1;
#endif
};

}  // namespace platform
