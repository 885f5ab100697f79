#include "platform/system.h"

#include <QDateTime>
#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;
#endif

namespace platform {

core::Date today() {
    QDate d = QDate::currentDate();
    return core::Date{d.year(), d.month(), d.day()};
}

core::Time timeOfDay() {
    QTime t = QTime::currentTime();
    return core::Time{t.hour(), t.minute(), t.second(), 0};
}

void sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

#ifdef _WIN32

namespace {

// One word of the command line, in quotes when it holds a blank.
std::string commandWord(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t") == std::string::npos) return word;
    return "\"" + word + "\"";
}

}  // namespace

bool startDetached(const std::string& program, const std::vector<std::string>& arguments) {
    std::string line = commandWord(program);
    for (const std::string& a : arguments) line += " " + commandWord(a);
    std::vector<char> writable(line.begin(), line.end());  // CreateProcessA may write to it
    writable.push_back('\0');

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    // No inherited handles: the open databases and lock files stay the program's alone.
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

#else

namespace {

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The file the system would run for `program`: a name with a slash as it is, any other name
// looked up in each PATH entry (an empty entry is the working directory). Empty when none.
std::string findProgram(const std::string& program) {
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos) return program;
    const char* found = std::getenv("PATH");
    const std::string path = found ? found : "/bin:/usr/bin";
    for (size_t begin = 0;;) {
        const size_t end = path.find(':', begin);
        const std::string dir = path.substr(begin, end == std::string::npos ? end : end - begin);
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (isExecutableFile(candidate)) return candidate;
        if (end == std::string::npos) return {};
        begin = end + 1;
    }
}

// A fork that runs no fork handlers of the libraries: the child only calls async-signal-safe
// functions before it execs or exits, and the handlers need not be.
pid_t forkBare() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    return ::_Fork();
#else
    return ::fork();
#endif
}

// Leaves descriptors 0 to 2 as they are and closes every other one on exec. Async-signal-safe.
void closeOthersOnExec(int limit) {
#if defined(CLOSE_RANGE_CLOEXEC)
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif
    for (int fd = 3; fd < limit; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

// The grandchild: what it may call is async-signal-safe. Reports errno through `report` when
// the program does not start.
[[noreturn]] void execClient(const char* file, char* const argv[], char* const envp[], int report,
                             int limit) {
    // The client starts like one from a shell: nothing blocked, and a broken pipe ends it
    // even when this program, or a library of it, ignores SIGPIPE.
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &byDefault, nullptr);

    closeOthersOnExec(limit);
    ::execve(file, argv, envp);
    const int error = errno;
    while (::write(report, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

}  // namespace

bool startDetached(const std::string& program, const std::vector<std::string>& arguments) {
    // Everything that allocates happens here, before the fork: after it, this process may
    // hold other threads' locks that will never be released in the child.
    const std::string file = findProgram(program);
    if (file.empty()) return false;
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables;
    for (char** e = environ; e && *e; ++e) variables.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    rlimit files{};
    int limit = 65536;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY &&
        files.rlim_cur < rlim_t(limit))
        limit = int(files.rlim_cur);

    // Closed on exec: end of file tells the program started, an errno that it did not.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return false;

    const pid_t child = forkBare();
    if (child == 0) {
        // A session of its own, as a detached process has: the client outlives a hang-up or
        // an interrupt of the terminal this program runs in.
        ::setsid();
        const pid_t grandchild = forkBare();
        if (grandchild == 0) execClient(file.c_str(), argv.data(), envp.data(), report[1], limit);
        if (grandchild < 0) {
            const int error = errno;
            while (::write(report[1], &error, sizeof error) < 0 && errno == EINTR) {
            }
        }
        // The grandchild goes to init, which reaps it: never a zombie of this program.
        ::_exit(0);
    }
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        return false;
    }
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }

    int error = 0;
    ssize_t got;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    return got == 0;
}

#endif

void makeOwnerOnly(const std::string& path) {
#ifdef _WIN32
    (void)path;  // the file inherits the profile folder's owner-only access
#else
    ::chmod(path.c_str(), S_IRUSR | S_IWUSR);
#endif
}

}  // namespace platform
