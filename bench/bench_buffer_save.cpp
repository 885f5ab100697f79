// Saves invoices of 30 lines through the window's header buffer (Insert, Post and
// ApplyUpdates(0) per invoice, as the import does) into an embedded company database, and the
// same rows written directly on the Firebird layer: one prepared INSERT per table, one
// transaction per invoice. Prints both rates and the buffer's cost over that floor.
//
// Usage: bench_buffer_save [--forced-writes] [SOURCE_DIR [INVOICES [LINES]]]; SOURCE_DIR holds
// db/company.sql (by default the folder this file was compiled from). Forced writes are turned
// off unless asked for, so that the figures are not only the disk's flush time per commit.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/money.h"
#include "data/fdm.h"
#include "fb/connection.h"
#include "import/window_buffers.h"

namespace {

namespace fs = std::filesystem;
using fb::Value;

constexpr double kLimit = 1.3;
constexpr int kRounds = 3;

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
}

void run(const std::string& command, const std::string& what) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error(what);
}

// A company database with the schema and the sample articles, built by isql-fb.
void createCompany(const std::string& source, const std::string& path, bool forcedWrites) {
    const std::string script = path + ".sql";
    std::ofstream(script) << "SET SQL DIALECT 3;\n"
                          << "CREATE DATABASE " << quoted(path)
                          << " USER 'SYSDBA' PAGE_SIZE 4096 DEFAULT CHARACTER SET ISO8859_1;\n"
                          << "INPUT " << quoted(source + "/db/company.sql") << ";\n"
                          << "INPUT " << quoted(source + "/db/sample_articles.sql") << ";\n"
                          << "COMMIT;\n";
    const std::string command = "isql-fb -q -b -user SYSDBA -i " + quoted(script) + " >" +
                                quoted(path + ".log") + " 2>&1 </dev/null";
    run(command, "isql-fb could not build " + path + " (see " + path + ".log)");
    if (!forcedWrites)
        run("gfix -write async -user SYSDBA " + quoted(path) + " </dev/null",
            "gfix could not turn off forced writes on " + path);
}

struct Cell {
    const char* column;
    Value value;
};

// The header and line columns the import sets, with values of their column types.
std::vector<Cell> headerCells(int id) {
    auto money = [](const char* t) {
        core::Money m = core::Money::parse(t);
        return Value::ofDecimal(m.toScaled(2), 2);
    };
    return {
        {"FACT_ID", Value::ofInt(id)},
        {"PTVT_ID", Value::ofInt(12)},
        {"VEND_COD", Value::ofInt(7)},
        {"TERC_NIT", Value::ofText("800100200")},
        {"FACT_FECHA", Value::ofDate({2024, 1, 31})},
        {"FACT_VENCE", Value::ofDate({2024, 1, 31})},
        {"FACT_IVAINC", Value::ofText("S")},
        {"FACT_IVAMONTO", money("8550")},
        {"FACT_RTFTEMONTO", money("0")},
        {"FACT_RTIVAMONTO", money("0")},
        {"FACT_RTICAMONTO", money("0")},
        {"PREF_PRE", Value::ofText("AB01")},
        {"FACT_NOMCLIENTE", Value::ofText("PARQUEADEROS DEL NORTE S.A.")},
        {"FACT_ANULADO", Value::ofText("N")},
        {"FACT_TRANSMIT", Value::ofText("S")},
        {"FACT_TOTAL", money("53550")},
        {"FACT_SUCURSAL", Value::ofText("12")},
        {"FACT_FACTOR", Value::ofDouble(1)},
        {"FACT_NUMERO", Value::ofText(std::to_string(id))},
        {"FACT_RTCREE", Value::ofDecimal(25000, 4)},
        {"FACT_RTCREEM", money("1125")},
        {"FACT_TRM", Value::ofDouble(1)},
    };
}

std::vector<Cell> lineCells(int id, int item) {
    static const char* const kArticles[] = {"01-01", "01-03", "01-04", "01-07"};
    const char* article = kArticles[item % 4];
    return {
        {"FACT_ID", Value::ofInt(id)},
        {"FADE_ITEM", Value::ofInt(item)},
        {"FADE_ANULADO", Value::ofText("N")},
        {"FADE_TRANSMIT", Value::ofText("N")},
        {"BODE_COD", Value::ofText("01")},
        {"ARTI_COD", Value::ofText(article)},
        {"FADE_CODBAR", Value::ofText(article)},
        {"FADE_DESC", Value::ofText("SERVICIO DE PARQUEADERO")},
        {"FADE_UNIDAD", Value::ofText("UND")},
        {"FADE_CANT", Value::ofDecimal(10000, 4)},
        {"FADE_PRUNIT", Value::ofDecimal(150000, 2)},
        {"FADE_FACTOR", Value::ofDecimal(10000, 4)},
        {"LIPR_COD", Value::ofInt(1)},
        {"FADE_DTOPORC", Value::ofDecimal(0, 4)},
        {"FADE_DTOMONTO", Value::ofDecimal(0, 2)},
        {"FADE_IVAPORC", Value::ofDecimal(190000, 4)},
        {"FADE_IVAMONTO", Value::ofDecimal(28500, 2)},
        {"FADE_CONSUMO", Value::ofDecimal(0, 2)},
        {"FADE_TOTAL", Value::ofDecimal(150000, 2)},
        {"FADE_DTO1", Value::ofDecimal(0, 4)},
        {"FADE_DTO2", Value::ofDecimal(0, 4)},
        {"FADE_DTOM1", Value::ofDecimal(0, 2)},
        {"FADE_DTOM2", Value::ofDecimal(0, 2)},
        {"FADE_DTOM3", Value::ofDecimal(0, 2)},
    };
}

// Sets a column with the typed setter the import uses for a value of that kind.
void set(records::Buffer& b, const Cell& c) {
    records::Field f = b.FieldByName(c.column);
    switch (c.value.kind) {
        case Value::Kind::Integer:
            f.setInteger(c.value.integer);
            break;
        case Value::Kind::Decimal:
            f.setMoney(core::Money::fromScaled(c.value.integer, c.value.scale));
            break;
        case Value::Kind::Double:
            f.setMoney(core::Money::fromDouble(c.value.real));
            break;
        case Value::Kind::Date:
            f.setDate(c.value.date);
            break;
        default:
            f.setString(c.value.text);
    }
}

void connect(fb::Connection& c, const std::string& path) {
    c.options().database = path;
    c.options().user = "SYSDBA";
    c.open();
}

// The import's way: the window's buffers on the data module's company connection.
[[gnu::noinline]] double throughBuffer(const std::string& path, int first, int invoices,
                                       int lines) {
    data::Tfdm fdm;
    importer::WindowBuffers w(nullptr, fdm);
    int NroIte = 0;
    w.CFactdetalle.AfterInsert = [&](records::Buffer& d) {
        ++NroIte;
        d.FieldByName("FADE_ITEM").setInteger(NroIte);
        d.FieldByName("FADE_ANULADO").setString("N");
        d.FieldByName("FADE_TRANSMIT").setString("N");
    };
    connect(fdm.Quorvan, path);
    w.CFacturas.Open();
    auto start = std::chrono::steady_clock::now();
    for (int i = first; i < first + invoices; ++i) {
        w.CFacturas.Insert();
        for (const Cell& c : headerCells(i)) set(w.CFacturas, c);
        w.CFacturas.Post();
        for (int item = 1; item <= lines; ++item) {
            w.CFactdetalle.Insert();
            for (const Cell& c : lineCells(i, item)) {
                std::string n = c.column;
                if (n != "FACT_ID" && n != "FADE_ITEM" && n != "FADE_ANULADO" &&
                    n != "FADE_TRANSMIT")
                    set(w.CFactdetalle, c);
            }
            w.CFactdetalle.Post();
        }
        if (w.CFacturas.ApplyUpdates(0) != 0)
            throw std::runtime_error("invoice " + std::to_string(i) + " was refused");
        NroIte = 0;
    }
    double elapsed = seconds(start);
    w.CFacturas.Close();
    return elapsed;
}

// Every column of `table`, and an INSERT naming them all with one marker each.
struct Insert {
    std::vector<std::string> columns;
    std::string sql;

    Insert(fb::Connection& c, const std::string& table) {
        std::string names, marks;
        for (const fb::ColumnInfo& col : c.describe("SELECT * FROM " + table)) {
            columns.push_back(col.name);
            names += (names.empty() ? "\"" : ", \"") + col.name + "\"";
            marks += marks.empty() ? "?" : ", ?";
        }
        sql = "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
    }

    std::vector<Value> values(const std::vector<Cell>& cells) const {
        std::vector<Value> v(columns.size());
        for (const Cell& c : cells)
            for (size_t i = 0; i < columns.size(); ++i)
                if (columns[i] == c.column) v[i] = c.value;
        return v;
    }
};

// The floor: the same rows, one prepared INSERT per table, one transaction per invoice. The
// values are built before the clock starts.
[[gnu::noinline]] double direct(const std::string& path, int first, int invoices, int lines) {
    fb::Connection c("floor");
    connect(c, path);
    const Insert header(c, "FACTURAS"), line(c, "FACTURAS_DETALLE");
    std::vector<std::vector<std::vector<Value>>> rows(invoices);
    for (int i = first; i < first + invoices; ++i) {
        rows[i - first].push_back(header.values(headerCells(i)));
        for (int item = 1; item <= lines; ++item)
            rows[i - first].push_back(line.values(lineCells(i, item)));
    }
    auto start = std::chrono::steady_clock::now();
    for (const auto& invoice : rows) {
        fb::Transaction t = c.begin();
        c.run(t, header.sql, invoice[0]);
        for (size_t k = 1; k < invoice.size(); ++k) c.run(t, line.sql, invoice[k]);
        t.commit();
    }
    return seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
    bool forcedWrites = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--forced-writes")
            forcedWrites = true;
        else
            args.push_back(argv[i]);
    }
    const std::string source =
        args.size() > 0 ? args[0] : fs::path(__FILE__).parent_path().parent_path().string();
    const int invoices = args.size() > 1 ? std::atoi(args[1].c_str()) : 1000;
    const int lines = args.size() > 2 ? std::atoi(args[2].c_str()) : 30;
    const fs::path dir =
        fs::temp_directory_path() / ("bench_buffer_save." + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    try {
        const std::string viaBuffer = (dir / "buffer.fdb").string();
        const std::string viaLayer = (dir / "floor.fdb").string();
        createCompany(source, viaBuffer, forcedWrites);
        createCompany(source, viaLayer, forcedWrites);
        // Rounds alternate between the two, each round with new invoice ids in the same
        // databases; the best round of each counts, the machine being shared.
        double floor = 1e300, buffer = 1e300;
        for (int round = 0; round < kRounds; ++round) {
            const int first = 1 + round * invoices;
            floor = std::min(floor, direct(viaLayer, first, invoices, lines));
            buffer = std::min(buffer, throughBuffer(viaBuffer, first, invoices, lines));
        }
        fs::remove_all(dir);
        const double ratio = buffer / floor;
        std::printf(
            "buffer save: %d invoices of %d lines, one transaction each, embedded engine, "
            "forced writes %s, best of %d rounds\n",
            invoices, lines, forcedWrites ? "on" : "off", kRounds);
        std::printf("  CFacturas/CFactdetalle:      %8.1f invoices/s  (%.3f s)\n",
                    invoices / buffer, buffer);
        std::printf("  prepared INSERTs (floor):    %8.1f invoices/s  (%.3f s)\n", invoices / floor,
                    floor);
        std::printf("  ratio: %.2fx (limit %.1fx) %s\n", ratio, kLimit,
                    ratio <= kLimit ? "ok" : "OVER");
        return ratio <= kLimit ? 0 : 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_buffer_save: %s\n", e.what());
        fs::remove_all(dir);
        return 1;
    }
}
