#include "app/headless.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

#include "app/headless_port.h"
#include "app/no_chooser.h"
#include "app/program.h"
#include "core/errors.h"
#include "core/text.h"

namespace app {
namespace {

const char kUsage[] = "usage: importarfac [--headless [--pause-ms N] [--lock-timeout SECONDS]]\n";

// A whole number of at least `least`, or nothing.
std::optional<int> numberArgument(const char* text, int least) {
    try {
        const int n = core::parseInt32(text);
        if (n >= least) return n;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// Runs a handler as the event loop would: a failure is shown with its own text.
template <typename F>
bool guarded(UiPort& port, F&& f) {
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

void printSummary(const importer::RunSummary& s) {
    std::printf("files: found %d, read %d, removed %d, kept %d, not openable %d\n", s.filesFound,
                s.filesRead, s.filesRemoved, s.filesKept, s.filesNotOpenable);
    std::printf("invoices: saved %d, duplicates %d, refused %d\n", s.invoicesSaved, s.duplicates,
                s.refused);
}

}  // namespace

bool wantsHeadless(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0) return true;
    return false;
}

int runHeadless(int argc, char** argv) {
    int pauseMs = 1000;
    std::optional<int> lockTimeout;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--headless") continue;
        std::optional<int> n;
        if ((a == "--pause-ms" || a == "--lock-timeout") && i + 1 < argc)
            n = numberArgument(argv[++i], a == "--pause-ms" ? 0 : 1);
        if (n && a == "--pause-ms") {
            pauseMs = *n;
            continue;
        }
        if (n) {
            lockTimeout = *n;
            continue;
        }
        std::fputs(kUsage, stderr);
        return 2;
    }

    HeadlessPort port;
    NoChooser chooser;
    Program p(port, chooser, pauseMs);
    if (lockTimeout) {
        for (fb::Connection* c : {&p.fdm.Quorvan, &p.fdm.General, &p.fdm.ConReplica})
            c->setParam("LockTimeout", std::to_string(*lockTimeout));
    }
    ImportWindow& w = p.window;
    guarded(port, [&] { w.FormCreate(); });  // a failure leaves the boxes empty, as on screen
    // Before anything connects: a run of another process on the same folder goes on alone.
    if (!w.lockRun()) {
        port.information(w.anotherRunText());
        return kAnotherRun;
    }

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
    w.CiaAct = f.Cia.text;  // as the unattended start does
    bool ok = guarded(port, [&] { w.runImport(); });
    printSummary(w.lastRun());
    if (w.lastRun().anotherRun) return kAnotherRun;
    return ok && w.lastRun().reachedEnd ? 0 : 1;
}

}  // namespace app
