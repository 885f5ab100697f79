#pragma once
// The import run: one pass over the flat files of a folder. For each file it
// takes the point of sale and date from the name, switches the company connection when the
// company changes, reads the file through the flat-file reader, hands each summary record to
// the invoice steps and, when the file's last summary record is stored or already stored,
// hands the file to the clean-up. At the end it closes the window (through the port).
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "data/fdm.h"
#include "data/ui_port.h"
#include "import/flat_reader.h"
#include "import/run_context.h"
#include "import/run_inputs.h"
#include "import/run_observer.h"
#include "import/run_report.h"
#include "import/run_steps.h"
#include "import/window_buffers.h"
#include "platform/env.h"

namespace importer {

// What one run did, for the headless summary.
struct RunSummary {
    int filesFound = 0;
    int filesRead = 0;
    int filesRemoved = 0;
    int filesKept = 0;
    int filesNotOpenable = 0;
    int filesNotReached = 0;  // after a failure that stopped the run
    int invoicesSaved = 0;
    int duplicates = 0;
    int refused = 0;
    // The removals on the server that ended in this run (earlier runs' queued ones included).
    int remoteRemoved = 0;
    int remoteFailed = 0;
    int remoteTimedOut = 0;
    int remoteNotStarted = 0;
    bool remoteConfigured = true;  // false: finished files were removed here only
    std::string openLineFile;      // the file the open line came from, if it was a file
    // Transactions earlier runs left in limbo (a check: what it would do with them).
    int limboCommitted = 0, limboRolledBack = 0, limboLeft = 0;
    bool reachedEnd = false;  // the run got to its normal end (the window closed)
    bool anotherRun = false;  // another run held the folder: this one did nothing
    // The rows a person must look at (ReportRow::attention), in the order they came.
    std::vector<ReportRow> attention;
};

// How a run goes, beyond what the window's boxes say. The window runs with the defaults but
// for the databases the program wires in. (A dry run is no option of the run: it is a run
// built of the check's kinds of invoice steps, clean-up and databases, import/invoice_checker.h
// and import/check_cleanup.h.)
struct RunOptions {
    // A failure inside one file (but a lost connection) rolls back the invoice being stored,
    // keeps the file, reports it and goes on with the next file, instead of stopping the run.
    bool keepGoing = false;
    // Where each row goes as soon as it is known; none: nowhere.
    RunReport* report = nullptr;
    // A file changed within the last this many seconds may still be being uploaded: it is
    // kept for the next run, as a file another program holds is. 0: every file is read.
    int settleSeconds = 0;
    // The branch connections and the limbo recovery, entered with each company the run
    // imports into; none: the run reaches no branch and resolves nothing.
    RunDatabases* databases = nullptr;
};

class ImportRun {
  public:
    // The run works in `context` and reports through `observer` and `port`; the references
    // are kept for its lifetime.
    // Its files are listed through `env`, read as `cleanup` holds them, their times against
    // `env`'s clock.
    ImportRun(RunInputs inputs, RunContext& context, RunObserver& observer, data::UiPort& port,
              data::Tfdm& fdm, const InvoiceBuffers& buffers, InvoiceSteps& steps,
              FileCleanup& cleanup, platform::Env& env, const RunOptions& options = {});

    // The whole run. A failure that stops it propagates to the caller with the open file
    // and the buffers released; the window then stays open.
    void run();
    const RunSummary& summary() const { return summary_; }

  private:
    // What became of a file read to its end, before its clean-up.
    struct FileVerdict {
        bool keep = false;
        std::string reason;
        bool attention = false;
    };

    void importFile(const std::string& direc, const std::string& name);
    void readAndCleanUp(platform::HeldFile& file, const std::string& direc,
                        const std::string& name);
    FileVerdict readFile(platform::HeldFile& file, const std::string& direc,
                         const std::string& name);
    ReportRow importRecord(const SummaryRecord& record, const std::string& name, int number);
    void switchCompany();
    // Before the first file of a company: its transactions in limbo, once per run.
    void enterCompany(const std::string& direc);
    void log(const std::string& direc, const std::string& text);
    // A file's row, counted and reported; `removalStarted`: the clean-up removed it and started
    // (or, not configured, did not need) its removal on the server.
    void fileRow(const std::string& name, Outcome outcome, std::string reason, bool attention,
                 bool removalStarted = false);
    void report(const ReportRow& row);
    // The removals on the server that ended, a row each; a failure is logged and calls a
    // person.
    void reportRemote(const std::vector<RemoteRemoval>& removals, const std::string& direc);
    // Waits for the removals still running; on the way out of a failed run too.
    void finishRemote(const std::string& direc);

    RunInputs in_;
    RunContext& c_;
    RunObserver& observer_;
    data::UiPort& port_;
    data::Tfdm& fdm_;
    InvoiceBuffers b_;
    InvoiceSteps& steps_;
    FileCleanup& cleanup_;
    platform::Env& env_;
    RunOptions options_;
    FlatReader reader_;  // one per run: a delimited stretch carries over between files
    RunSummary summary_;
    // The file's company and prefix as far as they are known, for its report rows.
    std::string company_, prefix_;
    RemoteSetup remote_;
    bool remoteBegun_ = false;
    // The company and prefix of each file whose removal on the server this run started.
    std::map<std::string, std::pair<std::string, std::string>> removing_;
    std::set<std::string> entered_;  // companies whose limbo has been looked into
};

// The folder's flat files ("[RDE*.txt", letter case ignored).
struct FlatFiles {
    std::vector<std::string> names;  // regular files, sorted
    // Entries whose names have no Windows-1252 form, so that no path text of the program
    // names them: as a message shows them, each such character a '?'.
    std::vector<std::string> unnamed;
    // Entries named so that are no regular files: symbolic links, folders, FIFOs, devices.
    std::vector<std::string> notFiles;
};
FlatFiles findFlatFiles(platform::Env& env, const std::string& direc);

// "removed", "failed", "timed out", "not started": the report's remote column.
const char* remoteOutcomeName(RemoteOutcome outcome);

// The folder text with a trailing path separator added when it lacks one.
std::string withSeparator(const std::string& folder);

}  // namespace importer
