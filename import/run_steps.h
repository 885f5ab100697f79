#pragma once
// What the import run hands each summary record and each finished file to.
#include <optional>
#include <string>
#include <vector>

#include "core/money.h"
#include "fb/connection.h"
#include "import/summary_fields.h"
#include "platform/env.h"

namespace importer {

enum class RecordOutcome {
    Stored,     // the invoice was saved with its totals, posting and copies
    Duplicate,  // an invoice of that prefix and day was already stored
    Refused,    // the database refused the invoice; nothing of it was kept
};

// What became of one summary record, and what its invoice was.
struct InvoiceResult {
    InvoiceResult(RecordOutcome o = RecordOutcome::Stored) : outcome(o) {}  // NOLINT: implicit
    RecordOutcome outcome;
    std::string number;  // FACT_NUMERO, the day as yyyymmdd
    std::string id;      // FACT_ID stored, or of the invoice found already stored; or none
    std::optional<core::Money> total, vat;   // the sums of its lines
    int lines = -1;                          // -1: not known
    int copied = -1, pending = -1;           // branch copies made, branches recorded pending
    std::vector<std::string> refusedCopies;  // BranchCopies::refused
};

// Turns one summary record into an invoice of the company database.
class InvoiceSteps {
  public:
    virtual ~InvoiceSteps() = default;
    virtual InvoiceResult importRecord(const SummaryRecord& record) = 0;
};

struct BranchCopies {
    int copied = 0;   // branches that hold a copy now
    int pending = 0;  // branches out of reach, recorded as pending
    // For each branch that refused its copy and keeps nothing of it: the branch and what it
    // was shown.
    std::vector<std::string> refused;
};

// Copies the invoice being stored (the pending header of the header buffer, with its lines)
// to the branch databases that ask for it, as part of the invoice's own transaction.
class InvoiceReplication {
  public:
    virtual ~InvoiceReplication() = default;
    // Before the invoice's transaction: reads the branch rows that ask for its prefix and
    // point of sale and reaches the branch databases they name (each connected once per run).
    // The connections of those reached, each once: the invoice's transaction spans them, and
    // the company's after them. None: the company's transaction alone, as without branches.
    virtual std::vector<fb::Connection*> prepareCopies() = 0;
    // In `tra` (that transaction), after the posting, for each of those rows in their order:
    // the copy into its branch, or the pending row of a branch out of reach. A branch that
    // refuses its copy keeps nothing of it and is named in `refused`; a lock conflict or a
    // lost connection is thrown, for the whole transaction.
    virtual BranchCopies copy(const fb::Transaction& tra) = 0;
    // For a check, after prepareCopies: what copy() would do, with nothing written and no id
    // drawn. The pending rows' statement is prepared in `tra`; for each branch reached, the
    // copy is filled as copy() fills it and its statements (the id procedure, the header's and
    // the lines' inserts) are prepared there. A branch that would refuse its copy at that is
    // named in `refused`, with the text copy() would give it.
    virtual BranchCopies check(const fb::Transaction& tra) = 0;
    // Instead of prepareCopies, when the branch rows read for an earlier invoice of this run
    // with the same prefix and point of sale asked for no copy: true plans no copy and reads
    // nothing, and the invoice's transaction must then find no branch row that could ask for
    // it (storeInvoice's block does), or be rolled back and stored after prepareCopies.
    virtual bool presumeNoCopies() { return false; }
};

// What became of one transaction that an earlier run left in limbo.
struct LimboOutcome {
    enum class Action {
        Committed,   // committed in every database reached (a check: would be)
        RolledBack,  // rolled back in every database reached (a check: would be)
        Left,        // not decided or not finished now: a database is out of reach, or another
                     // process holds the transaction
    };
    Action action = Action::Left;
    std::string text;        // the log line: what was done, to which transaction in which databases
    bool attention = false;  // its parts disagree: a person must look
};

// Beside the company database: the branch connections a run keeps, and the transactions an
// earlier run left in limbo in those databases.
class RunDatabases {
  public:
    virtual ~RunDatabases() = default;
    // The company connection now holds the company the run imports into next (at the run's
    // start, and after each switch): resolves the transactions an earlier run left in limbo
    // in it and in the branch databases its branch rows name (a check's only tells what it
    // would do).
    virtual std::vector<LimboOutcome> enterCompany() = 0;
    // The run is over, however it ended: the branch connections close.
    virtual void endRun() noexcept = 0;
};

// What became of a file handed to the clean-up.
enum class CleanupOutcome {
    Removed,     // deleted here; its removal on the server started (when one is configured)
    NotDeleted,  // the system refused to delete it here (the next run finds its invoices
                 // stored); its removal on the server started (when one is configured)
    Changed,     // written to or replaced since it was read: kept here and on the server
    UnsafeName,  // a name the transfer script cannot carry: kept here and on the server
};

// How the removal of a flat file from the remote server ended.
enum class RemoteOutcome {
    Removed,     // the client confirmed it, or found the file gone already
    Failed,      // the client ended with a failure
    TimedOut,    // the client did not end in time and was stopped
    NotStarted,  // no client could be started for it
};

struct RemoteRemoval {
    std::string name;      // the flat file's name, without folder
    bool earlier = false;  // left unconfirmed by an earlier run, which removed the file here
    RemoteOutcome outcome = RemoteOutcome::Removed;
    std::string detail;  // what happened, in the program's words; empty for a plain removal
};

// What a run learns of the remote removal when it starts.
struct RemoteSetup {
    bool configured = true;    // false: files are removed here only
    std::string openLineFile;  // the file the open line was read from, if it was a file
};

// Removes a file whose invoices are all stored, here and on the remote server. The file is
// handed over still open and locked, as it was read. The removals on the server run beside the
// import; the run asks for those that ended after each file, and waits for the rest at its end.
class FileCleanup {
  public:
    virtual ~FileCleanup() = default;
    // Whether it changes the folder of flat files at all: a run whose clean-up does takes the
    // folder's run lock and writes the folder's error log; a check's clean-up does not.
    virtual bool changesFolder() const { return true; }
    // At the start of a run over the folder `direc`: files an earlier run left half removed get
    // their names back, the removals it left unconfirmed start again.
    virtual RemoteSetup begin(const std::string& direc) {
        (void)direc;
        return {};
    }
    // Opens a flat file to read it as this clean-up needs it: held against every other
    // program, so that it is deleted only as it was read; a check's only looks (a program
    // beside it is not kept from the file). False when it cannot be opened (or is held).
    virtual std::unique_ptr<platform::HeldFile> hold(platform::Env& env, const std::string& path) {
        return env.holdFile(path, platform::ExclusiveFile::Links::DoNotFollow);
    }
    virtual CleanupOutcome cleanUp(const std::string& direc, const std::string& name,
                                   platform::HeldFile& file) = 0;
    // The removals on the server that ended since the last call; never waits.
    virtual std::vector<RemoteRemoval> ended() { return {}; }
    // Waits for every removal still running (each for a bounded time) and gives those that
    // ended since the last call.
    virtual std::vector<RemoteRemoval> finish() { return {}; }
};

}  // namespace importer
