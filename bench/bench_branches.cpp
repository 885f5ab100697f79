// The import with copies to branch databases: the headless program over invoices of 30
// lines (6 amount lines, 24 discount lines) of one point of sale whose prefix REPLICA_VENTAS
// copies to N branch databases (default 2), on the embedded engine or on the test command's
// server (FB_TEST_SERVER, FB_TEST_USER, FB_TEST_PASSWORD) through delay_proxy, which delays
// each direction and counts the round trips of every connection, the company's and the
// branches'.
//
// The program runs twice on one set of databases, over A and then B more invoices (default 10
// and 30): the difference gives the steady state per invoice, what the first run takes beyond
// it the fixed part (connections, first prepares, the configuration), reported apart.
//
// Usage: bench_branches [--server] [--delay-us N] [--branches N] [--first A] [--second B]
//                       [--program PATH]
//   --server: through the proxy (default: embedded, no round trips to count); --delay-us:
//   each direction's delay (default 2500: 5 ms a round trip; 0 counts only); --program: another
//   build of importarfac (default the one beside this program). Exit status 0 when every
//   invoice was stored and copied to every branch.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/child_process.h"
#include "bench/delay_proxy_process.h"
#include "bench/thirty_line_record.h"
#include "core/date.h"
#include "core/text.h"
#include "tests/load/set/load_set.h"

namespace fs = std::filesystem;

namespace {

using bench::scriptsDir;
using bench::seconds;
using bench::selfDir;
using bench::slurp;
using bench::spawn;
using bench::waitFor;
using Clock = std::chrono::steady_clock;

// Where the databases are and how the program and isql reach them.
struct Setup {
    std::optional<load::Server> server;  // none: embedded
    std::string dir, root;
    int branches = 2;
    // The text a database of `path` is reached by through `via` ("127.0.0.1/<port>"), or
    // directly.
    std::string reach(const std::string& path, const std::string& via = {}) const {
        if (!server) return path;
        return (via.empty() ? server->prefix : via) + ":" + path;
    }
    std::string user() const { return server ? server->user : "SYSDBA"; }
    std::string password() const { return server ? server->password : "x"; }
    std::string branchServer(int i) const { return root + "/br" + std::to_string(101 + i); }
    std::string branchFile(int i) const {
        return branchServer(i) + "\\datos\\" + std::to_string(101 + i) + "\\quorvan.fdb";
    }
};

void isql(const Setup& s, const std::string& script) {
    const std::string in = s.dir + "/isql.sql";
    std::ofstream(in, std::ios::binary) << script;
    std::vector<std::string> args = {"/usr/bin/isql-fb", "-q", "-b", "-user", s.user()};
    if (s.server) args.insert(args.end(), {"-password", s.password()});
    args.insert(args.end(), {"-i", in});
    bench::SpawnOptions o;
    o.outFile = s.dir + "/isql.out";
    if (waitFor(spawn(args, s.dir + "/isql.err", o)) != 0)
        throw std::runtime_error("isql-fb failed:\n" + slurp(s.dir + "/isql.err") +
                                 slurp(s.dir + "/isql.out"));
}

std::string create(const Setup& s, const std::string& path, int dialect,
                   const std::vector<const char*>& scripts) {
    std::string sql = "SET SQL DIALECT " + std::to_string(dialect) + ";\nCREATE DATABASE " +
                      core::sqlQuote(s.reach(path)) + " USER " + core::sqlQuote(s.user());
    if (s.server) sql += " PASSWORD " + core::sqlQuote(s.password());
    sql += " PAGE_SIZE 4096";
    if (dialect == 3) sql += " DEFAULT CHARACTER SET ISO8859_1";
    sql += ";\n";
    for (const char* f : scripts) sql += "INPUT " + core::sqlQuote(scriptsDir() + "/" + f) + ";\n";
    return sql + "COMMIT;\n";
}

std::string connect(const Setup& s, const std::string& path) {
    std::string sql =
        "CONNECT " + core::sqlQuote(s.reach(path)) + " USER " + core::sqlQuote(s.user());
    if (s.server) sql += " PASSWORD " + core::sqlQuote(s.password());
    return sql + ";\n";
}

// The general database with centre 12, company 001 with the sample data (point of sale 12,
// prefix AB01) and the branches, forced writes off.
void createErp(const Setup& s) {
    fs::create_directories(s.root + "/datos/001");
    for (const std::string& d : {s.root, s.root + "/datos", s.root + "/datos/001"})
        fs::permissions(d, fs::perms::all);
    isql(s, create(s, s.root + "/datos/general.fdb", 1, {"general.sql", "sample_general.sql"}));
    isql(s, create(s, s.root + "/datos/001/quorvan.fdb", 3, {"company.sql", "sample_data.sql"}) +
                "UPDATE CONFIGURACION SET CONF_VALOR = " + core::sqlQuote(s.user()) +
                " WHERE CONF_PROPIEDAD = 'NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS';\n"
                "UPDATE CONFIGURACION SET CONF_VALOR = " +
                core::sqlQuote(s.password()) +
                " WHERE CONF_PROPIEDAD = 'CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS';\n"
                "COMMIT;\n");
    std::vector<std::string> files = {s.root + "/datos/general.fdb",
                                      s.root + "/datos/001/quorvan.fdb"};
    for (int i = 0; i < s.branches; ++i) {
        isql(s, create(s, s.branchFile(i), 3, {"branch.sql", "sample_articles.sql"}));
        files.push_back(s.branchFile(i));
    }
    for (const std::string& f : files) {
        std::vector<std::string> args = {"/usr/bin/gfix", "-user", s.user()};
        if (s.server) args.insert(args.end(), {"-password", s.password()});
        args.insert(args.end(), {"-write", "async", s.reach(f)});
        if (waitFor(spawn(args, s.dir + "/gfix.err")) != 0)
            throw std::runtime_error("gfix failed: " + slurp(s.dir + "/gfix.err"));
    }
}

// The branch rows, naming each branch through `via` (the proxy of this run).
void pointBranchesAt(const Setup& s, const std::string& via) {
    std::string sql =
        connect(s, s.root + "/datos/001/quorvan.fdb") + "DELETE FROM REPLICA_VENTAS;\n";
    for (int i = 0; i < s.branches; ++i) {
        const std::string cod = std::to_string(101 + i);
        sql +=
            "INSERT INTO REPLICA_VENTAS (RPVE_COD, RPVE_NOMBRE, RPVE_SERVIDOR, RPVE_PREF, "
            "RPVE_PTVT, RPVE_PREFDES, RPVE_PTVTDES) VALUES ('" +
            cod + "', 'SUCURSAL', " + core::sqlQuote(s.reach(s.branchServer(i), via)) +
            ", 'AB01', 12, 'S" + cod + "', " + std::to_string(i + 1) + ");\n";
    }
    isql(s, sql + "COMMIT;\n");
}

struct Measured {
    long long roundTrips = -1;
    double seconds = 0;
};

// The program over `count` new invoices, from day `first` on.
Measured runProgram(const Setup& s, const std::string& program, int first, int count,
                    long delayUs) {
    const std::string in = s.dir + "/in";
    fs::remove_all(in);
    fs::create_directories(in);
    for (int i = first; i < first + count; ++i) {
        const core::Date day = core::Date::fromDayNumber(core::Date{2025, 1, 1}.toDayNumber() + i);
        char name[64];
        std::snprintf(name, sizeof name, "[RDE_12_%04d%02d%02d.txt", day.year, day.month, day.day);
        std::ofstream(in + "/" + name, std::ios::binary) << bench::thirtyLineRecord(day, i);
    }
    std::optional<bench::DelayProxy> proxy;
    std::string via;
    if (s.server) {
        const int port = std::atoi(s.server->prefix.substr(s.server->prefix.find('/') + 1).c_str());
        proxy.emplace(selfDir() + "/delay_proxy", s.dir, port, delayUs);
        via = "127.0.0.1/" + std::to_string(proxy->port());
    }
    pointBranchesAt(s, via);
    std::ofstream(s.dir + "/install/settings.conf", std::ios::binary)
        << s.reach(s.root, via) << "\r\n"
        << s.user() << "\r\n"
        << s.password() << "\r\n001\r\n-\r\n-\r\n"
        << in << "\r\n\r\n";
    const auto start = Clock::now();
    bench::SpawnOptions o;
    o.extraEnv = {"XDG_CONFIG_DIRS=" + s.dir + "/xdg", "PATH=" + s.dir + "/bin:/usr/bin:/bin"};
    o.outFile = s.dir + "/out";
    o.workDir = s.dir + "/work";
    const int status =
        waitFor(spawn({program, "--headless", "--pause-ms", "0"}, s.dir + "/err", o));
    Measured m;
    m.seconds = seconds(start);
    if (proxy) m.roundTrips = proxy->stop();
    const std::string out = slurp(s.dir + "/out");
    if (status != 0 || out.find("saved " + std::to_string(count) + ",") == std::string::npos)
        throw std::runtime_error("the import failed (" + std::to_string(status) + "): " + out +
                                 slurp(s.dir + "/err"));
    return m;
}

// Every branch holds one copy of every invoice.
void checkCopies(const Setup& s, int invoices) {
    for (int i = 0; i < s.branches; ++i) {
        isql(s, connect(s, s.branchFile(i)) + "SET HEADING OFF;\nSELECT COUNT(*) FROM FACTURAS;\n");
        const int copies = std::atoi(slurp(s.dir + "/isql.out").c_str());
        if (copies != invoices)
            throw std::runtime_error("branch " + std::to_string(101 + i) + " holds " +
                                     std::to_string(copies) + " copies of " +
                                     std::to_string(invoices) + " invoices");
    }
}

}  // namespace

int main(int argc, char** argv) {
    long delayUs = 2500;
    int countA = 10, countB = 30, branches = 2;
    bool server = false;
    std::string program = selfDir() + "/importarfac";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--server") {
            server = true;
        } else if (a == "--delay-us" && i + 1 < argc) {
            delayUs = std::atol(argv[++i]);
        } else if (a == "--branches" && i + 1 < argc) {
            branches = std::atoi(argv[++i]);
        } else if (a == "--first" && i + 1 < argc) {
            countA = std::atoi(argv[++i]);
        } else if (a == "--second" && i + 1 < argc) {
            countB = std::atoi(argv[++i]);
        } else if (a == "--program" && i + 1 < argc) {
            program = fs::absolute(argv[++i]).string();
        } else {
            std::fprintf(stderr,
                         "usage: bench_branches [--server] [--delay-us N] [--branches N]"
                         " [--first A] [--second B] [--program PATH]\n");
            return 2;
        }
    }
    Setup s;
    s.branches = branches;
    if (server) {
        s.server = load::serverFromEnvironment();
        if (!s.server) {
            std::fputs(
                "bench_branches: FB_TEST_SERVER is not set (scripts/fbserver.sh starts "
                "one)\n",
                stderr);
            return 2;
        }
    }
    char pattern[] = "/tmp/bench_branches.XXXXXX";
    if (!::mkdtemp(pattern)) return 2;
    s.dir = pattern;
    s.root = s.dir + "/erp";
    fs::permissions(s.dir, fs::perms::all);
    try {
        createErp(s);
        for (const char* d : {"xdg/Ostrel", "install", "bin", "work"})
            fs::create_directories(s.dir + "/" + d);
        std::ofstream(s.dir + "/xdg/Ostrel/Quorvan2021.conf")
            << "Directorio=" << s.dir << "/install\n";
        std::ofstream(s.dir + "/bin/winscp.com") << "#!/bin/sh\nexit 0\n";
        fs::permissions(s.dir + "/bin/winscp.com", fs::perms::owner_all);

        const Measured a = runProgram(s, program, 0, countA, delayUs);
        const Measured b = runProgram(s, program, countA, countB, delayUs);
        checkCopies(s, countA + countB);

        std::printf("%d branch%s, %s, 30 lines an invoice\n", branches, branches == 1 ? "" : "es",
                    server ? ("server " + s.server->prefix + " through delay_proxy, " +
                              std::to_string(delayUs / 500.0).substr(0, 4) + " ms a round trip")
                                 .c_str()
                           : "embedded");
        std::printf("  program: %s\n", program.c_str());
        const double perInvoice = (b.seconds - a.seconds) / (countB - countA);
        std::printf(
            "  %.2f invoices/s (steady: %.1f ms an invoice)  (%d invoices: %.2f s; %d: %.2f s)\n",
            1.0 / perInvoice, 1000 * perInvoice, countA, a.seconds, countB, b.seconds);
        if (server) {
            const double per = double(b.roundTrips - a.roundTrips) / (countB - countA);
            std::printf(
                "  %.1f round trips per invoice, fixed %lld  (%d invoices: %lld; %d: %lld)\n", per,
                static_cast<long long>(a.roundTrips - per * countA), countA, a.roundTrips, countB,
                b.roundTrips);
        }
        fs::remove_all(s.dir);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_branches: %s\n", e.what());
        return 1;
    }
}
