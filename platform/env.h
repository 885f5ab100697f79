#pragma once
// Everything the program asks of the operating system, behind one interface: the folders and
// the files it lists, holds, writes and removes, the run lock, the transfer client it starts
// and watches, the clock, the pause, the machine it runs on. The run, the clean-up, the retries,
// the settings and the logs reach the system through an Env they are given; Env::system() is
// the real one (each concept's POSIX and Win32 sides live in its own file of platform/), and a
// test wraps it to fail, delay or kill at any call. Paths are path texts of the program
// (platform/file_names.h).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "core/date.h"
#include "platform/exclusive_file.h"
#include "platform/lock_file.h"
#include "platform/output_file.h"

namespace platform {

// A file opened for reading, held or only looked at (ExclusiveFile).
class HeldFile {
  public:
    virtual ~HeldFile() = default;
    virtual int64_t size() = 0;
    // Up to `n` bytes; 0 at the end. A failure throws.
    virtual size_t read(char* buf, size_t n) = 0;
    virtual std::string readAll() = 0;
    virtual std::chrono::system_clock::time_point modified() const = 0;
    virtual ExclusiveFile::Removal removeIfUnchanged(const std::string& path) = 0;
    virtual void close() = 0;
};

// A file written by name (OutputFile).
class WrittenFile {
  public:
    virtual ~WrittenFile() = default;
    virtual bool write(const std::string& bytes) = 0;
    // Why the last write that failed was refused.
    virtual std::error_code error() const = 0;
};

// A started program (ChildProcess).
class StartedProgram {
  public:
    virtual ~StartedProgram() = default;
    virtual bool ended() = 0;
    virtual void kill() = 0;
    virtual bool signalled() const = 0;
    virtual int exitCode() const = 0;
    virtual std::string output(size_t limit = 4096) const = 0;
};

// The run lock of a folder (LockFile).
class RunLock {
  public:
    virtual ~RunLock() = default;
    virtual LockFile::Result lock(const std::string& path) = 0;
    virtual void unlock() = 0;
    virtual bool locked() const = 0;
    virtual const std::string& path() const = 0;
};

// An entry of a folder, as listed.
struct FolderEntry {
    std::string name;  // the program's text of it; for one without (named false), shown with '?'
    bool named = true;
    bool regular = true;  // a regular file itself (no link, folder, FIFO or device)
};

class Env {
  public:
    virtual ~Env() = default;

    // The operating system itself.
    static Env& system();

    // ---- folders and files
    virtual std::vector<FolderEntry> listFolder(const std::string& folder) = 0;
    // Held against every other program (ExclusiveFile::open), or only looked at
    // (openShared). Null when it cannot be opened or is held by another program.
    virtual std::unique_ptr<HeldFile> holdFile(const std::string& path,
                                               ExclusiveFile::Links links) = 0;
    virtual std::unique_ptr<HeldFile> lookAtFile(const std::string& path) = 0;
    virtual void restoreSetAside(const std::string& folder) = 0;
    // OutputFile::createNew and appendTo; the file when Opened::Yes, else why in `error` when
    // Opened::Unavailable.
    virtual std::unique_ptr<WrittenFile> createFile(const std::string& path,
                                                    OutputFile::Opened& opened,
                                                    std::error_code& error) = 0;
    virtual std::unique_ptr<WrittenFile> appendToFile(const std::string& path,
                                                      OutputFile::Opened& opened,
                                                      std::error_code& error) = 0;
    // platform/private_files.h.
    virtual bool createPrivateFile(const std::string& path, const std::string& bytes) = 0;
    virtual void makePrivateFolder(const std::string& folder) = 0;
    virtual void writeFileDurably(const std::string& folder, const std::string& name,
                                  const std::string& bytes) = 0;
    virtual bool removeFileDurably(const std::string& folder, const std::string& name) = 0;
    virtual std::vector<std::string> regularFilesIn(const std::string& folder) = 0;
    virtual std::optional<std::string> readRegularFile(const std::string& path,
                                                       size_t limit = 64 * 1024) = 0;
    // Whether `path` names a regular file, through a link too.
    virtual bool regularFileExists(const std::string& path) = 0;
    virtual bool readableByOthers(const std::string& path) = 0;
    virtual std::unique_ptr<RunLock> runLock() = 0;
    virtual std::optional<LockFile::Holder> lockHolder(const std::string& path) = 0;

    // ---- programs
    // ChildProcess: throws std::system_error when the program cannot be started.
    virtual std::unique_ptr<StartedProgram> start(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  const std::vector<std::string>& environment) = 0;
    virtual std::vector<std::string> clientEnvironment() = 0;
    virtual std::string programDirectory() = 0;
    virtual long currentProcessId() = 0;
    virtual bool processRunning(long pid) = 0;
    virtual std::string hostName() = 0;
    // The environment variable `name` as the system holds it; nothing when unset.
    virtual std::optional<std::string> variable(const char* name) = 0;
    // The variable `name` that names a file or folder, as a path text of the program (read as
    // the system holds it: UTF-16 on Windows); nothing when unset or empty, "" when the name has
    // no such text.
    virtual std::optional<std::string> pathVariable(const char* name) = 0;
    // The ERP's installation directory (platform/installation_dir.h).
    virtual std::optional<std::string> installationDirectory() = 0;

    // ---- time
    virtual std::chrono::system_clock::time_point now() = 0;
    virtual std::chrono::steady_clock::time_point monotonic() = 0;
    virtual void sleepMs(int milliseconds) = 0;
    // The local date and time of day, now.
    core::Date today();
    core::Time timeOfDay();
};

}  // namespace platform
