#pragma once
// A file opened for reading that no other program may open while it is held: on Windows
// opened without sharing; elsewhere with an exclusive non-blocking advisory lock, so a file
// that another process holds locked counts as not openable. Closed on destruction.
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

    // False when the file cannot be opened or is held by another process.
    bool open(const std::string& path);
    void close();
    bool isOpen() const;
    // The size in bytes (the position is left at the start).
    int64_t size();
    // Reads up to `n` bytes; 0 at the end of the file. A failure throws.
    size_t read(char* buf, size_t n);
    // Reads the whole file (for small files).
    std::string readAll();

  private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// Holds an exclusive lock on a file for the lifetime of the object, as another program that
// is writing it would (used to test that such files are skipped).
class FileHolder {
  public:
    explicit FileHolder(const std::string& path) { file_.open(path); }
    bool holding() const { return file_.isOpen(); }

  private:
    ExclusiveFile file_;
};

}  // namespace platform
