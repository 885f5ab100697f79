#pragma once
// Starting tests/support/platform_helper, the other process of the platform tests, and
// waiting for what it does.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "platform/system.h"

namespace testsupport {

// The helper, built beside the test program.
inline std::string helperProgram() {
#ifdef _WIN32
    return platform::programDirectory() + "\\platform_helper.exe";
#else
    return platform::programDirectory() + "/platform_helper";
#endif
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Waits until `path` exists, at most `seconds`.
inline bool waitForFile(const std::string& path, int seconds = 20) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::error_code ec;
    while (!std::filesystem::exists(path, ec)) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Waits for the child to end, at most `seconds`.
inline bool waitEnded(platform::ChildProcess& p, int seconds = 20) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!p.ended()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

inline platform::ChildProcess startHelper(const std::vector<std::string>& arguments) {
    return platform::ChildProcess(helperProgram(), arguments, platform::clientEnvironment());
}

// The helper's exit status once it has ended by itself (-1 when it had to be stopped).
inline int helperExit(const std::vector<std::string>& arguments) {
    platform::ChildProcess p = startHelper(arguments);
    if (!waitEnded(p)) {
        p.kill();
        return -1;
    }
    return p.exitCode();
}

// A helper that holds something until it is killed: started, then waited for until it says
// it holds it (its `ready` file, naming its process id). Fails the test when it does not.
class HeldByHelper {
  public:
    HeldByHelper(std::vector<std::string> arguments, const std::string& ready)
        : process_(startHelper(arguments)) {
        if (!waitForFile(ready)) {
            process_.ended();
            ADD_FAILURE() << "the helper never held it (exit " << process_.exitCode() << ": "
                          << process_.output() << ")";
            return;
        }
        pid_ = std::stol(readFile(ready));
    }
    long pid() const { return pid_; }
    // Ends it as a killed program ends: nothing of it lets go in an orderly way.
    void kill() { process_.kill(); }

  private:
    platform::ChildProcess process_;
    long pid_ = 0;
};

}  // namespace testsupport
