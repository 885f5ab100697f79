#pragma once
// The events of a run that is not killed, as the test-only build traces them, and what a
// kill at each of them leaves behind.
#include <cstddef>
#include <string>
#include <vector>

#include "tests/crash/crash_scenario.h"

namespace crash {

struct Event {
    size_t n = 0;
    // "sql", "prepare" and "commit" (the phases of a distributed commit), "delete" (about to
    // delete a flat file), "deleted"
    std::string kind;
    std::string text;    // the statement, or the file's path
    long long time = 0;  // the monotonic clock, in nanoseconds
};
std::vector<Event> readTrace(const std::string& path);

// How far the killed run took an invoice. A kill "at event k" stops the run just before
// event k: every earlier statement has been sent. The invoice's transaction (its lock, second
// duplicate test, save, totals, posting, copies and pending rows) is committed once its last
// statement has been sent, before anything else is; when branches take copies it is
// distributed, and commits with its "commit" phase, once every part is prepared.
enum class Stage {
    NotSaved,  // nothing of it stored anywhere: the rerun imports it whole
    InLimbo,   // prepared in every database, committed in none: the rerun commits it
    Complete,  // stored, totalled, posted and copied to the branches that ask for it
};
const char* describe(Stage s);

// The events of one invoice that the run saved (a summary record found already imported
// has none).
struct InvoiceEvents {
    InvoiceKey key;
    size_t duplicateTest = 0;                // before the invoice is built
    size_t lock = 0;                         // the transaction's first statement
    size_t recheck = 0;                      // the duplicate test inside the transaction
    size_t firstInsert = 0, lastInsert = 0;  // header and lines
    size_t totals = 0;                       // ACTUALICE_TOTAL_DOCVENTA
    size_t entry = 0;                        // CONTABIL_FACTURA
    size_t posting = 0;                      // CONTABILIZA_PENDIENTE
    size_t firstBranchInsert = 0, lastBranchInsert = 0;  // 0: not copied anywhere
    size_t pendingRow = 0;                               // 0: none
    size_t prepare = 0, commit = 0;  // the phases of its commit; 0: not distributed
    // Stored as one block: its test, lock, rows, totals and posting are that one statement.
    bool block = false;

    Stage stageAtKill(size_t k) const;
    bool copied() const { return lastBranchInsert != 0; }
};

struct FileEvents {
    std::string name;
    size_t del = 0;      // just before its local deletion
    size_t deleted = 0;  // just after it
};

struct Timeline {
    std::vector<Event> events;
    std::vector<InvoiceEvents> invoices;
    std::vector<FileEvents> files;  // the removed files, in the order of removal

    static Timeline parse(std::vector<Event> events);
    // Event k and the invoice or file it belongs to, for failure messages.
    std::string where(size_t k) const;
};

}  // namespace crash
