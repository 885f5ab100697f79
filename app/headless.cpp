#include "app/headless.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "app/headless_port.h"
#include "app/no_chooser.h"
#include "app/program.h"
#include "app/settings_load.h"
#include "core/errors.h"
#include "core/text.h"
#include "import/csv_report.h"
#include "platform/file_names.h"
#include "platform/installation_dir.h"
#include "platform/private_files.h"
#include "platform/system.h"

namespace app {
namespace {

const char kUsage[] =
    "usage: importarfac [--headless [--pause-ms N] [--lock-timeout SECONDS]\n"
    "                               [--report FILE | --report-dir DIR] [--keep-going] [--check]\n"
    "                               [--remote-timeout SECONDS] [--settle SECONDS]\n"
    "                               [--stale-lock HOURS]]\n";

struct Options {
    int pauseMs = 1000;
    int remoteTimeout = 120;
    int settle = 0;
    int staleLockHours = 6;
    std::optional<std::string> reportDir;  // a path text of the program
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
        const bool valued = a == "--pause-ms" || a == "--lock-timeout" || a == "--report" ||
                            a == "--remote-timeout" || a == "--settle" || a == "--report-dir" ||
                            a == "--stale-lock";
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
        } else if (a == "--report-dir") {
            o.reportDir = platform::programText(argv[++i]);
            if (!o.reportDir || o.reportDir->empty()) return std::nullopt;
        } else if (a == "--settle") {
            std::optional<int> n = numberArgument(argv[++i], 0);
            if (!n) return std::nullopt;
            o.settle = *n;
        } else if (a == "--stale-lock") {
            std::optional<int> n = numberArgument(argv[++i], 1);
            if (!n) return std::nullopt;
            o.staleLockHours = *n;
        } else if (a == "--remote-timeout") {
            std::optional<int> n = numberArgument(argv[++i], 1);
            if (!n) return std::nullopt;
            o.remoteTimeout = *n;
        } else if (a == "--lock-timeout") {
            o.lockTimeout = numberArgument(argv[++i], 1);
            if (!o.lockTimeout) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (o.report && o.reportDir) return std::nullopt;  // one report a run
    return o;
}

// The report of the day in `dir`: importarfac-<yyyymmdd>.csv (a second one of the same day
// gets the next free number, see CsvReport).
std::string dailyReport(platform::Env& env, const std::string& dir) {
    const core::Date d = env.today();
    char day[16];
    std::snprintf(day, sizeof day, "%04d%02d%02d", d.year, d.month, d.day);
    return importer::withSeparator(dir) + "importarfac-" + day + ".csv";
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

void printSummary(const importer::RunSummary& s, bool check,
                  const std::vector<std::string>& warnings, const std::string& reportPath) {
    if (check) std::printf("check: nothing was written; what a run would do:\n");
    std::printf("files: found %d, read %d, removed %d, kept %d, not openable %d", s.filesFound,
                s.filesRead, s.filesRemoved, s.filesKept, s.filesNotOpenable);
    if (s.filesNotReached > 0) std::printf(", not reached %d", s.filesNotReached);
    std::printf("\n");
    std::printf("invoices: saved %d, duplicates %d, refused %d\n", s.invoicesSaved, s.duplicates,
                s.refused);
    if (!check && s.remoteConfigured)
        std::printf("remote: removed %d, failed %d, timed out %d, not started %d\n",
                    s.remoteRemoved, s.remoteFailed, s.remoteTimedOut, s.remoteNotStarted);
    else if (!check)
        std::printf(
            "remote: removal on the server is not configured (no transfer open line); "
            "finished files were removed here only\n");
    if (s.limboCommitted + s.limboRolledBack + s.limboLeft > 0)
        std::printf("limbo transactions of earlier runs: committed %d, rolled back %d, left %d\n",
                    s.limboCommitted, s.limboRolledBack, s.limboLeft);
    if (!reportPath.empty()) printUtf8("report: " + core::escapeControls(reportPath));
    for (const std::string& w : warnings) printUtf8("warning: " + core::oneLine(w));
    // What a person must look at, one line each.
    for (const importer::ReportRow& r : s.attention) {
        std::string where = r.file.empty() ? "company " + core::escapeControls(r.company)
                                           : core::escapeControls(r.file);
        if (r.record > 0) where += " record " + std::to_string(r.record);
        printUtf8(std::string(importer::outcomeName(r.outcome)) + ": " + where + ": " +
                  core::oneLine(r.reason));
    }
}

std::optional<std::string> installationDirectory(platform::Env& env) {
    try {
        return env.installationDirectory();
    } catch (const std::exception&) {
        return std::nullopt;  // an entry that is not text names no directory
    }
}

// Files that hold a password and that other users of this machine can read.
std::vector<std::string> permissionWarnings(platform::Env& env, const importer::RunSummary& s) {
    std::vector<std::string> files;
    if (std::optional<std::string> dir = installationDirectory(env); dir && !dir->empty())
        files.push_back(settingsPath(*dir));
    if (!s.openLineFile.empty()) files.push_back(s.openLineFile);
    std::vector<std::string> warnings;
    for (const std::string& f : files)
        if (env.readableByOthers(f))
            warnings.push_back(f + " holds a password and other users can read it (chmod 600)");
    return warnings;
}

}  // namespace

bool wantsHeadless(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0) return true;
    return false;
}

int runHeadless(int argc, char** argv, platform::Env& env, const fb::ConnectionHooks& hooks,
                importer::InvoiceImporter::SavePath savePath) {
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    HeadlessPort port;
    NoChooser chooser;
    importer::CleanupOptions cleanup;
    cleanup.pauseMs = options->pauseMs;
    cleanup.limits.timeoutSeconds = options->remoteTimeout;
    Program p(port, chooser, cleanup, options->check ? RunKind::Check : RunKind::Import, env);
    p.fdm.setConnectionHooks(hooks);
    p.importer.setSavePath(savePath);
    p.window.staleLockAfter = std::chrono::hours(options->staleLockHours);
    if (options->lockTimeout) p.fdm.setLockTimeout(*options->lockTimeout);
    ImportWindow& w = p.window;
    w.runOptions.keepGoing = options->keepGoing;
    w.runOptions.settleSeconds = options->settle;
    guarded(port, [&] { w.FormCreate(); });  // a failure leaves the boxes empty, as on screen
    // Before anything connects: a run of another process on the same folder goes on alone. One
    // that has held it for hours may hang, and a lock that is no file must be looked at: both
    // end this run as a failure, so that a person is called.
    if (const ImportWindow::RunLock lock = w.lockRun(); lock != ImportWindow::RunLock::Held) {
        if (lock == ImportWindow::RunLock::Busy) {
            port.information(w.lockRunText(lock));
            return kAnotherRun;
        }
        port.failure(w.lockRunText(lock));
        return 1;
    }
    std::unique_ptr<importer::CsvReport> report;
    if (options->report || options->reportDir) {
        const std::string path =
            options->report ? *options->report : dailyReport(env, *options->reportDir);
        if (!guarded(port, [&] { report = std::make_unique<importer::CsvReport>(env, path); }))
            return 1;
    }
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
    std::vector<std::string> warnings = permissionWarnings(env, s);
    if (!w.unwrittenLog().empty())
        warnings.push_back(w.unwrittenLog() +
                           " is not a regular file (a link, a folder, a FIFO or a device) or "
                           "cannot be written: its lines were not written");
    printSummary(s, options->check, warnings, report ? report->path() : std::string());
    if (s.anotherRun) return kAnotherRun;
    if (!ok || !s.reachedEnd) return 1;
    return s.attention.empty() ? 0 : kNeedsAttention;
}

}  // namespace app
