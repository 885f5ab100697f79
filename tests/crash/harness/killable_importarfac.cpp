// The headless program with a kill switch, for the crash tests only: the same entry as
// `importarfac --headless`, plus a counter of the moments at which a crash matters. Every
// statement the program sends counts as one event (counted before it is sent), and so does
// each phase of a distributed commit (before it starts) and each call of the run to the
// operating system (through a FaultEnv): the removal of a flat file once just before it and
// once just after it, every other call once, before it.
//
//   CRASH_KILL_AT=N    the process sends itself SIGKILL at event N (1 is the first), before
//                      that event's action: nothing after it happens, and nothing unwinds.
//   CRASH_TRACE=FILE   every event is appended to FILE as "N<TAB>kind<TAB>text<TAB>time", one
//                      line each, written through before the event's action; kinds are "sql",
//                      "prepare" and "commit" (the two phases of a distributed commit, no text),
//                      "delete" (a flat file is about to be deleted), "deleted" (it just
//                      was, and nothing else has happened since) and "env" (another call to the
//                      system, its text the call and its path); time is the monotonic clock
//                      in nanoseconds, which other processes (a proxy) read too.
//   CRASH_SAVE_PATH=block
//                      each invoice is stored as one block, as over a network; otherwise
//                      statement by statement, also on a server.
//   CRASH_PAUSE_SQL=TEXT, CRASH_PAUSE_MS=N
//                      the process sleeps N milliseconds before each statement that holds
//                      TEXT, so that two processes meet in the moments around it.
#include <QCoreApplication>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/headless.h"
#include "fb/connection.h"
#include "fb/sql_text.h"
#include "tests/support/fault_env.h"

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

}  // namespace

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
    // Every call of the run to the operating system is an event too; the removal of a flat file
    // is told apart ("delete" just before it, "deleted" just after).
    testsupport::FaultEnv env;
    env.sleeps = true;
    env.onEvent = [](const testsupport::FaultEnv::Event& e) {
        if (e.kind == "delete" || e.kind == "deleted") event(e.kind.c_str(), e.text);
        // A removal on the server is confirmed (its script and queue entry removed) whenever
        // its client ends, which no two runs share: no moment a kill could be aimed at.
        else if (e.kind != "removeFileDurably")
            event("env", e.kind + " " + e.text);
    };
    QCoreApplication application(argc, argv);
    const char* path = std::getenv("CRASH_SAVE_PATH");
    using SavePath = importer::InvoiceImporter::SavePath;
    const SavePath savePath =
        path && std::strcmp(path, "block") == 0 ? SavePath::Block : SavePath::Statements;
    return app::runHeadless(argc, argv, env, hooks, savePath);
}
