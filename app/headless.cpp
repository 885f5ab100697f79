#include "app/headless.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "app/headless_port.h"
#include "app/no_chooser.h"
#include "app/program.h"
#include "core/errors.h"
#include "core/text.h"
#include "import/csv_report.h"
#include "platform/file_names.h"

namespace app {
namespace {

const char kUsage[] =
    "usage: importarfac [--headless [--pause-ms N] [--lock-timeout SECONDS] [--report FILE]\n"
    "                               [--keep-going] [--check]]\n";

struct Options {
    int pauseMs = 1000;
    std::optional<int> lockTimeout;
    std::optional<std::string> report;  // a path text of the program
    bool keepGoing = false;
    bool check = false;
};

// A whole number of at least `least`, or nothing.
std::optional<int> numberArgument(const char* text, int least) {
    try {
        const int n = core::parseInt32(text);
        if (n >= least) return n;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool valued = a == "--pause-ms" || a == "--lock-timeout" || a == "--report";
        if (valued && i + 1 >= argc) return std::nullopt;
        if (a == "--headless") {
            continue;
        } else if (a == "--keep-going") {
            o.keepGoing = true;
        } else if (a == "--check") {
            o.check = true;
        } else if (a == "--report") {
            // The command line holds the system's name of the file.
            o.report = platform::programText(argv[++i]);
            if (!o.report || o.report->empty()) return std::nullopt;
        } else if (a == "--pause-ms") {
            std::optional<int> n = numberArgument(argv[++i], 0);
            if (!n) return std::nullopt;
            o.pauseMs = *n;
        } else if (a == "--lock-timeout") {
            o.lockTimeout = numberArgument(argv[++i], 1);
            if (!o.lockTimeout) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return o;
}

// Runs a handler as the event loop would: a failure is shown with its own text.
template <typename F>
bool guarded(data::UiPort& port, F&& f) {
    try {
        f();
        return true;
    } catch (const core::SilentAbort&) {
        return false;
    } catch (const std::exception& e) {
        port.failure(e.what());
        return false;
    }
}

void printUtf8(const std::string& cp1252) {
    const std::string utf8 = core::cp1252ToUtf8(cp1252) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

void printSummary(const importer::RunSummary& s, bool check) {
    if (check) std::printf("check: nothing was written; what a run would do:\n");
    std::printf("files: found %d, read %d, removed %d, kept %d, not openable %d\n", s.filesFound,
                s.filesRead, s.filesRemoved, s.filesKept, s.filesNotOpenable);
    std::printf("invoices: saved %d, duplicates %d, refused %d\n", s.invoicesSaved, s.duplicates,
                s.refused);
    if (s.limboCommitted + s.limboRolledBack + s.limboLeft > 0)
        std::printf("limbo transactions of earlier runs: committed %d, rolled back %d, left %d\n",
                    s.limboCommitted, s.limboRolledBack, s.limboLeft);
    // What a person must look at, one line each.
    for (const importer::ReportRow& r : s.attention) {
        std::string where = r.file.empty() ? "company " + r.company : r.file;
        if (r.record > 0) where += " record " + std::to_string(r.record);
        printUtf8(std::string(importer::outcomeName(r.outcome)) + ": " + where + ": " + r.reason);
    }
}

}  // namespace

bool wantsHeadless(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0) return true;
    return false;
}

int runHeadless(int argc, char** argv) {
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    HeadlessPort port;
    NoChooser chooser;
    Program p(port, chooser, options->pauseMs);
    if (options->lockTimeout) {
        for (fb::Connection* c : {&p.fdm.Quorvan, &p.fdm.General, &p.fdm.ConReplica})
            c->setParam("LockTimeout", std::to_string(*options->lockTimeout));
    }
    ImportWindow& w = p.window;
    w.runOptions.keepGoing = options->keepGoing;
    w.runOptions.checkOnly = options->check;
    p.steps.setCheckOnly(options->check);
    guarded(port, [&] { w.FormCreate(); });  // a failure leaves the boxes empty, as on screen
    // Before anything connects: a run of another process on the same folder goes on alone.
    if (!w.lockRun()) {
        port.information(w.anotherRunText());
        return kAnotherRun;
    }
    std::unique_ptr<importer::CsvReport> report;
    if (options->report &&
        !guarded(port, [&] { report = std::make_unique<importer::CsvReport>(*options->report); }))
        return 1;
    w.runOptions.report = report.get();

    FormModel& f = w.form;
    if (f.Servidor.text.empty() || f.Tusua.text.empty() || f.TClave.text.empty() ||
        f.Cia.text.empty()) {
        std::fputs(
            "importarfac: settings.conf gives no server, user, password or company; "
            "no connection\n",
            stderr);
        return 1;
    }
    bool connected = false;
    if (!guarded(port, [&] { connected = w.connectDatabases(); }) || !connected) return 1;
    w.context.CiaAct = f.Cia.text;  // as the unattended start does
    bool ok = guarded(port, [&] { w.runImport(); });
    const importer::RunSummary& s = w.lastRun();
    printSummary(s, options->check);
    if (s.anotherRun) return kAnotherRun;
    if (!ok || !s.reachedEnd) return 1;
    return s.attention.empty() ? 0 : kNeedsAttention;
}

}  // namespace app
