#pragma once
// What the benchmarks that run other programs share: starting one with its output in files
// (or standard output in a pipe), waiting for it, reading its files, and where things lie.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

inline double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The folder of the running benchmark, where the programs it runs were built.
inline std::string selfDir() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

// db/ of the source tree this was compiled from.
inline std::string scriptsDir() {
    return (std::filesystem::path(__FILE__).parent_path().parent_path() / "db").string();
}

struct SpawnOptions {
    std::vector<std::string> extraEnv = {};  // before the inherited ones: the first of a name wins
    std::string outFile = {};                // standard output; none: inherited
    std::string workDir = {};                // none: this one
    int* stdoutPipe = nullptr;               // when given, standard output goes to a pipe whose
                                             // reading end is stored here
};

// Starts `args` with standard input from /dev/null and standard error in `errFile`.
inline pid_t spawn(std::vector<std::string> args, const std::string& errFile,
                   const SpawnOptions& o = {}) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env(o.extraEnv);
    for (char** e = environ; *e; ++e) env.push_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    int fds[2] = {-1, -1};
    if (o.stdoutPipe && ::pipe(fds) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (o.stdoutPipe) {
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
    } else if (!o.outFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, o.outFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (!o.workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, o.workDir.c_str());
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (o.stdoutPipe) {
        ::close(fds[1]);
        if (rc != 0) ::close(fds[0]);
        *o.stdoutPipe = rc == 0 ? fds[0] : -1;
    }
    if (rc != 0) throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(rc));
    return pid;
}

// Its exit status; 128 when a signal ended it.
inline int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

}  // namespace bench
