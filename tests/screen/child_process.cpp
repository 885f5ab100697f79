#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace screen {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

int UniqueFd::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

namespace {

// posix_spawn's file actions, destroyed when they go.
struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
};

std::vector<char*> pointers(const std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (const std::string& t : texts) result.push_back(const_cast<char*>(t.c_str()));
    result.push_back(nullptr);
    return result;
}

int decode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment, const std::string& logPath,
                           bool pipeStdout, const std::string& workDir) {
    FileActions files;
    UniqueFd readEnd, writeEnd;
    if (pipeStdout) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        readEnd = UniqueFd(ends[0]);
        writeEnd = UniqueFd(ends[1]);
        posix_spawn_file_actions_adddup2(&files.actions, writeEnd.get(), STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&files.actions, STDOUT_FILENO, logPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    }
    posix_spawn_file_actions_addopen(&files.actions, STDERR_FILENO, logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addopen(&files.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&files.actions, workDir.c_str());

    std::vector<char*> args = pointers(argv);
    std::vector<char*> env = pointers(environment);
    const int rc = ::posix_spawnp(&pid_, args[0], &files.actions, nullptr, args.data(), env.data());
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    stdout_ = std::move(readEnd);
}

ChildProcess::~ChildProcess() {
    stop();
}

std::optional<int> ChildProcess::exitStatus() {
    if (!status_ && pid_ > 0) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) status_ = decode(status);
    }
    return status_;
}

void ChildProcess::stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0 || exitStatus()) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!exitStatus() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!exitStatus()) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        if (::waitpid(pid_, &status, 0) == pid_) status_ = decode(status);
    }
}

std::optional<std::string> readLine(int fd, std::chrono::milliseconds timeout) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        char c;
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) return std::nullopt;
        if (c == '\n') return line;
        line += c;
    }
}

}  // namespace screen
