#pragma once
// What a run tells, row by row, of each flat file and each of its summary records, as soon as
// it is known: for a scheduled run's report, and for the exit status that calls a person.
#include <string>

namespace importer {

enum class Outcome {
    Stored,       // a record's invoice was stored, or its commit was cut off after every part
                  // was prepared, which the next run finishes (a check: would be stored)
    Duplicate,    // a record of a prefix and day already stored
    Refused,      // a record's invoice refused by the database, or failed and rolled back
    Skipped,      // a record not read (damaged, cut), or a file not read (unknown point of sale,
                  // a name without a Windows-1252 form)
    Kept,         // a file read and left in the folder
    NotOpenable,  // a file held by another program, or not readable
    NotReached,   // a file after the failure that stopped the run: read by the next run
    Removed,      // a file removed here, its removal on the server started (ReportRow::remote);
                  // a check: would be
    Remote,       // how the removal of a file on the server ended (ReportRow::remote)
    // A transaction an earlier run left in limbo (neither file nor record), before the run
    // imports into its company: committed, rolled back, or left for a later run.
    LimboCommitted,
    LimboRolledBack,
    LimboLeft,
};
// "stored", "duplicate", "refused", "skipped", "kept", "not_openable", "not_reached",
// "removed", "remote", "limbo_committed", "limbo_rolled_back", "limbo_left".
const char* outcomeName(Outcome outcome);

struct ReportRow {
    std::string file;  // the flat file's name, without folder
    int record = 0;    // the summary record's number in the file, from 1; 0: the file's row
    Outcome outcome = Outcome::Kept;
    std::string company, prefix, number, id, total, vat;
    int lines = -1;  // -1: not known; so too for the branch counts
    int copied = -1, pending = -1;
    // The removal on the server. In a file's row: "started", or "not configured" (removed here
    // only); in a row of outcome Remote, how it ended: "removed", "failed", "timed out", "not
    // started". Empty in every other row.
    std::string remote;
    std::string reason;  // the program's own words; empty when there is nothing to say
    // A person must look at it: a refused or unreadable record, an unknown point of sale, a
    // failure passed over, a file that could not be removed here or on the server. Not a file that
    // may still be being written (held, empty, no summary record yet, last record without its line
    // end).
    bool attention = false;
};

class RunReport {
  public:
    virtual ~RunReport() = default;
    virtual void row(const ReportRow& row) = 0;
};

}  // namespace importer
