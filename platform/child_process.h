#pragma once
// A program this one starts, watches and waits for: the transfer client. The child is given
// nothing of this program but what is named here: no descriptor or handle besides its
// standard input (which reads nothing), output and error, and exactly the environment it is
// handed. Its output and error go to a private file that no other process can open; it is
// read back once the child has ended, and is gone with this object.
#include <cstddef>
#include <string>
#include <vector>

namespace platform {

class ChildProcess {
  public:
    // Starts `program`, a path text of the program (the whole path: nothing is looked up in
    // PATH), with `arguments`, in the current working directory, with `environment`
    // ("NAME=value" entries; on Windows UTF-8) as its whole environment; on Windows the
    // arguments are quoted as the C runtime splits a command line. The child has a session (on
    // Windows a process group) of its own, so that the terminal's signals do not reach it, and
    // whatever it starts goes with it when kill() ends it (on Windows it runs in a job object
    // of its own). Throws std::system_error, with the system's reason, when it cannot be
    // started.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment);
    // A child still running is ended and waited for: none is left behind unwatched.
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // True once the child has ended; never waits.
    bool ended();
    // Ends the child and what it started at once and waits for it; it then counts as ended by
    // a signal (on Windows with exit code 9, SIGKILL's number).
    void kill();

    // How it ended; only meaningful once ended() is true.
    bool signalled() const { return signalled_; }
    int exitCode() const { return code_; }  // the exit status, or the signal's number

    // What the child wrote to its output and error, at most the last `limit` bytes.
    std::string output(size_t limit = 4096) const;

  private:
    void release();

    bool ended_ = false;
    bool signalled_ = false;
    int code_ = 0;
#ifdef _WIN32
    void* process_ = nullptr;
    void* job_ = nullptr;  // the child and whatever it starts
    void* output_ = nullptr;
#else
    int pid_ = -1;
    int output_ = -1;
#endif
};

// The environment a started client gets: only what a program needs to run on this system
// (the system's program folders, and on Windows the system's own folders), never this
// program's environment as it came (its proxies, its secrets, its search path).
std::vector<std::string> clientEnvironment();

}  // namespace platform
