#pragma once
// An exclusive lock held through a file, for one process at a time: the operating system
// drops it when its holder closes it or ends, however it ends, so a run that died never
// blocks the next one. The holder removes the file when it lets go; one left by a holder
// that died is taken over by the next.
#include <string>

namespace platform {

class LockFile {
  public:
    enum class Result {
        Locked,       // this object holds the lock now
        Busy,         // another process (or another object of this one) holds it
        Unavailable,  // the file can be neither opened nor created (a folder without write access)
    };

    LockFile() = default;
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Creates `path` when missing, then takes the lock without waiting for it. A lock already
    // held by this object is dropped first.
    Result lock(const std::string& path);
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
