#pragma once
// An Env for tests: every call goes on to another Env (the system's, unless told) and is an
// event first, numbered in order, which a test can watch, fail, or end the process at. Pauses
// are counted instead of slept unless asked for; the removal of a held file can be given a
// verdict instead of done. The clock, the pauses and the state of started programs are no
// events: they are asked as often as time passes, which no two runs share.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/env.h"

namespace testsupport {

class FaultEnv : public platform::Env {
  public:
    struct Event {
        uint64_t n = 0;    // 1 for the first
        std::string kind;  // "delete" and "deleted" around the removal of a held file;
                           // otherwise the name of the call ("holdFile", "writeFileDurably", ...)
        std::string text;  // its path, folder or program
    };

    explicit FaultEnv(platform::Env& base = platform::Env::system());

    // Called before each event's action. What it throws is what the call throws (a call that
    // reports failure by its result fails that way instead: see fail()); it may also end the
    // process.
    std::function<void(const Event&)> onEvent;
    // Calls whose kind is named here fail as the system's would: a file that cannot be opened
    // or written, a program that cannot be started, a removal the system refuses ("delete").
    std::vector<std::string> failing;
    // Pauses really waited for (off: only added to `paused`, and the monotonic clock moves on by
    // them, so that a test of retries and time limits takes no time).
    bool sleeps = false;
    int64_t paused = 0;  // milliseconds
    // Added to the clock's time of day (a run that started hours ago, a file changed just now).
    std::chrono::system_clock::duration clockShift{};

    uint64_t events() const { return count_; }

    std::vector<platform::FolderEntry> listFolder(const std::string& folder) override;
    std::unique_ptr<platform::HeldFile> holdFile(const std::string& path,
                                                 platform::ExclusiveFile::Links links) override;
    std::unique_ptr<platform::HeldFile> lookAtFile(const std::string& path) override;
    void restoreSetAside(const std::string& folder) override;
    std::unique_ptr<platform::WrittenFile> createFile(const std::string& path,
                                                      platform::OutputFile::Opened& opened,
                                                      std::error_code& error) override;
    std::unique_ptr<platform::WrittenFile> appendToFile(const std::string& path,
                                                        platform::OutputFile::Opened& opened,
                                                        std::error_code& error) override;
    bool createPrivateFile(const std::string& path, const std::string& bytes) override;
    void makePrivateFolder(const std::string& folder) override;
    void writeFileDurably(const std::string& folder, const std::string& name,
                          const std::string& bytes) override;
    bool removeFileDurably(const std::string& folder, const std::string& name) override;
    std::vector<std::string> regularFilesIn(const std::string& folder) override;
    std::optional<std::string> readRegularFile(const std::string& path, size_t limit) override;
    bool regularFileExists(const std::string& path) override;
    bool readableByOthers(const std::string& path) override;
    std::unique_ptr<platform::RunLock> runLock() override;
    std::optional<platform::LockFile::Holder> lockHolder(const std::string& path) override;
    std::unique_ptr<platform::StartedProgram> start(
        const std::string& program, const std::vector<std::string>& arguments,
        const std::vector<std::string>& environment) override;
    std::vector<std::string> clientEnvironment() override;
    std::string programDirectory() override;
    long currentProcessId() override;
    bool processRunning(long pid) override;
    std::string hostName() override;
    std::optional<std::string> variable(const char* name) override;
    std::optional<std::string> pathVariable(const char* name) override;
    std::optional<std::string> installationDirectory() override;
    std::chrono::system_clock::time_point now() override;
    std::chrono::steady_clock::time_point monotonic() override;
    void sleepMs(int milliseconds) override;

    // An event of a call of `kind` on `text`; true when the call is to fail.
    bool event(const std::string& kind, const std::string& text);

  private:
    platform::Env& base_;
    uint64_t count_ = 0;
};

}  // namespace testsupport
