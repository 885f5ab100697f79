#pragma once
// What a test changes in its own process, put back when the guard goes: an environment
// variable and the working directory.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

// Sets an environment variable (or removes it, for a null value) and puts the old value back.
class EnvGuard {
  public:
    EnvGuard(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvGuard() {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

    // The value the variable had before, or `otherwise`.
    std::string old(const std::string& otherwise) const { return old_.value_or(otherwise); }

  private:
    std::string name_;
    std::optional<std::string> old_;
};

class CwdGuard {
  public:
    explicit CwdGuard(const std::string& dir) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CwdGuard() { std::filesystem::current_path(old_); }
    CwdGuard(const CwdGuard&) = delete;
    CwdGuard& operator=(const CwdGuard&) = delete;

  private:
    std::filesystem::path old_;
};

// Puts `first` in front of PATH while it lives.
class PathGuard {
  public:
    explicit PathGuard(const std::string& first)
        : path_("PATH", (first + ":" + currentPath()).c_str()) {}

  private:
    static std::string currentPath() {
        const char* p = std::getenv("PATH");
        return p ? p : "/usr/bin:/bin";
    }
    EnvGuard path_;
};

}  // namespace testsupport
