// The load of tests/load on a Firebird server: 2,000 flat files of 50 points of sale in two
// companies (one invoice each, 4 to 18 lines), imported by the real program in headless mode
// while load_inserter keeps selling in both companies and locks the articles of each sale
// until it commits. Against it, the floor as bench_import defines it, on fresh databases of
// the same server under the same second writer: per invoice one transaction with
// CAMBIE_ID_FACTURA, the header and line INSERTs as the buffer spells them,
// ACTUALICE_TOTAL_DOCVENTA, CONTABIL_FACTURA and CONTABILIZA_PENDIENTE, prepared once.
//
// Prints invoices per second of both and their ratio, the peak resident size of the import
// process, the transactions it started per invoice (from the databases' transaction counters,
// less the second writer's), and the statements and transactions per invoice counted in
// process on the first files of the same load, without the second writer. Exit status 0
// when the import stored every invoice.
//
// Usage: bench_load [--forced-writes] [--hold-ms N] [--writer-pause-ms N] [--count-files N]
//                   [--program PATH] [--with-check]
//   The server comes from FB_TEST_SERVER, FB_TEST_USER, FB_TEST_PASSWORD; bench/bench_load.sh
//   starts a private one. --forced-writes keeps the databases' forced writes (default: off);
//   --hold-ms is how long each sale of the second writer stays open (default 3),
//   --writer-pause-ms the time between its rounds of sales (default 20); --count-files the
//   files of the in-process count (default 200); --program the importarfac to run (default:
//   the one beside bench_load, as is load_inserter); --with-check runs the program's --check over
//   the same folder first (before the second writer starts) and prints its time beside the
//   import's.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/import_window.h"
#include "bench/child_process.h"
#include "bench/delay_proxy_process.h"
#include "bench/floor_insert.h"
#include "bench/in_process_program.h"
#include "core/text.h"
#include "fb/connection.h"
#include "import/invoice_importer.h"
#include "tests/load/set/load_set.h"
#include "tests/support/recording_port.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using bench::insertShape;
using bench::InsertShape;
using bench::rowOf;

using bench::scriptsDir;
using bench::seconds;
using bench::selfDir;
using bench::slurp;
using bench::spawn;
using bench::waitFor;

// --run-measured OUT DIR PROGRAM ARGS...: runs PROGRAM in DIR with standard output to OUT and
// prints its exit status and peak resident size (kB) on our standard output. A process of its
// own, started fresh, so that no larger parent's memory counts in the child's peak.
int runMeasured(int argc, char** argv) {
    if (argc < 5) return 2;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || ::dup2(fd, 1) < 0 || ::chdir(argv[3]) != 0) ::_exit(127);
        ::execv(argv[4], argv + 4);
        ::_exit(127);
    }
    int status = 0;
    struct rusage use {};
    if (pid < 0 || ::wait4(pid, &status, 0, &use) < 0) return 2;
    std::printf("%d %ld\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128, use.ru_maxrss);
    return 0;
}

// ---- the second writer -----------------------------------------------------------------

struct Writer {
    int holdMs = 3;
    int pauseMs = 20;
};

class Inserter {
  public:
    Inserter(const std::string& dir, const std::string& root, const Writer& w) : dir_(dir) {
        std::vector<std::string> args{
            selfDir() + "/load_inserter", "--out",     dir + "/inserter.out",    "--stop",
            dir + "/inserter.stop",       "--hold-ms", std::to_string(w.holdMs), "--pause-ms",
            std::to_string(w.pauseMs)};
        for (const load::OtherWriter& other : load::otherWriters())
            args.push_back(load::companyPath(root, other.company) + "," + other.prefix + "," +
                           std::to_string(other.interface));
        pid_ = spawn(args, dir + "/inserter.err");
        for (auto end = std::chrono::steady_clock::now() + 60s;;
             std::this_thread::sleep_for(20ms)) {
            if (fs::exists(dir + "/inserter.out.ready")) break;
            const bool ended = ::waitpid(pid_, nullptr, WNOHANG) == pid_;
            if (ended || std::chrono::steady_clock::now() > end) {
                if (!ended) {
                    ::kill(pid_, SIGKILL);
                    ::waitpid(pid_, nullptr, 0);
                }
                throw std::runtime_error("load_inserter did not start: " +
                                         slurp(dir + "/inserter.err"));
            }
        }
    }
    ~Inserter() {
        try {
            if (pid_ > 0) stop();
        } catch (...) {
        }
    }
    Inserter(const Inserter&) = delete;
    Inserter& operator=(const Inserter&) = delete;

    // Ends it; its last line ("done sales=... errors=... waits=... transactions=...").
    std::string stop() {
        std::ofstream(dir_ + "/inserter.stop") << "stop\n";
        const int status = waitFor(pid_);
        pid_ = -1;
        const std::string out = slurp(dir_ + "/inserter.out");
        const size_t done = out.rfind("done ");
        std::string last = done == std::string::npos ? "no report" : out.substr(done);
        while (!last.empty() && last.back() == '\n') last.pop_back();
        if (status != 0)
            last += " (exit " + std::to_string(status) + ": " +
                    slurp(dir_ + "/inserter.err").substr(0, 300) + ")";
        return last;
    }

  private:
    std::string dir_;
    pid_t pid_ = -1;
};

// ---- the program, headless -------------------------------------------------------------

struct ProgramRun {
    double seconds = 0;
    double checkSeconds = 0;  // --check over the same folder first; 0: not run
    std::string checkSummary;
    long peakKb = 0;
    int status = -1;
    int64_t transactions = 0;  // started in the company databases, the second writer's excluded
    std::string summary, errors, inserter;
};

// The number the next transaction of `database` will get.
int64_t nextTransaction(const load::Server& s, const std::string& database) {
    fb::Connection c("count");
    c.options().database = s.path(database);
    c.options().user = s.user;
    c.options().password = s.password;
    c.open();
    return c.run("SELECT MON$NEXT_TRANSACTION FROM MON$DATABASE").rows.at(0).at(0).integer;
}

int64_t reported(const std::string& line, const std::string& key) {
    const size_t at = line.find(key + "=");
    return at == std::string::npos ? 0 : std::stoll(line.substr(at + key.size() + 1));
}

void writeSettings(const std::string& dir, const load::Server& s, const std::string& root,
                   const std::string& in) {
    fs::create_directories(dir + "/xdg/Ostrel");
    fs::create_directories(dir + "/install");
    fs::create_directories(dir + "/work");
    fs::create_directories(dir + "/bin");
    std::ofstream(dir + "/xdg/Ostrel/Quorvan2021.conf") << "Directorio=" << dir << "/install\n";
    std::ofstream(dir + "/install/settings.conf", std::ios::binary)
        << s.path(root) << "\r\n"
        << s.user << "\r\n"
        << s.password << "\r\n001\r\n-\r\n-\r\n"
        << in << "\r\n1\r\n";
    std::ofstream(dir + "/bin/winscp.com") << "#!/bin/sh\nexit 0\n";
    fs::permissions(dir + "/bin/winscp.com", fs::perms::owner_all);
}

ProgramRun runProgram(const load::Server& s, const std::string& dir, const std::string& program,
                      const std::vector<load::Invoice>& invoices, bool forcedWrites,
                      const Writer& writer, bool withCheck) {
    const std::string root = dir + "/erp";
    load::createErp(s, root, scriptsDir(), forcedWrites);
    load::writeFlatFiles(dir + "/in", invoices);
    writeSettings(dir, s, root, dir + "/in");

    ProgramRun r;
    // A transfer client that removes nothing, started for every file as a real one would be.
    const std::vector<std::string> env = {"XDG_CONFIG_DIRS=" + dir + "/xdg",
                                          "IMPORTARFAC_TRANSFER_CLIENT=" + dir + "/bin/winscp.com",
                                          "IMPORTARFAC_TRANSFER_OPEN_LINE=open x"};
    if (withCheck) {
        // The dry run over the same folder, before the second writer starts (so that the
        // transactions counted below are the import's): what a real run would do, with
        // nothing written.
        const auto checkStart = std::chrono::steady_clock::now();
        const pid_t check = spawn(
            {program, "--headless", "--pause-ms", "0", "--check", "--report", dir + "/check.csv"},
            dir + "/check.err", {env, dir + "/check.out"});
        if (waitFor(check) != 0)
            throw std::runtime_error("the check failed: " + slurp(dir + "/check.err"));
        r.checkSeconds = seconds(checkStart);
        r.checkSummary = slurp(dir + "/check.out");
    }
    int64_t before = 0;
    for (const std::string& c : load::companies())
        before += nextTransaction(s, load::companyPath(root, c));
    Inserter inserter(dir, root, writer);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = spawn({selfDir() + "/bench_load", "--run-measured", dir + "/out",
                             dir + "/work", program, "--headless", "--pause-ms", "0"},
                            dir + "/err", {env, dir + "/runner.out"});
    if (waitFor(pid) != 0) throw std::runtime_error("the measuring runner failed");
    r.seconds = seconds(start);
    r.inserter = inserter.stop();
    int64_t after = 0;
    for (const std::string& c : load::companies())
        after += nextTransaction(s, load::companyPath(root, c));
    // Less the second writer's and our own first count in each database.
    r.transactions = after - before - reported(r.inserter, "transactions") -
                     static_cast<int64_t>(load::companies().size());
    std::istringstream measured(slurp(dir + "/runner.out"));
    measured >> r.status >> r.peakKb;
    r.summary = slurp(dir + "/out");
    r.errors = slurp(dir + "/err");
    return r;
}

// ---- the floor ---------------------------------------------------------------------------

struct FloorRun {
    double seconds = 0;
    uint64_t prepared = 0, executed = 0;
    std::string inserter;
};

FloorRun runFloor(const load::Server& s, const std::string& dir,
                  const std::vector<load::Invoice>& invoices, bool forcedWrites,
                  const Writer& writer) {
    const std::string root = dir + "/erp";
    load::createErp(s, root, scriptsDir(), forcedWrites);
    struct Company {
        std::unique_ptr<fb::Connection> c;
        InsertShape header, line;
    };
    std::map<std::string, Company> companies;
    for (const std::string& name : load::companies()) {
        Company& co = companies[name];
        co.c = std::make_unique<fb::Connection>("floor");
        co.c->options().database = s.path(load::companyPath(root, name));
        co.c->options().user = s.user;
        co.c->options().password = s.password;
        co.c->options().dialect = 3;
        co.c->open();
        co.header = insertShape(*co.c, "FACTURAS");
        co.line = insertShape(*co.c, "FACTURAS_DETALLE");
    }
    auto dec = [](int64_t units) { return fb::Value::ofDecimal(units * 100, 2); };
    auto text = [](const std::string& t) { return fb::Value::ofText(t); };
    auto num = [](int64_t v) { return fb::Value::ofInt(v); };

    FloorRun r;
    uint64_t prepared0 = 0, executed0 = 0;
    for (auto& [name, co] : companies) {
        prepared0 += co.c->preparedCount();
        executed0 += co.c->executedCount();
    }
    Inserter inserter(dir, root, writer);
    const auto start = std::chrono::steady_clock::now();
    for (const load::Invoice& inv : invoices) {
        Company& co = companies[inv.pos->company];
        fb::Connection& c = *co.c;
        fb::Transaction t = c.begin();
        const int64_t id = c.run(t, "EXECUTE PROCEDURE CAMBIE_ID_FACTURA", {}).rows[0][0].integer;
        const std::string date = core::dateText(inv.day);
        c.run(t, co.header.sql,
              rowOf(co.header, {{"FACT_ID", num(id)},
                                {"PTVT_ID", num(inv.pos->code)},
                                {"VEND_COD", num(7)},
                                {"TERC_NIT", text(inv.pos->customer)},
                                {"FACT_FECHA", fb::Value::ofDate(inv.day)},
                                {"FACT_VENCE", fb::Value::ofDate(inv.day)},
                                {"FACT_IVAINC", text("S")},
                                {"FACT_IVAMONTO", dec(inv.vat())},
                                {"FACT_RTFTEMONTO", dec(0)},
                                {"FACT_RTIVAMONTO", dec(0)},
                                {"FACT_RTICAMONTO", dec(0)},
                                {"PREF_PRE", text(inv.pos->prefix)},
                                {"FACT_NOMCLIENTE", text("PARQUEADEROS DEL NORTE S.A.")},
                                {"FACT_ANULADO", text("N")},
                                {"FACT_TRANSMIT", text("S")},
                                {"FACT_TOTAL", dec(inv.total())},
                                {"FACT_SUCURSAL", text("01")},
                                {"FACT_FACTOR", fb::Value::ofDouble(1)},
                                {"FACT_NUMERO",
                                 text(date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2))},
                                {"FACT_RTCREE", fb::Value::ofDecimal(25000, 4)},
                                {"FACT_RTCREEM", dec(0)},
                                {"FACT_TRM", fb::Value::ofDouble(1)}}));
        for (const load::Line& l : inv.lines)
            c.run(t, co.line.sql,
                  rowOf(co.line, {{"FACT_ID", num(id)},
                                  {"FADE_ITEM", num(l.item)},
                                  {"BODE_COD", text("01")},
                                  {"ARTI_COD", text(l.article)},
                                  {"FADE_CANT", fb::Value::ofDecimal(10000, 4)},
                                  {"FADE_UNIDAD", text("UND")},
                                  {"FADE_PRUNIT", dec(l.price)},
                                  {"FADE_DTOPORC", fb::Value::ofDecimal(l.vat ? 0 : 1000000, 4)},
                                  {"FADE_DTOMONTO", dec(l.vat ? 0 : l.price)},
                                  {"FADE_IVAPORC", fb::Value::ofDecimal(190000, 4)},
                                  {"FADE_IVAMONTO", dec(l.vat)},
                                  {"FADE_CONSUMO", dec(0)},
                                  {"FADE_FACTOR", fb::Value::ofDecimal(10000, 4)},
                                  {"FADE_DESC", text("SERVICIO DE PARQUEADERO")},
                                  {"FADE_CODBAR", text(l.article)},
                                  {"FADE_TOTAL", dec(l.total)},
                                  {"LIPR_COD", num(1)},
                                  {"FADE_REFERENCIA", text(l.reference)},
                                  {"FADE_ANULADO", text("N")},
                                  {"FADE_TRANSMIT", text("N")},
                                  {"FADE_DTO1", fb::Value::ofDecimal(0, 4)},
                                  {"FADE_DTO2", fb::Value::ofDecimal(0, 4)},
                                  {"FADE_DTOM1", dec(0)},
                                  {"FADE_DTOM2", dec(0)},
                                  {"FADE_DTOM3", dec(0)}}));
        c.run(t, "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(?, ?)", {num(31), num(id)});
        const fb::Table posting =
            c.run(t, "select * from contabil_factura(?, ?)", {num(id), num(1000 + inv.pos->code)});
        if (!posting.rows.empty() && posting.rows[0][0].integer == 0)
            c.run(t, "EXECUTE PROCEDURE CONTABILIZA_PENDIENTE(?)", {posting.rows[0][2]});
        t.commit();
    }
    r.seconds = seconds(start);
    r.inserter = inserter.stop();
    for (auto& [name, co] : companies) {
        r.prepared += co.c->preparedCount();
        r.executed += co.c->executedCount();
    }
    r.prepared -= prepared0;
    r.executed -= executed0;
    return r;
}

// ---- statements, counted in process ----------------------------------------------------

struct Counts {
    int invoices = 0;
    uint64_t prepared = 0, executed = 0, transactions = 0;
    long long roundTrips = 0;  // the whole run's, connections and company switches included
};

// Through a delay proxy that only counts the round trips.
Counts countStatements(const load::Server& s, const std::string& dir,
                       const std::vector<load::Invoice>& invoices, bool forcedWrites) {
    const std::string root = dir + "/erp";
    load::createErp(s, root, scriptsDir(), forcedWrites);
    load::writeFlatFiles(dir + "/in", invoices);
    const int serverPort = std::atoi(s.prefix.substr(s.prefix.find('/') + 1).c_str());
    bench::DelayProxy proxy(selfDir() + "/delay_proxy", dir, serverPort, 0);
    app::RecordingPort port;
    bench::Program p(port);
    app::FormModel& f = p.window.form;
    f.Servidor.text = "127.0.0.1/" + std::to_string(proxy.port()) + ":" + root;
    f.Tusua.text = s.user;
    f.TClave.text = s.password;
    f.Cia.text = "001";
    f.Ubicacion.text = dir + "/in";
    f.Separ.itemIndex = 1;
    f.Delim.itemIndex = 0;
    if (!p.window.connectDatabases()) throw std::runtime_error("not connected");
    p.window.context.CiaAct = f.Cia.text;
    const uint64_t prepared = p.fdm.Quorvan.preparedCount();
    const uint64_t executed = p.fdm.Quorvan.executedCount();
    const uint64_t transactions = p.fdm.Quorvan.transactionCount();
    p.window.runImport();
    Counts c;
    c.invoices = p.window.lastRun().invoicesSaved;
    c.prepared = p.fdm.Quorvan.preparedCount() - prepared;
    c.executed = p.fdm.Quorvan.executedCount() - executed;
    c.transactions = p.fdm.Quorvan.transactionCount() - transactions;
    p.fdm.Quorvan.close();
    p.fdm.General.close();
    c.roundTrips = proxy.stop();
    for (const app::PortCall& call : port.calls())
        if (call.kind == app::PortCallKind::Error || call.kind == app::PortCallKind::Failure ||
            call.kind == app::PortCallKind::Information)
            std::fprintf(stderr, "box: %s\n", call.text.c_str());
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--run-measured") == 0) return runMeasured(argc, argv);
    bool forcedWrites = false;
    bool withCheck = false;
    Writer writer;
    size_t countFiles = 200;
    std::string program = selfDir() + "/importarfac";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--forced-writes") {
            forcedWrites = true;
        } else if (a == "--with-check") {
            withCheck = true;
        } else if (a == "--hold-ms" && i + 1 < argc) {
            writer.holdMs = std::atoi(argv[++i]);
        } else if (a == "--writer-pause-ms" && i + 1 < argc) {
            writer.pauseMs = std::atoi(argv[++i]);
        } else if (a == "--count-files" && i + 1 < argc) {
            countFiles = static_cast<size_t>(std::atoi(argv[++i]));
        } else if (a == "--program" && i + 1 < argc) {
            program = fs::absolute(argv[++i]).string();
        } else {
            std::fprintf(stderr,
                         "usage: bench_load [--forced-writes] [--hold-ms N] [--writer-pause-ms N]"
                         " [--count-files N] [--program PATH] [--with-check]\n");
            return 2;
        }
    }
    const auto server = load::serverFromEnvironment();
    if (!server) {
        std::fputs("bench_load: FB_TEST_SERVER is not set (bench/bench_load.sh starts a server)\n",
                   stderr);
        return 2;
    }
    char pattern[] = "/tmp/bench_load.XXXXXX";
    if (!::mkdtemp(pattern)) return 2;
    const std::string dir = pattern;
    fs::permissions(dir, fs::perms::all);
    try {
        const std::vector<load::Invoice> invoices = load::invoices();
        const double n = static_cast<double>(invoices.size());
        size_t lines = 0;
        for (const load::Invoice& inv : invoices) lines += inv.lines.size();

        // The program first, while this process is small.
        ProgramRun imp = runProgram(*server, dir + "/import", program, invoices, forcedWrites,
                                    writer, withCheck);
        const FloorRun floor = runFloor(*server, dir + "/floor", invoices, forcedWrites, writer);
        const std::vector<load::Invoice> first(
            invoices.begin(), invoices.begin() + std::min(countFiles, invoices.size()));
        const Counts counts = countStatements(*server, dir + "/count", first, forcedWrites);

        std::printf(
            "load: %zu files of %zu points of sale, %zu lines, server %s, forced writes %s,"
            " second writer holding each sale %d ms, %d ms between rounds\n",
            invoices.size(), load::pointsOfSale().size(), lines, server->prefix.c_str(),
            forcedWrites ? "on" : "off", writer.holdMs, writer.pauseMs);
        std::printf("  program: %s\n", program.c_str());
        std::printf("  import (headless program):        %8.1f invoices/s  (%.2f s)\n",
                    n / imp.seconds, imp.seconds);
        if (withCheck)
            std::printf(
                "  --check first (no second writer):  %8.1f invoices/s  (%.2f s, %.2fx "
                "the import's time)\n",
                n / imp.checkSeconds, imp.checkSeconds, imp.checkSeconds / imp.seconds);
        std::printf("  floor, saves, totals and posting: %8.1f invoices/s  (%.2f s)\n",
                    n / floor.seconds, floor.seconds);
        std::printf("  import / floor: %.2fx\n", imp.seconds / floor.seconds);
        std::printf("  peak resident size of the import process: %ld kB\n", imp.peakKb);
        std::printf("  transactions the import started: %.1f per invoice (%lld)\n",
                    static_cast<double>(imp.transactions) / n,
                    static_cast<long long>(imp.transactions));
        std::printf(
            "  in process, %d invoices (this build's library): %.1f prepared, %.1f "
            "executed, %.1f transactions, %.1f round trips per invoice (%llu, %llu, %llu, "
            "%lld)\n",
            counts.invoices, static_cast<double>(counts.prepared) / counts.invoices,
            static_cast<double>(counts.executed) / counts.invoices,
            static_cast<double>(counts.transactions) / counts.invoices,
            static_cast<double>(counts.roundTrips) / counts.invoices,
            static_cast<unsigned long long>(counts.prepared),
            static_cast<unsigned long long>(counts.executed),
            static_cast<unsigned long long>(counts.transactions), counts.roundTrips);
        std::printf("  floor statements: %.1f executed per invoice (%llu prepared)\n",
                    static_cast<double>(floor.executed) / n,
                    static_cast<unsigned long long>(floor.prepared));
        std::printf("  second writer during the import: %s\n", imp.inserter.c_str());
        std::printf("  second writer during the floor:  %s\n", floor.inserter.c_str());
        const bool stored = imp.status == 0 &&
                            imp.summary.find("invoices: saved " + std::to_string(invoices.size()) +
                                             ",") != std::string::npos;
        if (!stored)
            std::fprintf(stderr, "the import did not store every invoice (status %d):\n%s%s\n",
                         imp.status, imp.summary.c_str(), imp.errors.c_str());
        fs::remove_all(dir);
        return stored ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_load: %s\n", e.what());
        fs::remove_all(dir);
        return 2;
    }
}
