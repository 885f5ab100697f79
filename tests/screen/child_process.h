#pragma once
// A program the screen test starts and owns: started with an explicit environment, its
// standard error (and output, unless piped back) going to a log file; stopped, and waited
// for, when the object goes. Only the process it started is ever signalled.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace screen {

// A file descriptor closed when it goes.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int get() const { return fd_; }
    int release();

  private:
    int fd_ = -1;
};

class ChildProcess {
  public:
    // Starts argv[0] (looked up on PATH) with exactly `environment` ("NAME=value" each).
    // With pipeStdout the standard output can be read through stdoutFd(). Throws
    // std::runtime_error when the program cannot be started.
    // An empty workDir keeps the test's own.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                 const std::string& logPath, bool pipeStdout = false,
                 const std::string& workDir = {});
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }
    int stdoutFd() const { return stdout_.get(); }

    // The exit status once the process has ended (a signal gives 128 + its number).
    std::optional<int> exitStatus();
    bool running() { return !exitStatus(); }

    // SIGTERM, then SIGKILL if it has not ended within `grace`; waits for it either way.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    UniqueFd stdout_;
};

// Reads one line (without its end) from `fd` within `timeout`; nothing on timeout or end.
std::optional<std::string> readLine(int fd, std::chrono::milliseconds timeout);

}  // namespace screen
