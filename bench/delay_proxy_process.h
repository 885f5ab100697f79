#pragma once
// bench/delay_proxy.cpp run beside a benchmark: started on a free port of 127.0.0.1 in front
// of a server port, stopped with its count of round trips. With a delay of 0 it only counts.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/child_process.h"

namespace bench {

class DelayProxy {
  public:
    // `program` is the delay_proxy to run; its stats and errors go to files in `dir`; `extra`
    // are further options (a trace, a cut).
    DelayProxy(const std::string& program, const std::string& dir, int serverPort, long delayUs,
               const std::vector<std::string>& extra = {})
        : stats_(dir + "/proxy.stats") {
        std::vector<std::string> args = {program,
                                         "--target",
                                         std::to_string(serverPort),
                                         "--delay-us",
                                         std::to_string(delayUs),
                                         "--max-seconds",
                                         "3600",
                                         "--stats",
                                         stats_};
        args.insert(args.end(), extra.begin(), extra.end());
        int out = -1;
        SpawnOptions options;
        options.stdoutPipe = &out;
        pid_ = spawn(args, dir + "/proxy.err", options);
        // Its first line is the port it listens on.
        char line[32] = {};
        size_t got = 0;
        while (got < sizeof line - 1) {
            const ssize_t n = ::read(out, line + got, 1);
            if (n <= 0 || line[got] == '\n') break;
            ++got;
        }
        ::close(out);
        port_ = std::atoi(line);
        if (port_ <= 0) {
            stop();
            throw std::runtime_error("delay_proxy gave no port");
        }
    }
    ~DelayProxy() {
        if (pid_ > 0) stop();
    }
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    int port() const { return port_; }

    // Stops it; the round trips it counted (-1 if it wrote none).
    long long stop() {
        if (pid_ <= 0) return -1;
        ::kill(pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        std::ifstream in(stats_);
        std::string word;
        long long n = -1;
        in >> word >> n;
        return n;
    }

  private:
    std::string stats_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace bench
