#pragma once
// What the import run hands each summary record and each finished file to.
#include <string>

#include "import/summary_fields.h"

namespace importer {

enum class RecordOutcome {
    Stored,     // the invoice was saved (totals, posting and copies follow it)
    Duplicate,  // an invoice of that prefix and day was already stored
    Refused,    // the database refused the invoice; nothing of it was kept
};

// Turns one summary record into an invoice of the company database.
class InvoiceSteps {
  public:
    virtual ~InvoiceSteps() = default;
    virtual RecordOutcome importRecord(const SummaryRecord& record) = 0;
};

// Copies the invoice just saved (the current row of the header buffer, with its lines) to
// the branch databases that ask for it.
class InvoiceReplication {
  public:
    virtual ~InvoiceReplication() = default;
    virtual void replicate() = 0;
};

// Removes a file whose invoices are all stored, here and on the remote server.
class FileCleanup {
  public:
    virtual ~FileCleanup() = default;
    virtual void cleanUp(const std::string& direc, const std::string& name) = 0;
};

}  // namespace importer
