#include "tests/support/fault_env.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace testsupport {
namespace {

std::system_error refused(const std::string& what) {
    return std::system_error(EACCES, std::generic_category(), what + " (refused by the test)");
}

// A held file whose reads and removal are events too.
class FaultHeldFile : public platform::HeldFile {
  public:
    FaultHeldFile(FaultEnv& env, std::unique_ptr<platform::HeldFile> file, std::string path)
        : env_(env), file_(std::move(file)), path_(std::move(path)) {}
    int64_t size() override { return file_->size(); }
    size_t read(char* buf, size_t n) override {
        if (env_.event("read", path_)) throw std::runtime_error("I/O error reading " + path_);
        return file_->read(buf, n);
    }
    std::string readAll() override {
        if (env_.event("read", path_)) throw std::runtime_error("I/O error reading " + path_);
        return file_->readAll();
    }
    std::chrono::system_clock::time_point modified() const override { return file_->modified(); }
    platform::ExclusiveFile::Removal removeIfUnchanged(const std::string& path) override {
        if (env_.event("delete", path)) {
            env_.event("deleted", path);
            return platform::ExclusiveFile::Removal::NotRemoved;
        }
        const platform::ExclusiveFile::Removal r = file_->removeIfUnchanged(path);
        env_.event("deleted", path);
        return r;
    }
    void close() override { file_->close(); }

  private:
    FaultEnv& env_;
    std::unique_ptr<platform::HeldFile> file_;
    std::string path_;
};

class FaultWrittenFile : public platform::WrittenFile {
  public:
    FaultWrittenFile(FaultEnv& env, std::unique_ptr<platform::WrittenFile> file, std::string path)
        : env_(env), file_(std::move(file)), path_(std::move(path)) {}
    bool write(const std::string& bytes) override {
        if (env_.event("write", path_)) {
            error_ = std::make_error_code(std::errc::io_error);
            return false;
        }
        return file_->write(bytes);
    }
    std::error_code error() const override { return error_ ? error_ : file_->error(); }

  private:
    FaultEnv& env_;
    std::unique_ptr<platform::WrittenFile> file_;
    std::string path_;
    std::error_code error_;
};

}  // namespace

FaultEnv::FaultEnv(platform::Env& base) : base_(base) {}

bool FaultEnv::event(const std::string& kind, const std::string& text) {
    const Event e{++count_, kind, text};
    if (onEvent) onEvent(e);
    return std::find(failing.begin(), failing.end(), kind) != failing.end();
}

std::vector<platform::FolderEntry> FaultEnv::listFolder(const std::string& folder) {
    if (event("listFolder", folder)) return {};
    return base_.listFolder(folder);
}

std::unique_ptr<platform::HeldFile> FaultEnv::holdFile(const std::string& path,
                                                       platform::ExclusiveFile::Links links) {
    if (event("holdFile", path)) return nullptr;
    std::unique_ptr<platform::HeldFile> file = base_.holdFile(path, links);
    if (!file) return nullptr;
    return std::make_unique<FaultHeldFile>(*this, std::move(file), path);
}

std::unique_ptr<platform::HeldFile> FaultEnv::lookAtFile(const std::string& path) {
    if (event("lookAtFile", path)) return nullptr;
    std::unique_ptr<platform::HeldFile> file = base_.lookAtFile(path);
    if (!file) return nullptr;
    return std::make_unique<FaultHeldFile>(*this, std::move(file), path);
}

void FaultEnv::restoreSetAside(const std::string& folder) {
    if (!event("restoreSetAside", folder)) base_.restoreSetAside(folder);
}

std::unique_ptr<platform::WrittenFile> FaultEnv::createFile(const std::string& path,
                                                            platform::OutputFile::Opened& opened,
                                                            std::error_code& error) {
    if (event("createFile", path)) {
        opened = platform::OutputFile::Opened::Unavailable;
        error = std::make_error_code(std::errc::permission_denied);
        return nullptr;
    }
    std::unique_ptr<platform::WrittenFile> file = base_.createFile(path, opened, error);
    if (!file) return nullptr;
    return std::make_unique<FaultWrittenFile>(*this, std::move(file), path);
}

std::unique_ptr<platform::WrittenFile> FaultEnv::appendToFile(const std::string& path,
                                                              platform::OutputFile::Opened& opened,
                                                              std::error_code& error) {
    if (event("appendToFile", path)) {
        opened = platform::OutputFile::Opened::Unavailable;
        error = std::make_error_code(std::errc::permission_denied);
        return nullptr;
    }
    std::unique_ptr<platform::WrittenFile> file = base_.appendToFile(path, opened, error);
    if (!file) return nullptr;
    return std::make_unique<FaultWrittenFile>(*this, std::move(file), path);
}

bool FaultEnv::createPrivateFile(const std::string& path, const std::string& bytes) {
    if (event("createPrivateFile", path)) throw refused("cannot create " + path);
    return base_.createPrivateFile(path, bytes);
}

void FaultEnv::makePrivateFolder(const std::string& folder) {
    if (event("makePrivateFolder", folder)) throw refused("cannot make the folder " + folder);
    base_.makePrivateFolder(folder);
}

void FaultEnv::writeFileDurably(const std::string& folder, const std::string& name,
                                const std::string& bytes) {
    if (event("writeFileDurably", folder + "/" + name))
        throw refused("cannot write " + name + " in " + folder);
    base_.writeFileDurably(folder, name, bytes);
}

bool FaultEnv::removeFileDurably(const std::string& folder, const std::string& name) {
    if (event("removeFileDurably", folder + "/" + name)) return false;
    return base_.removeFileDurably(folder, name);
}

std::vector<std::string> FaultEnv::regularFilesIn(const std::string& folder) {
    if (event("regularFilesIn", folder)) return {};
    return base_.regularFilesIn(folder);
}

std::optional<std::string> FaultEnv::readRegularFile(const std::string& path, size_t limit) {
    if (event("readRegularFile", path)) return std::nullopt;
    return base_.readRegularFile(path, limit);
}

bool FaultEnv::regularFileExists(const std::string& path) {
    if (event("regularFileExists", path)) return false;
    return base_.regularFileExists(path);
}

bool FaultEnv::readableByOthers(const std::string& path) {
    if (event("readableByOthers", path)) return false;
    return base_.readableByOthers(path);
}

std::unique_ptr<platform::RunLock> FaultEnv::runLock() {
    return base_.runLock();
}

std::optional<platform::LockFile::Holder> FaultEnv::lockHolder(const std::string& path) {
    if (event("lockHolder", path)) return std::nullopt;
    return base_.lockHolder(path);
}

std::unique_ptr<platform::StartedProgram> FaultEnv::start(
    const std::string& program, const std::vector<std::string>& arguments,
    const std::vector<std::string>& environment) {
    if (event("start", program))
        throw std::system_error(ENOENT, std::generic_category(), "cannot start " + program);
    return base_.start(program, arguments, environment);
}

std::vector<std::string> FaultEnv::clientEnvironment() {
    return base_.clientEnvironment();
}

std::string FaultEnv::programDirectory() {
    return base_.programDirectory();
}

long FaultEnv::currentProcessId() {
    return base_.currentProcessId();
}

bool FaultEnv::processRunning(long pid) {
    return base_.processRunning(pid);
}

std::string FaultEnv::hostName() {
    return base_.hostName();
}

std::optional<std::string> FaultEnv::variable(const char* name) {
    return base_.variable(name);
}

std::optional<std::string> FaultEnv::pathVariable(const char* name) {
    return base_.pathVariable(name);
}

std::optional<std::string> FaultEnv::installationDirectory() {
    return base_.installationDirectory();
}

std::chrono::system_clock::time_point FaultEnv::now() {
    return base_.now() + clockShift;
}

std::chrono::steady_clock::time_point FaultEnv::monotonic() {
    return base_.monotonic() + std::chrono::milliseconds(sleeps ? 0 : paused);
}

void FaultEnv::sleepMs(int milliseconds) {
    if (sleeps) {
        base_.sleepMs(milliseconds);
    } else if (milliseconds > 0) {
        paused += milliseconds;
        // Let the time a pause stands for pass for the programs this one waits for.
        std::this_thread::yield();
    }
}

}  // namespace testsupport
