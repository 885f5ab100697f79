#pragma once
// What the import run hands each summary record and each finished file to.
#include <string>

#include <optional>
#include <vector>

#include "core/money.h"
#include "import/summary_fields.h"
#include "platform/exclusive_file.h"

namespace importer {

enum class RecordOutcome {
    Stored,     // the invoice was saved (totals, posting and copies follow it)
    Duplicate,  // an invoice of that prefix and day was already stored
    Refused,    // the database refused the invoice; nothing of it was kept
};

// What became of one summary record, and what its invoice was.
struct InvoiceResult {
    InvoiceResult(RecordOutcome o = RecordOutcome::Stored) : outcome(o) {}  // NOLINT: implicit
    RecordOutcome outcome;
    std::string number;  // FACT_NUMERO, the day as yyyymmdd
    std::string id;      // FACT_ID stored, or of the invoice found already stored; or none
    std::optional<core::Money> total, vat;  // the sums of its lines
    int lines = -1;                         // -1: not known
    int copied = -1, pending = -1;          // branch copies made, branches recorded pending
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
};

// Copies the invoice just saved (the current row of the header buffer, with its lines) to
// the branch databases that ask for it.
class InvoiceReplication {
  public:
    virtual ~InvoiceReplication() = default;
    virtual BranchCopies replicate() = 0;
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
    // At the start of a run: the removals an earlier run left unconfirmed start again.
    virtual RemoteSetup begin() { return {}; }
    virtual CleanupOutcome cleanUp(const std::string& direc, const std::string& name,
                                   platform::ExclusiveFile& file) = 0;
    // The removals on the server that ended since the last call; never waits.
    virtual std::vector<RemoteRemoval> ended() { return {}; }
    // Waits for every removal still running (each for a bounded time) and gives those that
    // ended since the last call.
    virtual std::vector<RemoteRemoval> finish() { return {}; }
};

}  // namespace importer
