// A TCP proxy on 127.0.0.1 that stands for a slow link: every chunk of bytes is passed on
// after a fixed delay in its direction, and the round trips are counted. A round trip is a
// request that follows an answer: bytes from the client after the server last spoke on that
// connection (or the connection's first bytes).
//
// Usage: delay_proxy --target PORT [--delay-us N | --delay-ms N] [--max-seconds S]
//                    [--stats FILE] [--trace FILE] [--cut-at N [--cut-answer]]
//   Listens on a free port of 127.0.0.1 and prints it on the first line of standard output;
//   forwards to 127.0.0.1:PORT, delaying each direction by N microseconds (default 2500) or
//   milliseconds. It stops on SIGTERM or SIGINT, or after --max-seconds (default 600), and
//   then writes "round_trips N connections N bytes N" to the stats file (default: standard
//   output). At most 64 connections and 64 MiB waiting at once: a client beyond them is
//   refused, a link beyond them dropped.
//   --trace appends "N<TAB>time" for each round trip as it starts (N from 1 over every
//   connection; time: the monotonic clock in nanoseconds, as other processes read it).
//   --cut-at drops the link that starts round trip N, as a network failure would: before its
//   request is passed on, or with --cut-answer once the request is passed on and the server
//   has answered, without the answer. Later links pass.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t stopping = 0;
void onSignal(int) {
    stopping = 1;
}

constexpr size_t kMaxConnections = 64;
constexpr size_t kMaxWaiting = 64u << 20;

struct Chunk {
    Clock::time_point due;
    std::string bytes;
};

// One direction of a connection: what was read from `from` and waits to go to `to`.
struct Pipe {
    int from = -1, to = -1;
    std::deque<Chunk> waiting;
    size_t offset = 0;  // of the front chunk already written
    bool fromClosed = false;
};

struct Link {
    Pipe up, down;            // client to server, server to client
    bool serverSpoke = true;  // so that the first request counts
    bool dead = false;
    bool cutOnAnswer = false;  // the server's next bytes end the link
};

int listenOnLoopback(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0)
        return -1;
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

int connectLoopback(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void noDelay(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

int main(int argc, char** argv) {
    int target = 0;
    long delayUs = 2500;
    long maxSeconds = 600;
    std::string stats, traceFile;
    unsigned long long cutAt = 0;
    bool cutAnswer = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--target" && i + 1 < argc) {
            target = std::atoi(argv[++i]);
        } else if (a == "--delay-ms" && i + 1 < argc) {
            delayUs = std::atol(argv[++i]) * 1000;
        } else if (a == "--delay-us" && i + 1 < argc) {
            delayUs = std::atol(argv[++i]);
        } else if (a == "--max-seconds" && i + 1 < argc) {
            maxSeconds = std::atol(argv[++i]);
        } else if (a == "--stats" && i + 1 < argc) {
            stats = argv[++i];
        } else if (a == "--trace" && i + 1 < argc) {
            traceFile = argv[++i];
        } else if (a == "--cut-at" && i + 1 < argc) {
            cutAt = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--cut-answer") {
            cutAnswer = true;
        } else {
            std::fprintf(stderr,
                         "usage: delay_proxy --target PORT [--delay-ms N | --delay-us N] "
                         "[--max-seconds S] [--stats FILE] [--trace FILE] "
                         "[--cut-at N [--cut-answer]]\n");
            return 2;
        }
    }
    if (target <= 0 || target > 65535) {
        std::fprintf(stderr, "delay_proxy: --target PORT is needed\n");
        return 2;
    }
    ::signal(SIGTERM, onSignal);
    ::signal(SIGINT, onSignal);
    ::signal(SIGPIPE, SIG_IGN);

    uint16_t port = 0;
    const int listener = listenOnLoopback(port);
    if (listener < 0) {
        std::perror("delay_proxy: listen");
        return 1;
    }
    std::FILE* trace = traceFile.empty() ? nullptr : std::fopen(traceFile.c_str(), "a");
    if (!traceFile.empty() && !trace) {
        std::perror("delay_proxy: trace");
        return 1;
    }
    std::printf("%u\n", port);
    std::fflush(stdout);

    const auto delay = std::chrono::microseconds(delayUs);
    const auto deadline = Clock::now() + std::chrono::seconds(maxSeconds);
    std::vector<std::unique_ptr<Link>> links;
    unsigned long long roundTrips = 0, connections = 0, bytes = 0;
    size_t waitingBytes = 0;
    char buffer[65536];

    while (!stopping && Clock::now() < deadline) {
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        std::vector<std::pair<Link*, Pipe*>> owners{{nullptr, nullptr}};
        const Clock::time_point now = Clock::now();
        Clock::time_point next = now + std::chrono::milliseconds(100);
        for (auto& l : links) {
            for (Pipe* p : {&l->up, &l->down}) {
                if (!p->fromClosed) {
                    fds.push_back({p->from, POLLIN, 0});
                    owners.push_back({l.get(), p});
                }
                if (!p->waiting.empty()) {
                    if (p->waiting.front().due <= now) {
                        fds.push_back({p->to, POLLOUT, 0});
                        owners.push_back({l.get(), p});
                    } else if (p->waiting.front().due < next) {
                        next = p->waiting.front().due;
                    }
                }
            }
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now);
        const int timeout = static_cast<int>(std::max<long long>(0, wait.count()));
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;

        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                const int server = links.size() < kMaxConnections ? connectLoopback(target) : -1;
                if (server < 0) {
                    ::close(client);
                } else {
                    noDelay(client);
                    noDelay(server);
                    auto l = std::make_unique<Link>();
                    l->up.from = l->down.to = client;
                    l->up.to = l->down.from = server;
                    links.push_back(std::move(l));
                    ++connections;
                }
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            Link* l = owners[i].first;
            Pipe* p = owners[i].second;
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR) && fds[i].fd == p->from) {
                const ssize_t n = ::read(p->from, buffer, sizeof buffer);
                if (n <= 0) {
                    p->fromClosed = true;
                } else if (waitingBytes + size_t(n) > kMaxWaiting) {
                    l->dead = true;
                } else if (p == &l->down && l->cutOnAnswer) {
                    l->dead = true;  // the answer is lost with the link
                } else {
                    if (p == &l->up && l->serverSpoke) {
                        ++roundTrips;
                        if (trace) {
                            const auto t = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                Clock::now().time_since_epoch());
                            std::fprintf(trace, "%llu\t%lld\n", roundTrips,
                                         static_cast<long long>(t.count()));
                            std::fflush(trace);
                        }
                        if (roundTrips == cutAt) {
                            if (!cutAnswer) {
                                l->dead = true;  // the request never arrives
                                continue;
                            }
                            l->cutOnAnswer = true;
                        }
                    }
                    l->serverSpoke = p == &l->down;
                    p->waiting.push_back({Clock::now() + delay, std::string(buffer, size_t(n))});
                    waitingBytes += size_t(n);
                    bytes += size_t(n);
                }
            }
            if (fds[i].revents & POLLOUT && fds[i].fd == p->to && !p->waiting.empty()) {
                Chunk& c = p->waiting.front();
                const ssize_t n =
                    ::write(p->to, c.bytes.data() + p->offset, c.bytes.size() - p->offset);
                if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    l->dead = true;
                } else if (n > 0) {
                    p->offset += size_t(n);
                    if (p->offset == c.bytes.size()) {
                        waitingBytes -= c.bytes.size();
                        p->waiting.pop_front();
                        p->offset = 0;
                    }
                }
            }
        }
        // A side that closed ends the link once what it sent has been passed on.
        for (auto& l : links) {
            for (Pipe* p : {&l->up, &l->down})
                if (p->fromClosed && p->waiting.empty()) l->dead = true;
            if (l->dead) {
                for (Pipe* p : {&l->up, &l->down})
                    for (const Chunk& c : p->waiting) waitingBytes -= c.bytes.size();
                ::close(l->up.from);
                ::close(l->up.to);
            }
        }
        std::erase_if(links, [](const std::unique_ptr<Link>& l) { return l->dead; });
    }
    for (auto& l : links) {
        ::close(l->up.from);
        ::close(l->up.to);
    }
    ::close(listener);
    if (trace) std::fclose(trace);

    std::FILE* out = stats.empty() ? stdout : std::fopen(stats.c_str(), "w");
    if (!out) return 1;
    std::fprintf(out, "round_trips %llu connections %llu bytes %llu\n", roundTrips, connections,
                 bytes);
    if (out != stdout) std::fclose(out);
    return 0;
}
