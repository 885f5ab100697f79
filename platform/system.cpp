#include "platform/system.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <thread>

#include "platform/file_names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace platform {

#ifdef _WIN32

// The clock Windows itself shows: its time zone and summer time, never a TZ variable that a
// Unix-style shell may have set for the C runtime.
core::Date today() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return core::Date{t.wYear, t.wMonth, t.wDay};
}

core::Time timeOfDay() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return core::Time{t.wHour, t.wMinute, t.wSecond, 0};
}

#else

namespace {

// Now as the local calendar time of the system's time zone (with its summer time).
std::tm localNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    if (!localtime_r(&now, &local)) local = {};
    return local;
}

}  // namespace

core::Date today() {
    const std::tm t = localNow();
    return core::Date{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday};
}

core::Time timeOfDay() {
    const std::tm t = localNow();
    return core::Time{t.tm_hour, t.tm_min, t.tm_sec, 0};
}

#endif

namespace {

std::tm localCalendar(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
}

}  // namespace

core::Date localDate(std::chrono::system_clock::time_point when) {
    const std::tm local = localCalendar(when);
    return core::Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

core::Time localTime(std::chrono::system_clock::time_point when) {
    const std::tm local = localCalendar(when);
    return core::Time{local.tm_hour, local.tm_min, local.tm_sec, 0};
}

char pathSeparator() {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

void sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

#ifdef _WIN32

std::string programDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return programText(std::filesystem::path(path).parent_path()).value_or("");
}

long currentProcessId() {
    return long(GetCurrentProcessId());
}

std::optional<std::string> environmentPath(const char* name) {
    // The system's own environment, as it is now: the C runtime's getenv gives a copy taken at
    // the start, in the ANSI code page.
    const std::wstring wideName = std::filesystem::path(name).wstring();
    const DWORD n = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (n <= 1) return std::nullopt;
    std::wstring value(n, L'\0');
    value.resize(GetEnvironmentVariableW(wideName.c_str(), value.data(), n));
    if (value.empty()) return std::nullopt;
    return programText(std::filesystem::path(value)).value_or("");
}

std::string hostName() {
    wchar_t name[256];
    DWORD n = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &n)) return {};
    return programText(std::filesystem::path(std::wstring(name, n))).value_or("");
}

bool processRunning(long pid) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

#else

std::string programDirectory() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return programText(self.parent_path()).value_or("");
}

long currentProcessId() {
    return long(::getpid());
}

std::optional<std::string> environmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return programText(std::filesystem::path(value)).value_or("");
}

std::string hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

bool processRunning(long pid) {
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

#endif

}  // namespace platform
