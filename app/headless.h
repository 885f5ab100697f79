#pragma once
// The headless mode for scheduled runs where no display exists:
//   importarfac --headless [--pause-ms N] [--lock-timeout SECONDS]
//                          [--report FILE | --report-dir DIR] [--keep-going] [--check]
//                          [--remote-timeout SECONDS] [--settle SECONDS] [--stale-lock HOURS]
// loads the settings as the window's creation does, connects as its first activation does,
// then runs the import at once whatever the unattended flag holds. Every box's text goes to
// standard error as one line and no box waits; a short summary goes to standard output,
// with a line for each refused record and each file kept for a reason a person must look at.
// --pause-ms is the pause after each start of the transfer client (default 1000);
// --lock-timeout the seconds a statement waits for a row another user holds (default 30);
// --report writes the CSV report (import/csv_report.h), --report-dir the day's report
// importarfac-<yyyymmdd>.csv in DIR (never over an earlier one); --keep-going passes over a failure
// inside a file (but a lost connection); --check is a dry run (importer::RunOptions);
// --remote-timeout the seconds each transfer client is given before it is stopped (default
// 120); --settle keeps for the next run a file changed within the last SECONDS (default 0);
// --stale-lock the hours after which a run holding the folder is taken for one that hangs
// (default 6). The summary also says how the removals on the server ended, names the report,
// and warns of a file holding a password that other users can read and of an error log that
// could not be written.
// Exit status: 0 when the run reached its normal end and nothing needs a person; 4 when it
// reached its end but a record was refused, a file kept for a reason a person must look at,
// or a removal on the server did not succeed; 1 when a failure stopped the connection or the run or
// no connection could be made, and when another run has held the folder for longer than
// --stale-lock or the lock's name is taken by no regular file (it is named; nothing is done); 2
// for a bad command line; 3 when another run works on the same folder (this one then connects
// to nothing and changes nothing).
#include "fb/connection.h"
#include "import/invoice_importer.h"
#include "platform/env.h"

namespace app {

inline constexpr int kAnotherRun = 3;
inline constexpr int kNeedsAttention = 4;

// True when the command line asks for the headless mode.
bool wantsHeadless(int argc, char** argv);
// Every call to the operating system goes through `env`; `hooks` go on every connection the
// program makes (the crash tests' kill switch). `savePath` chooses how invoices are stored
// (importer::InvoiceImporter::SavePath); the program's own choice unless told.
int runHeadless(
    int argc, char** argv, platform::Env& env = platform::Env::system(),
    const fb::ConnectionHooks& hooks = {},
    importer::InvoiceImporter::SavePath savePath = importer::InvoiceImporter::SavePath::Auto);

}  // namespace app
