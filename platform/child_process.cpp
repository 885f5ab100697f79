#include "platform/child_process.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include "platform/file_names.h"

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <memory>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace platform {
namespace {

std::system_error systemError(int error, const std::string& what) {
    return std::system_error(error, std::system_category(), what);
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& other) noexcept {
    *this = std::move(other);
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        release();
        ended_ = other.ended_;
        signalled_ = other.signalled_;
        code_ = other.code_;
#ifdef _WIN32
        process_ = std::exchange(other.process_, nullptr);
        job_ = std::exchange(other.job_, nullptr);
        output_ = std::exchange(other.output_, nullptr);
#else
        pid_ = std::exchange(other.pid_, -1);
        output_ = std::exchange(other.output_, -1);
#endif
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    release();
}

#ifdef _WIN32

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// One word of a command line as the C runtime of the child splits it again: quoted when it
// holds a blank or a quote, backslashes doubled only where a quote follows them.
std::wstring commandWord(const std::wstring& word) {
    if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

struct HandleCloser {
    void operator()(void* h) const {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// A file for the child's output that nobody else can open (no sharing), deleted by the system
// once the last handle to it is closed.
Handle privateOutputFile(SECURITY_ATTRIBUTES& inheritable) {
    static std::atomic<unsigned> counter{0};
    wchar_t folder[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH)
        throw systemError(int(GetLastError()), "no folder for temporary files");
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring name = std::wstring(folder) + L"importarfac-" +
                                  std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(counter++) + L".out";
        HANDLE h =
            CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inheritable, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) return Handle(h);
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    throw systemError(int(GetLastError()), "cannot create the client's output file");
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    Handle output = privateOutputFile(inheritable);
    Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                             OPEN_EXISTING, 0, nullptr));
    if (input.get() == INVALID_HANDLE_VALUE)
        throw systemError(int(GetLastError()), "cannot open NUL");

    // Only these two handles are inherited, whatever else of this process is inheritable.
    HANDLE inherited[2] = {input.get(), output.get()};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::unique_ptr<char[]> storage(new char[size]);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.get());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size))
        throw systemError(int(GetLastError()), "cannot start " + program);
    struct ListDeleter {
        LPPROC_THREAD_ATTRIBUTE_LIST list;
        ~ListDeleter() { DeleteProcThreadAttributeList(list); }
    } listDeleter{list};
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                   sizeof inherited, nullptr, nullptr))
        throw systemError(int(GetLastError()), "cannot start " + program);

    const std::wstring path = nativePath(program).wstring();
    std::wstring line = commandWord(path);
    for (const std::string& a : arguments) line += L" " + commandWord(nativePath(a).wstring());
    std::wstring block;
    for (const std::string& e : environment) block += wide(e) + L'\0';
    block += L'\0';

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_SHOWNORMAL;
    startup.StartupInfo.hStdInput = input.get();
    startup.StartupInfo.hStdOutput = output.get();
    startup.StartupInfo.hStdError = output.get();
    startup.lpAttributeList = list;
    // Whatever the child starts belongs to its job, and goes with it when it is stopped. A
    // system that refuses a job within this process's own leaves the child without one.
    Handle job(CreateJobObjectW(nullptr, nullptr));
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, TRUE,
                        EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT |
                            CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED,
                        block.data(), nullptr, &startup.StartupInfo, &started))
        throw systemError(int(GetLastError()), "cannot start " + program);
    if (job && !AssignProcessToJobObject(job.get(), started.hProcess)) job.reset();
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    process_ = started.hProcess;
    job_ = job.release();
    // Not inherited by whatever else this process starts.
    SetHandleInformation(output.get(), HANDLE_FLAG_INHERIT, 0);
    output_ = output.release();
}

bool ChildProcess::ended() {
    if (ended_ || !process_) return true;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    ended_ = true;
    code_ = int(code);
    return true;
}

void ChildProcess::kill() {
    if (ended()) return;
    if (!job_ || !TerminateJobObject(job_, 1)) TerminateProcess(process_, 1);
    WaitForSingleObject(process_, INFINITE);
    ended_ = true;
    signalled_ = true;
    code_ = 9;
}

std::string ChildProcess::output(size_t limit) const {
    LARGE_INTEGER size{};
    if (!output_ || !GetFileSizeEx(output_, &size)) return {};
    const long long from = size.QuadPart > (long long)limit ? size.QuadPart - (long long)limit : 0;
    std::string bytes(size_t(size.QuadPart - from), '\0');
    OVERLAPPED at{};
    at.Offset = DWORD(from & 0xFFFFFFFF);
    at.OffsetHigh = DWORD(from >> 32);
    DWORD got = 0;
    if (!ReadFile(output_, bytes.data(), DWORD(bytes.size()), &got, &at)) return {};
    bytes.resize(got);
    return bytes;
}

void ChildProcess::release() {
    if (process_) {
        kill();
        CloseHandle(process_);
        process_ = nullptr;
    }
    if (job_) {
        CloseHandle(job_);
        job_ = nullptr;
    }
    if (output_) {
        CloseHandle(output_);
        output_ = nullptr;
    }
}

std::vector<std::string> clientEnvironment() {
    // What Windows programs expect to find; the search path is the system's own folders.
    static const wchar_t* const kKept[] = {
        L"SystemRoot",  L"SystemDrive", L"windir",       L"TEMP",        L"TMP",
        L"USERPROFILE", L"APPDATA",     L"LOCALAPPDATA", L"ProgramData", L"HOMEDRIVE",
        L"HOMEPATH",    L"USERNAME",    L"COMPUTERNAME", L"PATHEXT",     L"ComSpec"};
    std::vector<std::string> out;
    std::wstring systemRoot;
    for (const wchar_t* name : kKept) {
        const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
        if (n == 0) continue;
        std::wstring value(n, L'\0');
        value.resize(GetEnvironmentVariableW(name, value.data(), n));
        if (std::wstring(name) == L"SystemRoot") systemRoot = value;
        out.push_back(utf8(std::wstring(name) + L"=" + value));
    }
    if (!systemRoot.empty())
        out.push_back(utf8(L"PATH=" + systemRoot + L"\\System32;" + systemRoot));
    return out;
}

#else

namespace {

// A file for the child's output that no other process can reach: unnamed from the start where
// the file system allows it, otherwise named (owner only) for a moment and unlinked at once.
int privateOutputFile() {
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd < 0) {
        char name[] = "/tmp/importarfac-out-XXXXXX";
        fd = ::mkostemp(name, O_CLOEXEC);
        if (fd < 0) throw systemError(errno, "cannot create the client's output file");
        ::unlink(name);
    }
    if (fd <= 2) {
        // Standard descriptors closed in this process: keep the file out of their way.
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        const int error = errno;
        ::close(fd);
        if (moved < 0) throw systemError(error, "cannot create the client's output file");
        fd = moved;
    }
    return fd;
}

#if !(defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34)))
// Without posix_spawn's closefrom: every descriptor above 2 is closed on exec. This process
// itself never execs, so the flag changes nothing for it.
void closeOthersOnExec() {
    rlimit files{};
    int limit = 65536;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY &&
        files.rlim_cur < rlim_t(limit))
        limit = int(files.rlim_cur);
    for (int fd = 3; fd < limit; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}
#endif

struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment) {
    std::vector<std::string> words{nativePath(program).string()};
    for (const std::string& a : arguments) words.push_back(nativePath(a).string());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = environment;
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);

    output_ = privateOutputFile();
    SpawnSetup s;
    int failed = ::posix_spawn_file_actions_addopen(&s.actions, 0, "/dev/null", O_RDONLY, 0);
    if (!failed) failed = ::posix_spawn_file_actions_adddup2(&s.actions, output_, 1);
    if (!failed) failed = ::posix_spawn_file_actions_adddup2(&s.actions, output_, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The database engine's files and sockets are open without close-on-exec.
    if (!failed) failed = ::posix_spawn_file_actions_addclosefrom_np(&s.actions, 3);
#else
    closeOthersOnExec();
#endif
    // The client starts as one from a shell would: nothing blocked, nothing ignored (a broken
    // pipe ends it even when this program ignores SIGPIPE).
    sigset_t none, all;
    ::sigemptyset(&none);
    ::sigfillset(&all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
    flags |= POSIX_SPAWN_SETSID;
#else
    flags |= POSIX_SPAWN_SETPGROUP;
#endif
    if (!failed) failed = ::posix_spawnattr_setsigmask(&s.attributes, &none);
    if (!failed) failed = ::posix_spawnattr_setsigdefault(&s.attributes, &all);
    if (!failed) failed = ::posix_spawnattr_setflags(&s.attributes, flags);
    pid_t pid = -1;
    if (!failed)
        failed = ::posix_spawn(&pid, argv[0], &s.actions, &s.attributes, argv.data(), envp.data());
    if (failed) {
        ::close(output_);
        output_ = -1;
        throw systemError(failed, "cannot start " + program);
    }
    pid_ = pid;
}

bool ChildProcess::ended() {
    if (ended_ || pid_ < 0) return true;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0 || (r < 0 && errno == EINTR)) return false;
    ended_ = true;
    if (r < 0) {
        code_ = -1;  // reaped by somebody else: how it ended is not known
    } else if (WIFSIGNALED(status)) {
        signalled_ = true;
        code_ = WTERMSIG(status);
    } else {
        code_ = WEXITSTATUS(status);
    }
    return true;
}

void ChildProcess::kill() {
    if (ended()) return;
    // Its session's group: whatever it started goes with it.
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    ended_ = true;
    signalled_ = true;
    code_ = SIGKILL;
}

std::string ChildProcess::output(size_t limit) const {
    struct stat st {};
    if (output_ < 0 || ::fstat(output_, &st) != 0) return {};
    const off_t from = st.st_size > off_t(limit) ? st.st_size - off_t(limit) : 0;
    std::string bytes(size_t(st.st_size - from), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pread(output_, bytes.data() + done, bytes.size() - done, from + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    bytes.resize(done);
    return bytes;
}

void ChildProcess::release() {
    if (pid_ > 0) {
        kill();
        pid_ = -1;
    }
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
}

std::vector<std::string> clientEnvironment() {
    return {"PATH=/usr/local/bin:/usr/bin:/bin"};
}

#endif

}  // namespace platform
