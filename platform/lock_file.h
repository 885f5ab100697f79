#pragma once
// An exclusive lock held through a file, for one process at a time: the operating system
// drops it when its holder closes it or ends, however it ends, so a run that died never
// blocks the next one. The holder removes the file when it lets go; one left by a holder
// that died is taken over by the next. The file tells who holds the lock: its process id, its
// host and when it took the lock. It is never opened through a symbolic link, and never
// written or changed but when this program made it.
#include <chrono>
#include <optional>
#include <string>

namespace platform {

class LockFile {
  public:
    enum class Result {
        Locked,       // this object holds the lock now
        Busy,         // another process (or another object of this one) holds it
        Unavailable,  // the file can be neither opened nor created (a folder without write access)
        NotAFile,     // a link, a folder, a FIFO or a device has the file's name
    };

    // Who holds a lock, as its file tells.
    struct Holder {
        long pid = 0;
        std::string host;
        std::chrono::system_clock::time_point since;
    };

    LockFile() = default;
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Creates `path` when missing, then takes the lock without waiting for it and writes this
    // process's id, host and the time into the file. A lock already held by this object is
    // dropped first.
    Result lock(const std::string& path);
    // Who holds the lock of `path` now, as its file tells; nothing when it does not tell (no
    // such file, a file of an older version, or one that is not readable).
    static std::optional<Holder> holder(const std::string& path);
    // Removes the file and drops the lock.
    void unlock();
    bool locked() const;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

}  // namespace platform
