// The other process of the platform tests, on Linux and on Windows: it holds a file or the run
// lock as another program or run would, ends as told, starts a child of its own, or writes
// down what it was started with. A helper that is waiting gives up after two minutes, so a
// failed test leaves nothing running for long.
//   hold <path> <ready>           holds <path> as a run does (platform::ExclusiveFile)
//   lock <path> <ready>           holds the run lock of <path>; exit 10 + the result if refused
//   open <path>                   exit 0 when <path> can be opened as a run opens it, else 1
//   exit <code> <out> <err>       writes <out> and <err> as lines of its output and error
//   spawn <pid file>              starts "pid <pid file>" as a plain child of its own, waits
//   pid <pid file>                writes its process id, waits
//   args <record> <argument>...   writes each argument (UTF-8) and its working directory
// Windows only:
//   winopen <path> <access> <share> <ready>   holds <path> opened by CreateFileW; exit with
//                                             the error code when the open fails
//   env <record>                  writes its environment, sorted, without the system's
//                                 hidden "=C:"-style entries
// <ready> is written with this process's id once it holds what it was told to.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/exclusive_file.h"
#include "platform/lock_file.h"
#include "platform/system.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>
#else
#include <spawn.h>
#include <unistd.h>
#endif

namespace {

void waitLong() {
    std::this_thread::sleep_for(std::chrono::minutes(2));
}

// Written whole under its name at once, so that the test never reads half of it.
void writeFile(const std::string& path, const std::string& text) {
    const std::string part = path + ".part";
    std::ofstream(part, std::ios::binary) << text;
    std::filesystem::rename(part, path);
}

void ready(const std::string& path) {
    writeFile(path, std::to_string(platform::currentProcessId()));
}

#ifdef _WIN32

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The arguments as the system holds them, UTF-16, not as the C runtime narrows them.
std::vector<std::string> wideArguments() {
    int n = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &n);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(utf8(words[i]));
    LocalFree(words);
    return out;
}

int spawnChild(const std::string& self, const std::string& pidFile) {
    std::wstring line = L"\"" + std::filesystem::path(self).wstring() + L"\" pid \"" +
                        std::filesystem::path(pidFile).wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        std::cerr << "CreateProcessW failed, error " << GetLastError() << "\n";
        return 2;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 0;
}

int windowsOnly(const std::vector<std::string>& a) {
    if (a.size() == 6 && a[1] == "winopen") {
        HANDLE h = CreateFileW(std::filesystem::path(a[2]).c_str(), std::stoul(a[3]),
                               std::stoul(a[4]), nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return int(GetLastError());
        ready(a[5]);
        waitLong();
        return 0;
    }
    if (a.size() == 3 && a[1] == "env") {
        std::vector<std::string> entries;
        wchar_t* block = GetEnvironmentStringsW();
        for (const wchar_t* e = block; *e; e += wcslen(e) + 1)
            if (*e != L'=') entries.push_back(utf8(e));
        FreeEnvironmentStringsW(block);
        std::sort(entries.begin(), entries.end());
        std::string record;
        for (const std::string& e : entries) record += e + "\n";
        writeFile(a[2], record);
        return 0;
    }
    return 64;
}

#else

int spawnChild(const std::string& self, const std::string& pidFile) {
    std::vector<std::string> words{self, "pid", pidFile};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    return ::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? 0 : 2;
}

int windowsOnly(const std::vector<std::string>&) {
    return 64;
}

#endif

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv, argv + argc);
#ifdef _WIN32
    // Every argument as UTF-8 of what the system holds: paths and texts reach the platform
    // code below as the ASCII the tests give them, and "args" writes them exactly.
    a = wideArguments();
    // Bytes as written, as on Linux: no CR before each line end.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    if (a.size() < 2) return 64;
    const std::string& mode = a[1];
    if (mode == "hold" && a.size() == 4) {
        platform::ExclusiveFile file;
        if (!file.open(a[2], platform::ExclusiveFile::Links::Follow)) return 3;
        ready(a[3]);
        waitLong();
        return 0;
    }
    if (mode == "lock" && a.size() == 4) {
        platform::LockFile lock;
        const platform::LockFile::Result result = lock.lock(a[2]);
        if (result != platform::LockFile::Result::Locked) return 10 + int(result);
        ready(a[3]);
        waitLong();
        return 0;
    }
    if (mode == "open" && a.size() == 3) {
        platform::ExclusiveFile file;
        return file.open(a[2]) ? 0 : 1;
    }
    if (mode == "exit" && a.size() == 5) {
        std::cout << a[3] << std::endl;
        std::cerr << a[4] << std::endl;
        return std::stoi(a[2]);
    }
    if (mode == "spawn" && a.size() == 3) {
        if (const int failed = spawnChild(a[0], a[2])) return failed;
        waitLong();
        return 0;
    }
    if (mode == "pid" && a.size() == 3) {
        writeFile(a[2], std::to_string(platform::currentProcessId()));
        waitLong();
        return 0;
    }
    if (mode == "args" && a.size() >= 3) {
        std::string record;
        for (size_t i = 3; i < a.size(); ++i) record += a[i] + "\n";
        writeFile(a[2], record + std::filesystem::current_path().string() + "\n");
        return 0;
    }
    return windowsOnly(a);
}
