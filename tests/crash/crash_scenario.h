#pragma once
// One folder of flat files for the stand-in ERP, imported by the headless program that is
// killed at a chosen moment and then run again to its end; what the databases and the
// folder hold afterwards.
//
// The folder: points of sale 12 and 13 (company 001, prefixes AB01 and AB02) and 21
// (company 002, prefix CD01), two days each; files with one and with two summary records,
// a second file for a day already in the folder, invoices of 0 to 7 lines. Company 001
// copies the invoices of AB01 at point of sale 12 to the branch databases 101 and 102
// (prefixes SU01 and SU02) and to 103, whose database does not exist: each such invoice gets a
// pending row for 103.
// Every summary record carries tax 1 and total 2, which no set of its lines adds up to: a
// header that still holds them was never totalled.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/databases.h"

namespace crash {

// An invoice as the folder asks for it: one per prefix and day.
struct InvoiceKey {
    std::string prefix;
    std::string date;  // yyyy-mm-dd, as isql prints a DATE
    std::string cia;
    auto operator<=>(const InvoiceKey&) const = default;
};
std::string describe(const InvoiceKey& k);

struct FlatFile {
    std::string name;
    std::string bytes;
    InvoiceKey key;  // every summary record of a file is of its point of sale and day
};
const std::vector<FlatFile>& flatFiles();
// The invoices that the folder makes, each once.
std::vector<InvoiceKey> expectedInvoices();

// Where the program finds the databases: the embedded engine (plain paths) or a server
// ("localhost/<port>"), with the user and password that the settings file gives.
struct Engine {
    std::string serverPrefix;  // empty: embedded
    std::string user = "SYSDBA";
    std::string password = "x";
    // The killable program stores each invoice as one block, as the program does over a
    // network; otherwise statement by statement.
    bool inBlocks = false;
};
// The loopback server of the test command, when it exported one.
std::optional<Engine> loopbackServer();

struct RunResult {
    bool killed = false;  // ended by SIGKILL
    int status = -1;      // exit status when it exited
    std::string out, err;
};

// Where one installation of the program keeps its things: the entry that names its
// installation directory (XDG_CONFIG_DIRS), that directory with settings.conf, the folder of
// flat files the settings name, and the working directory it runs in.
struct Installation {
    std::string xdg, install, in, work;
};

// A program started and not yet waited for.
struct Started {
    int pid = -1;
    std::string out, err;  // files that take its standard output and error
};

// The branches of company 001's invoices of AB01 at point of sale 12, in the order of their
// REPLICA_VENTAS rows.
struct Branch {
    const char* cod;
    const char* prefix;  // of the copies
    bool reachable;
};
inline constexpr Branch kBranches[] = {
    {"101", "SU01", true}, {"102", "SU02", true}, {"103", "SU03", false}};

// A fresh copy of the stand-in ERP (general, companies 001 and 002, branches 101 and 102),
// the flat files in their folder, the settings and installation entry, and a stand-in
// transfer client (bin/winscp.com, named by IMPORTARFAC_TRANSFER_CLIENT with a stand-in open
// line unless a run is given others).
class World {
  public:
    // `branch102Server`: the server text through which the program reaches branch 102 (a
    // proxy in front of the engine's server, "127.0.0.1/<port>"); empty: as every database.
    explicit World(const Engine& engine = {}, const std::string& branch102Server = {});

    // The headless program killed at event `killAt` (0: never) of the test-only build, its
    // events appended to `trace` when not empty.
    RunResult runKillable(unsigned long long killAt, const std::string& trace = {});
    // The shipped program, run to its end.
    RunResult runProgram();

    // A second installation on the same databases: its own settings, working directory and
    // folder, which holds copies of the same flat files.
    const Installation& addInstallation();
    const Installation& installation(size_t i = 0) const { return installations_.at(i); }
    // Starts `program` headless in installation `inst`, with `env` added to the environment
    // and `args` after "--headless"; `tag` names its output files.
    Started start(const std::string& program, const Installation& inst,
                  const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env, const std::string& tag);
    // Waits for a started program.
    static RunResult finish(const Started& started);
    // Runs another program (a test tool) with `args` alone, as start() would, to its end.
    RunResult runTool(const std::string& program, const std::vector<std::string>& args);

    // The flat files still in an installation's folder.
    std::set<std::string> folder(size_t installation = 0) const;
    bool errorLogExists(size_t installation = 0) const;
    // The removals on the server queued in the working directory and not yet confirmed.
    std::set<std::string> queuedRemovals() const;
    std::string errorLog(size_t installation = 0) const;  // its bytes (Windows-1252)
    // Every script the stand-in transfer client was given, one after the other.
    std::string remoteLog(size_t installation = 0) const;

    // The database path as the tests' own queries reach it.
    std::string companyDb(const std::string& cia) const;
    std::string branchDb(const std::string& cod) const;
    // The branch database as the program names it in messages and pending rows.
    std::string branchDatabaseText(const std::string& cod) const;

    const std::string& root() const { return dir_.path(); }
    const Engine& engine() const { return engine_; }

  private:
    // A local path as the program and the tests' queries reach it through the engine.
    std::string reach(const std::string& path) const;
    // The folder that stands for a branch's server, and its server text in REPLICA_VENTAS.
    std::string branchServer(const std::string& cod) const;
    std::string servidor(const std::string& cod) const;
    void install(const Installation& inst);
    Started spawn(const std::string& program, const Installation& inst,
                  const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env, const std::string& tag);
    RunResult run(const std::string& program, const std::map<std::string, std::string>& env);

    testsupport::TempDir dir_;
    Engine engine_;
    std::string branch102Server_;
    std::string erpRoot_;
    std::vector<Installation> installations_;
};

// The bytes of a file ("" when it cannot be read).
std::string readText(const std::string& path);

// The bytes of a flat file with one summary record of the day `ymd` (yyyymmdd).
std::string oneInvoice(const std::string& ymd);
// The invoice key that a file of point of sale 12 for the day `ymd` makes.
InvoiceKey keyOf12(const std::string& ymd);

// What the databases hold after a run.
struct Line {
    std::string item, article, reference, price, vat, total;
    auto operator<=>(const Line&) const = default;
};
struct StoredInvoice {
    std::string factId, total, vat;
    int entries = 0;  // accounting entries that CONTABIL_FACTURA recorded for it
    int posted = 0;   // of those, marked posted by CONTABILIZA_PENDIENTE
    std::vector<Line> lines;
};
struct BranchCopy {
    std::string total;
    std::vector<Line> lines;
};
// What the databases hold, as committed: a transaction left in limbo is not looked at.
struct Stored {
    // Every invoice of both companies by prefix and day; more than one means a double.
    std::map<InvoiceKey, std::vector<StoredInvoice>> invoices;
    // Copies in each reachable branch (by its code) by invoice number (yyyymmdd).
    std::map<std::string, std::map<std::string, std::vector<BranchCopy>>> branchCopies;
    int strayEntries = 0;  // accounting entries of no stored invoice
    // Rows of REPLICA_ARTICULO_ESTADO by branch code and ARTI_COD (prefix and number).
    std::map<std::pair<std::string, std::string>, int> pending;
    int pendingRows() const;
};
Stored readStored(const World& w);

// What a run of the shipped program that nothing disturbs leaves in fresh databases (made
// once per process).
const Stored& undisturbedRun();
// Every invoice of the folder is stored exactly once and as the undisturbed run stores it:
// its lines, its totals and its posting.
void expectEachInvoiceOnceAndWhole(const Stored& s);

}  // namespace crash
