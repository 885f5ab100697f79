#pragma once
// A file the program writes by name in a folder others may share (the error log beside the flat
// files, the report): never through a symbolic link, only when it is a regular file (a FIFO or
// a device of that name is refused at once, nothing waits for a reader), and written whole or
// reported. Closed on destruction.
#include <string>
#include <system_error>

namespace platform {

class OutputFile {
  public:
    enum class Opened {
        Yes,
        Exists,      // createNew: something has that name already
        NotAFile,    // a link, a folder, a FIFO or a device has that name
        Unavailable  // the system refused it (no such folder, no right to write)
    };

    OutputFile() = default;
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates `path` (a path text of the program), which must not exist yet, readable by its
    // owner and group.
    Opened createNew(const std::string& path);
    // Opens `path` for appending, creating it when missing.
    Opened appendTo(const std::string& path);

    // Writes every byte; false when the system refused (the disk full, an I/O error).
    bool write(const std::string& bytes);
    bool isOpen() const;
    void close();
    // Why the system refused the last open or write that failed (Unavailable, a failed write).
    const std::error_code& error() const { return error_; }

  private:
    std::error_code error_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

}  // namespace platform
