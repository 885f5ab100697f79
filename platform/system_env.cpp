// Env::system(): every operation handed to the platform class or function of its concept,
// each of which holds its POSIX and its Win32 side.
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/child_process.h"
#include "platform/env.h"
#include "platform/file_names.h"
#include "platform/installation_dir.h"
#include "platform/private_files.h"
#include "platform/system.h"

namespace platform {
namespace {

class SystemHeldFile : public HeldFile {
  public:
    explicit SystemHeldFile(ExclusiveFile file) : file_(std::move(file)) {}
    int64_t size() override { return file_.size(); }
    size_t read(char* buf, size_t n) override { return file_.read(buf, n); }
    std::string readAll() override { return file_.readAll(); }
    std::chrono::system_clock::time_point modified() const override { return file_.modified(); }
    ExclusiveFile::Removal removeIfUnchanged(const std::string& path) override {
        return file_.removeIfUnchanged(path);
    }
    void close() override { file_.close(); }

  private:
    ExclusiveFile file_;
};

class SystemWrittenFile : public WrittenFile {
  public:
    explicit SystemWrittenFile(OutputFile file) : file_(std::move(file)) {}
    bool write(const std::string& bytes) override { return file_.write(bytes); }
    std::error_code error() const override { return file_.error(); }

  private:
    OutputFile file_;
};

class SystemProgram : public StartedProgram {
  public:
    explicit SystemProgram(ChildProcess child) : child_(std::move(child)) {}
    bool ended() override { return child_.ended(); }
    void kill() override { child_.kill(); }
    bool signalled() const override { return child_.signalled(); }
    int exitCode() const override { return child_.exitCode(); }
    std::string output(size_t limit) const override { return child_.output(limit); }

  private:
    ChildProcess child_;
};

class SystemRunLock : public RunLock {
  public:
    LockFile::Result lock(const std::string& path) override { return lock_.lock(path); }
    void unlock() override { lock_.unlock(); }
    bool locked() const override { return lock_.locked(); }
    const std::string& path() const override { return lock_.path(); }

  private:
    LockFile lock_;
};

class SystemEnv : public Env {
  public:
    std::vector<FolderEntry> listFolder(const std::string& folder) override {
        std::vector<FolderEntry> entries;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(nativePath(folder), ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::filesystem::path name = it->path().filename();
            FolderEntry e;
            if (std::optional<std::string> text = programText(name)) {
                e.name = std::move(*text);
            } else {
                e.name = displayText(name);
                e.named = false;
            }
            // The entry itself, not what a link points to.
            std::error_code typeError;
            e.regular = std::filesystem::is_regular_file(it->symlink_status(typeError));
            entries.push_back(std::move(e));
        }
        return entries;
    }
    std::unique_ptr<HeldFile> holdFile(const std::string& path,
                                       ExclusiveFile::Links links) override {
        ExclusiveFile file;
        if (!file.open(path, links)) return nullptr;
        return std::make_unique<SystemHeldFile>(std::move(file));
    }
    std::unique_ptr<HeldFile> lookAtFile(const std::string& path) override {
        ExclusiveFile file;
        if (!file.openShared(path)) return nullptr;
        return std::make_unique<SystemHeldFile>(std::move(file));
    }
    void restoreSetAside(const std::string& folder) override {
        ExclusiveFile::restoreSetAside(folder);
    }
    std::unique_ptr<WrittenFile> createFile(const std::string& path, OutputFile::Opened& opened,
                                            std::error_code& error) override {
        OutputFile file;
        opened = file.createNew(path);
        error = file.error();
        if (opened != OutputFile::Opened::Yes) return nullptr;
        return std::make_unique<SystemWrittenFile>(std::move(file));
    }
    std::unique_ptr<WrittenFile> appendToFile(const std::string& path, OutputFile::Opened& opened,
                                              std::error_code& error) override {
        OutputFile file;
        opened = file.appendTo(path);
        error = file.error();
        if (opened != OutputFile::Opened::Yes) return nullptr;
        return std::make_unique<SystemWrittenFile>(std::move(file));
    }
    bool createPrivateFile(const std::string& path, const std::string& bytes) override {
        return platform::createPrivateFile(path, bytes);
    }
    void makePrivateFolder(const std::string& folder) override {
        platform::makePrivateFolder(folder);
    }
    void writeFileDurably(const std::string& folder, const std::string& name,
                          const std::string& bytes) override {
        platform::writeFileDurably(folder, name, bytes);
    }
    bool removeFileDurably(const std::string& folder, const std::string& name) override {
        return platform::removeFileDurably(folder, name);
    }
    std::vector<std::string> regularFilesIn(const std::string& folder) override {
        return platform::regularFilesIn(folder);
    }
    std::optional<std::string> readRegularFile(const std::string& path, size_t limit) override {
        return platform::readRegularFile(path, limit);
    }
    bool regularFileExists(const std::string& path) override {
        std::error_code ec;
        return std::filesystem::is_regular_file(nativePath(path), ec);
    }
    bool readableByOthers(const std::string& path) override {
        return platform::readableByOthers(path);
    }
    std::unique_ptr<RunLock> runLock() override { return std::make_unique<SystemRunLock>(); }
    std::optional<LockFile::Holder> lockHolder(const std::string& path) override {
        return LockFile::holder(path);
    }

    std::unique_ptr<StartedProgram> start(const std::string& program,
                                          const std::vector<std::string>& arguments,
                                          const std::vector<std::string>& environment) override {
        return std::make_unique<SystemProgram>(ChildProcess(program, arguments, environment));
    }
    std::vector<std::string> clientEnvironment() override { return platform::clientEnvironment(); }
    std::string programDirectory() override { return platform::programDirectory(); }
    long currentProcessId() override { return platform::currentProcessId(); }
    bool processRunning(long pid) override { return platform::processRunning(pid); }
    std::string hostName() override { return platform::hostName(); }
    std::optional<std::string> variable(const char* name) override {
        const char* value = std::getenv(name);
        if (!value) return std::nullopt;
        return std::string(value);
    }
    std::optional<std::string> pathVariable(const char* name) override {
        return platform::environmentPath(name);
    }
    std::optional<std::string> installationDirectory() override {
        return readInstallationDirectory();
    }

    std::chrono::system_clock::time_point now() override {
        return std::chrono::system_clock::now();
    }
    std::chrono::steady_clock::time_point monotonic() override {
        return std::chrono::steady_clock::now();
    }
    void sleepMs(int milliseconds) override { platform::sleepMs(milliseconds); }
};

}  // namespace

Env& Env::system() {
    static SystemEnv env;
    return env;
}

core::Date Env::today() {
    return localDate(now());
}

core::Time Env::timeOfDay() {
    return localTime(now());
}

}  // namespace platform
