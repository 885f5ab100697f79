// The import over a slow link: the headless program against the test command's Firebird
// server (FB_TEST_SERVER, FB_TEST_USER, FB_TEST_PASSWORD), reached through delay_proxy, which
// delays each direction and counts round trips. Against it, the floor: the same rows and
// procedure calls the import stored, sent through the same kind of link with statements
// prepared once, one transaction per invoice.
//
// Each side runs twice on one database, over A and then B more invoices of 30 lines (6
// amount lines, 24 discount lines) of one point of sale. The difference gives the steady
// state per invoice; what the first run takes beyond it is the fixed part (connections,
// first prepares, the centres, the configuration), reported apart.
//
// Usage: bench_slow_link [--delay-us N] [--first A] [--second B] [--program PATH]
//   --delay-us: each direction's delay (default 2500: 5 ms a round trip); A and B default to
//   10 and 20; --program defaults to the importarfac beside this program. Exit status 0 when
//   every invoice was stored.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/child_process.h"
#include "bench/delay_proxy_process.h"
#include "bench/floor_insert.h"
#include "bench/thirty_line_record.h"
#include "core/date.h"
#include "fb/connection.h"
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

struct Measured {
    long long roundTrips = 0;
    double seconds = 0;
};

// The program over `count` new invoices, from day `first` on, through a new proxy.
Measured runProgram(const load::Server& server, int serverPort, const std::string& dir,
                    const std::string& root, const std::string& program, int first, int count,
                    long delayUs, const std::string& pos) {
    const std::string in = dir + "/in";
    fs::remove_all(in);
    fs::create_directories(in);
    for (int i = first; i < first + count; ++i) {
        const core::Date day = core::Date::fromDayNumber(core::Date{2024, 1, 1}.toDayNumber() + i);
        char name[64];
        std::snprintf(name, sizeof name, "[RDE_%s_%04d%02d%02d.txt", pos.c_str(), day.year,
                      day.month, day.day);
        std::ofstream(in + "/" + name, std::ios::binary) << bench::thirtyLineRecord(day, i);
    }
    bench::DelayProxy proxy(selfDir() + "/delay_proxy", dir, serverPort, delayUs);
    std::ofstream(dir + "/install/settings.conf", std::ios::binary)
        << "127.0.0.1/" << proxy.port() << ":" << root << "\r\n"
        << server.user << "\r\n"
        << server.password << "\r\n001\r\n-\r\n-\r\n"
        << in << "\r\n\r\n";
    const auto start = Clock::now();
    const int status = waitFor(spawn({program, "--headless", "--pause-ms", "0"}, dir + "/err",
                                     {{"XDG_CONFIG_DIRS=" + dir + "/xdg",
                                       "IMPORTARFAC_TRANSFER_CLIENT=" + dir + "/bin/winscp.com",
                                       "IMPORTARFAC_TRANSFER_OPEN_LINE=open x"},
                                      dir + "/out",
                                      dir + "/work"}));
    Measured m;
    m.seconds = seconds(start);
    m.roundTrips = proxy.stop();
    const std::string out = slurp(dir + "/out");
    if (status != 0 || out.find("saved " + std::to_string(count) + ",") == std::string::npos)
        throw std::runtime_error("the import failed (" + std::to_string(status) + "): " + out +
                                 slurp(dir + "/err"));
    return m;
}

// What the import stored: each invoice's header row and line rows, by FACT_ID.
struct StoredInvoice {
    std::vector<fb::Value> header;
    std::vector<std::vector<fb::Value>> lines;
};

std::vector<StoredInvoice> storedInvoices(fb::Connection& c) {
    std::map<int64_t, StoredInvoice> byId;
    for (auto& row : c.read("SELECT * FROM FACTURAS ORDER BY FACT_ID").rows)
        byId[row[0].integer].header = row;
    // Both tables start with FACT_ID.
    for (auto& row : c.read("SELECT * FROM FACTURAS_DETALLE ORDER BY FACT_ID, FADE_ITEM").rows)
        byId[row[0].integer].lines.push_back(row);
    std::vector<StoredInvoice> out;
    for (auto& [id, inv] : byId) out.push_back(std::move(inv));
    return out;
}

// The floor: the same rows and procedure calls, statements prepared once, one transaction
// per invoice, through a new proxy into another company database.
Measured runFloor(const load::Server& server, int serverPort, const std::string& dir,
                  const std::string& database, const std::vector<StoredInvoice>& invoices,
                  long delayUs) {
    bench::DelayProxy proxy(selfDir() + "/delay_proxy", dir, serverPort, delayUs);
    fb::Connection c("floor");
    c.options().database = "127.0.0.1/" + std::to_string(proxy.port()) + ":" + database;
    c.options().user = server.user;
    c.options().password = server.password;
    c.open();
    const bench::InsertShape header = bench::insertShape(c, "FACTURAS");
    const bench::InsertShape line = bench::insertShape(c, "FACTURAS_DETALLE");
    const auto start = Clock::now();
    for (const StoredInvoice& inv : invoices) {
        fb::Transaction t = c.begin();
        const fb::Value id = c.run(t, "EXECUTE PROCEDURE CAMBIE_ID_FACTURA", {}).rows[0][0];
        std::vector<fb::Value> h = inv.header;
        h[0] = id;
        c.run(t, header.sql, h);
        for (std::vector<fb::Value> l : inv.lines) {
            l[0] = id;
            c.run(t, line.sql, l);
        }
        c.run(t, "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, ?)", {id});
        const fb::Table entry =
            c.run(t, "select * from contabil_factura(?, ?)", {id, fb::Value::ofInt(3)});
        if (!entry.rows.empty())
            c.run(t, "EXECUTE PROCEDURE CONTABILIZA_PENDIENTE(?)", {entry.rows[0][2]});
        t.commit();
    }
    Measured m;
    m.seconds = seconds(start);
    c.close();
    m.roundTrips = proxy.stop();
    return m;
}

void report(const char* what, const Measured& a, const Measured& b, int countA, int countB) {
    const double per = double(b.roundTrips - a.roundTrips) / (countB - countA);
    // b's run also paid the fixed part once more; per invoice from the difference only.
    std::printf(
        "  %-8s %6.1f round trips per invoice, fixed %lld;  %6.2f invoices/s"
        "  (%d invoices: %lld round trips, %.2f s; %d: %lld, %.2f s)\n",
        what, per, static_cast<long long>(a.roundTrips - per * countA), countB / b.seconds, countA,
        a.roundTrips, a.seconds, countB, b.roundTrips, b.seconds);
}

}  // namespace

int main(int argc, char** argv) {
    long delayUs = 2500;
    int countA = 10, countB = 20;
    std::string program = selfDir() + "/importarfac";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--delay-us" && i + 1 < argc) {
            delayUs = std::atol(argv[++i]);
        } else if (a == "--first" && i + 1 < argc) {
            countA = std::atoi(argv[++i]);
        } else if (a == "--second" && i + 1 < argc) {
            countB = std::atoi(argv[++i]);
        } else if (a == "--program" && i + 1 < argc) {
            program = fs::absolute(argv[++i]).string();
        } else {
            std::fprintf(stderr,
                         "usage: bench_slow_link [--delay-us N] [--first A] [--second B]"
                         " [--program PATH]\n");
            return 2;
        }
    }
    const auto server = load::serverFromEnvironment();
    if (!server) {
        std::fputs("bench_slow_link: FB_TEST_SERVER is not set (scripts/fbserver.sh starts one)\n",
                   stderr);
        return 2;
    }
    const int serverPort = std::atoi(server->prefix.substr(server->prefix.find('/') + 1).c_str());
    char pattern[] = "/tmp/bench_slow_link.XXXXXX";
    if (!::mkdtemp(pattern)) return 2;
    const std::string dir = pattern;
    fs::permissions(dir, fs::perms::all);
    try {
        const std::string root = dir + "/erp";
        load::createErp(*server, root, scriptsDir(), /*forcedWrites=*/false);
        for (const char* d : {"xdg/Ostrel", "install", "bin", "work"})
            fs::create_directories(dir + "/" + d);
        std::ofstream(dir + "/xdg/Ostrel/Quorvan2021.conf") << "Directorio=" << dir << "/install\n";
        std::ofstream(dir + "/bin/winscp.com") << "#!/bin/sh\nexit 0\n";
        fs::permissions(dir + "/bin/winscp.com", fs::perms::owner_all);
        const std::string pos = std::to_string(load::pointsOfSale().front().code);

        const Measured a =
            runProgram(*server, serverPort, dir, root, program, 0, countA, delayUs, pos);
        const Measured b =
            runProgram(*server, serverPort, dir, root, program, countA, countB, delayUs, pos);

        std::vector<StoredInvoice> stored;
        {
            fb::Connection c("read");
            c.options().database = server->path(load::companyPath(root, "001"));
            c.options().user = server->user;
            c.options().password = server->password;
            c.open();
            stored = storedInvoices(c);
        }
        const std::string other = load::companyPath(root, "002");
        const Measured fa = runFloor(*server, serverPort, dir, other,
                                     {stored.begin(), stored.begin() + countA}, delayUs);
        const Measured fb = runFloor(*server, serverPort, dir, other,
                                     {stored.begin() + countA, stored.end()}, delayUs);

        std::printf(
            "slow link: %.1f ms each way (%.1f ms a round trip), server %s, %zu lines an"
            " invoice\n",
            delayUs / 1000.0, delayUs / 500.0, server->prefix.c_str(),
            stored.empty() ? size_t(0) : stored.front().lines.size());
        std::printf("  program: %s\n", program.c_str());
        report("import", a, b, countA, countB);
        report("floor", fa, fb, countA, countB);
        fs::remove_all(dir);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_slow_link: %s\n", e.what());
        return 1;
    }
}
