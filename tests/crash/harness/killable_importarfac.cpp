// The headless program with a kill switch, for the crash tests only: the same entry as
// `importarfac --headless`, plus a counter of the moments at which a crash matters. Every
// statement the program sends counts as one event (counted before it is sent), and so does
// each phase of a distributed commit (before it starts) and each deletion of a flat file, once
// just before it is set aside for removal and once just after it is gone.
//
//   CRASH_KILL_AT=N    the process sends itself SIGKILL at event N (1 is the first), before
//                      that event's action: nothing after it happens, and nothing unwinds.
//   CRASH_TRACE=FILE   every event is appended to FILE as "N<TAB>kind<TAB>text<TAB>time", one
//                      line each, written through before the event's action; kinds are "sql",
//                      "prepare" and "commit" (the two phases of a distributed commit, no text),
//                      "delete" (a flat file is about to be deleted) and "deleted" (it just
//                      was, and nothing else has happened since); time is the monotonic clock
//                      in nanoseconds, which other processes (a proxy) read too.
//   CRASH_PAUSE_SQL=TEXT, CRASH_PAUSE_MS=N
//                      the process sleeps N milliseconds before each statement that holds
//                      TEXT, so that two processes meet in the moments around it.
#include <QCoreApplication>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "app/headless.h"
#include "fb/connection.h"
#include "fb/sql_text.h"
#include "platform/exclusive_file.h"

namespace {

struct Events {
    uint64_t count = 0;
    uint64_t killAt = 0;  // 0: never
    std::FILE* trace = nullptr;
    std::string pauseBefore;  // empty: never
    unsigned pauseMs = 0;
};

Events& events() {
    static Events e;
    return e;
}

void event(const char* kind, const std::string& text) {
    Events& e = events();
    ++e.count;
    if (e.trace) {
        std::string line = text;
        for (char& c : line)
            if (c == '\n' || c == '\r' || c == '\t') c = ' ';
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::fprintf(e.trace, "%llu\t%s\t%s\t%lld\n", static_cast<unsigned long long>(e.count),
                     kind, line.c_str(),
                     static_cast<long long>(
                         std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
        std::fflush(e.trace);
    }
    if (e.count == e.killAt) std::raise(SIGKILL);
    if (!e.pauseBefore.empty() && std::strcmp(kind, "sql") == 0 &&
        text.find(e.pauseBefore) != std::string::npos)
        ::usleep(e.pauseMs * 1000);
}

bool isFlatFile(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return (slash ? slash[1] : path[0]) == '[';
}

// The name a flat file is set aside under on its way out, or nothing for another name.
std::optional<std::string> setAsideFrom(const char* path) {
    const std::string p = path, suffix = platform::ExclusiveFile::kSetAside;
    if (!isFlatFile(path) || p.size() <= suffix.size() ||
        p.compare(p.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::nullopt;
    return p.substr(0, p.size() - suffix.size());
}

}  // namespace

// Take the place of the C library's rename() and remove(), which a flat file's deletion goes
// through (set aside, then removed), so that it is an event too; other files are renamed and
// removed as usual.
extern "C" int rename(const char* from, const char* to) {
    if (setAsideFrom(to)) event("delete", from);
    return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
}

extern "C" int remove(const char* path) {
    const std::optional<std::string> flatFile = setAsideFrom(path);
    const bool counted = flatFile || isFlatFile(path);
    if (counted && !flatFile) event("delete", path);
    int r = ::unlink(path);
    if (r != 0 && errno == EISDIR) r = ::rmdir(path);
    if (counted) {
        const int saved = errno;
        event("deleted", flatFile ? flatFile->c_str() : path);
        errno = saved;
    }
    return r;
}

int main(int argc, char** argv) {
    Events& e = events();
    if (const char* at = std::getenv("CRASH_KILL_AT")) e.killAt = std::strtoull(at, nullptr, 10);
    if (const char* trace = std::getenv("CRASH_TRACE")) {
        e.trace = std::fopen(trace, "a");
        if (!e.trace) {
            std::perror(trace);
            return 3;
        }
    }
    if (const char* text = std::getenv("CRASH_PAUSE_SQL")) e.pauseBefore = text;
    if (const char* ms = std::getenv("CRASH_PAUSE_MS")) e.pauseMs = std::strtoul(ms, nullptr, 10);
    fb::ConnectionHooks hooks;
    // The values written in: the trace names the invoice a statement is for.
    hooks.statement = [](const std::string& sql, const std::vector<fb::Value>& p) {
        event("sql", fb::renderSql(sql, p));
    };
    hooks.phase = [](const char* phase) { event(phase, ""); };
    QCoreApplication application(argc, argv);
    return app::runHeadless(argc, argv, hooks);
}
