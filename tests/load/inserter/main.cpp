// A second writer for the load: keeps selling at the counter of each company, as the ERP's own
// invoice form does, while the import runs. Each sale is one transaction: a new id from
// CAMBIE_ID_FACTURA, the articles sold locked (the ERP reserves their stock for the length of
// the sale), the header and its lines, a short pause while the sale stays open, the totals
// (ACTUALICE_TOTAL_DOCVENTA) and the posting (CONTABIL_FACTURA, CONTABILIZA_PENDIENTE). While
// a sale holds its articles, every other transaction that inserts a line of one of them waits.
//
// Usage: load_inserter --out FILE --stop FILE [--hold-ms N] [--pause-ms N] [--max-seconds N]
//                      DATABASE,PREFIX,INTERFACE ...
// --hold-ms: how long each sale stays open after its lines (default 3); --pause-ms: the time
// between one round of sales (one per company) and the next (default 20).
// The server, user and password come from FB_TEST_SERVER, FB_TEST_USER and FB_TEST_PASSWORD.
// Runs until the stop file exists. FILE gets one line per committed sale,
// "<database index> <FACT_ID> <lines> <total>", and at the end
// "done sales=<n> errors=<n> waits=<n> transactions=<n>", waits being the lock waits the
// databases counted for the other attachments (the import) while it watched, transactions
// those it started itself. FILE.ready appears once every company
// has a committed sale. Exit status 0 only without errors.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fb/connection.h"
#include "tests/load/set/load_set.h"

namespace fs = std::filesystem;

namespace {

struct Company {
    std::string database;
    std::string prefix;
    int interface = 0;
    std::unique_ptr<fb::Connection> connection;
    std::map<int64_t, int64_t> waits;  // attachment id -> the most lock waits seen
};

constexpr const char* kArticles[3] = {"01-01", "01-03", "01-04"};

// One sale of `lines` lines; returns its id and total.
std::pair<int64_t, int64_t> sell(Company& c, int seq, int lines, int holdMs) {
    fb::Connection& db = *c.connection;
    fb::Transaction t = db.begin();
    const int64_t id =
        db.run(t, "EXECUTE PROCEDURE CAMBIE_ID_FACTURA", {}).rows.at(0).at(0).integer;
    db.run(t,
           "SELECT ARTI_COD FROM ARTICULO WHERE ARTI_COD IN ('01-01', '01-03', '01-04') WITH LOCK",
           {});
    char number[16];
    std::snprintf(number, sizeof number, "%08d", seq);
    const fb::Value day = fb::Value::ofDate(core::Date{2024, 6, 1});
    db.run(
        t,
        "INSERT INTO FACTURAS (FACT_ID, PTVT_ID, VEND_COD, TERC_NIT, FACT_FECHA, FACT_VENCE, "
        "FACT_IVAINC, PREF_PRE, FACT_NUMERO, FACT_ANULADO, FACT_TRANSMIT, FACT_NOMCLIENTE, "
        "FACT_SUCURSAL) VALUES (?, 1, 1, '900300400', ?, ?, 'S', ?, ?, 'N', 'S', "
        "'CLIENTES VARIOS', '01')",
        {fb::Value::ofInt(id), day, day, fb::Value::ofText(c.prefix), fb::Value::ofText(number)});
    int64_t total = 0;
    for (int i = 1; i <= lines; ++i) {
        const int64_t price = 100 * (seq % 7 + i);
        const int64_t vat = price * 19 / 100;
        total += price + vat;
        db.run(t,
               "INSERT INTO FACTURAS_DETALLE (FACT_ID, FADE_ITEM, BODE_COD, ARTI_COD, FADE_CANT, "
               "FADE_UNIDAD, FADE_PRUNIT, FADE_IVAPORC, FADE_IVAMONTO, FADE_TOTAL, "
               "FADE_REFERENCIA) VALUES (?, ?, '01', ?, 1, 'UND', ?, 19, ?, ?, 'MOSTRADOR')",
               {fb::Value::ofInt(id), fb::Value::ofInt(i), fb::Value::ofText(kArticles[i % 3]),
                fb::Value::ofInt(price), fb::Value::ofInt(vat), fb::Value::ofInt(price + vat)});
    }
    if (holdMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    db.run(t, "EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(31, ?)", {fb::Value::ofInt(id)});
    const fb::Table posting = db.run(t, "SELECT * FROM CONTABIL_FACTURA(?, ?)",
                                     {fb::Value::ofInt(id), fb::Value::ofInt(c.interface)});
    if (!posting.rows.empty() && posting.rows[0][0].integer == 0)
        db.run(t, "EXECUTE PROCEDURE CONTABILIZA_PENDIENTE(?)", {posting.rows[0][2]});
    t.commit();
    return {id, total};
}

// The lock waits the database has counted for every other attachment, by attachment.
void watch(Company& c) {
    const fb::Table t = c.connection->run(
        "SELECT A.MON$ATTACHMENT_ID, R.MON$RECORD_WAITS FROM MON$ATTACHMENTS A "
        "JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = A.MON$STAT_ID "
        "WHERE A.MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND A.MON$SYSTEM_FLAG = 0");
    for (const auto& row : t.rows) {
        int64_t& seen = c.waits[row[0].integer];
        seen = std::max(seen, row[1].integer);
    }
}

int usage() {
    std::fputs(
        "usage: load_inserter --out FILE --stop FILE [--hold-ms N] [--pause-ms N] "
        "[--max-seconds N] "
        "DATABASE,PREFIX,INTERFACE ...\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string out, stop;
    int holdMs = 3;
    int pauseMs = 20;
    int maxSeconds = 600;
    std::vector<Company> companies;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--out" || a == "--stop" || a == "--hold-ms" || a == "--pause-ms" ||
             a == "--max-seconds") &&
            i + 1 < argc) {
            const std::string v = argv[++i];
            if (a == "--out") out = v;
            if (a == "--stop") stop = v;
            if (a == "--hold-ms") holdMs = std::atoi(v.c_str());
            if (a == "--pause-ms") pauseMs = std::atoi(v.c_str());
            if (a == "--max-seconds") maxSeconds = std::atoi(v.c_str());
            continue;
        }
        const size_t c1 = a.find(','), c2 = a.find(',', c1 == std::string::npos ? 0 : c1 + 1);
        if (c1 == std::string::npos || c2 == std::string::npos) return usage();
        Company c;
        c.database = a.substr(0, c1);
        c.prefix = a.substr(c1 + 1, c2 - c1 - 1);
        c.interface = std::atoi(a.c_str() + c2 + 1);
        companies.push_back(std::move(c));
    }
    const auto server = load::serverFromEnvironment();
    if (out.empty() || stop.empty() || companies.empty()) return usage();
    if (!server) {
        std::fputs("load_inserter: FB_TEST_SERVER is not set\n", stderr);
        return 2;
    }

    std::ofstream log(out, std::ios::trunc);
    int sales = 0, errors = 0;
    try {
        for (Company& c : companies) {
            c.connection = std::make_unique<fb::Connection>("Inserter");
            c.connection->options().database = server->path(c.database);
            c.connection->options().user = server->user;
            c.connection->options().password = server->password;
            c.connection->options().dialect = 3;
            c.connection->options().readCommitted = true;
            c.connection->options().waitOnLocks = true;
            c.connection->open();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "load_inserter: %s\n", e.what());
        return 1;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds);
    bool ready = false;
    for (int seq = 1; !fs::exists(stop) && std::chrono::steady_clock::now() < deadline; ++seq) {
        for (size_t k = 0; k < companies.size(); ++k) {
            Company& c = companies[k];
            const int lines = 3 + seq % 6;
            try {
                const auto [id, total] = sell(c, seq, lines, holdMs);
                ++sales;
                log << k << ' ' << id << ' ' << lines << ' ' << total << '\n' << std::flush;
                watch(c);
            } catch (const std::exception& e) {
                ++errors;
                std::fprintf(stderr, "load_inserter: sale %d in %s: %s\n", seq, c.database.c_str(),
                             e.what());
            }
        }
        if (!ready && sales >= static_cast<int>(companies.size())) {
            std::ofstream(out + ".ready") << "ready\n";
            ready = true;
        }
        if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    int64_t waits = 0;
    uint64_t transactions = 0;
    for (const Company& c : companies) {
        for (const auto& [attachment, n] : c.waits) waits += n;
        transactions += c.connection->transactionCount();
    }
    log << "done sales=" << sales << " errors=" << errors << " waits=" << waits
        << " transactions=" << transactions << '\n';
    return errors == 0 && log ? 0 : 1;
}
