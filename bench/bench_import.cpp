// Import of 200 flat files, one summary record each (6 amount lines and 24 discount lines:
// 8 group columns of 3 values), through the import window and the invoice steps on an
// embedded company database built by isql-fb from db/*.sql. Against it, the floor: the same
// header and line INSERTs and procedure calls sent straight through fb::Connection with
// prepared statements, one transaction per invoice, on a second copy of the database.
// Each side runs three times, interleaved, on fresh copies; the best round counts.
// Prints invoices per second for both, their ratio (must stay within 1.5x), and the
// statements the import prepared and executed, naming the texts that differ per invoice.
//
// Usage: bench_import [--forced-writes] [--texts] [--block] [db-scripts-folder]
//   --forced-writes  keeps the databases' forced writes (default: turned off)
//   --block          stores each invoice as one block, as over a network (default: as the
//                    program chooses in process, statement by statement)
//   --texts          also lists the statement texts that are prepared once
//   db-scripts-folder defaults to the db/ folder of this source tree
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/import_window.h"
#include "bench/floor_insert.h"
#include "bench/in_process_program.h"
#include "core/date.h"
#include "core/text.h"
#include "fb/connection.h"
#include "import/invoice_importer.h"
#include "tests/support/recording_port.h"

namespace fs = std::filesystem;

namespace {

using bench::insertShape;
using bench::InsertShape;
using bench::rowOf;

constexpr int kInvoices = 200;
constexpr int kGroupColumns = 8;
constexpr int kLinesPerInvoice = 6 + 3 * kGroupColumns;
constexpr double kMaxRatio = 1.5;
constexpr int kRounds = 3;

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ---- databases ---------------------------------------------------------------------------

void runIsql(const std::string& script, const std::string& scratch) {
    const std::string in = scratch + "/isql.sql";
    std::ofstream(in, std::ios::binary) << script;
    const std::string cmd =
        "isql-fb -q -b -user SYSDBA -i '" + in + "' > '" + scratch + "/isql.out' 2>&1 < /dev/null";
    if (std::system(cmd.c_str()) != 0) {
        std::ifstream out(scratch + "/isql.out");
        throw std::runtime_error("isql-fb failed:\n" +
                                 std::string(std::istreambuf_iterator<char>(out), {}));
    }
}

void createDatabase(const std::string& path, int dialect, const std::vector<std::string>& scripts,
                    const std::string& scriptsDir, const std::string& scratch) {
    fs::create_directories(fs::path(path).parent_path());
    std::string s = "SET SQL DIALECT " + std::to_string(dialect) + ";\nCREATE DATABASE " +
                    core::sqlQuote(path) + " USER 'SYSDBA' PAGE_SIZE 4096";
    if (dialect == 3) s += " DEFAULT CHARACTER SET ISO8859_1";
    s += ";\n";
    for (const std::string& f : scripts)
        s += "INPUT " + core::sqlQuote(scriptsDir + "/" + f) + ";\n";
    runIsql(s + "COMMIT;\n", scratch);
}

// Forced writes off: commits no longer wait for the disk, which would otherwise measure
// little but the number of commits.
void writeAsync(const std::string& path) {
    const std::string cmd = "gfix -user SYSDBA -write async '" + path + "'";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("gfix failed on " + path);
}

// ---- flat files ----------------------------------------------------------------------------

std::string dayName(int i) {
    const core::Date d = core::Date::fromDayNumber(core::Date{2024, 1, 1}.toDayNumber() + i);
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d", d.year, d.month, d.day);
    return name;
}

// Amounts of fields 3, 4, 5, 7, 8, 9 and the group values of invoice i.
struct Amounts {
    int amount[6];
    int group[kGroupColumns][3];
};

Amounts amountsOf(int i) {
    Amounts a{};
    for (int k = 0; k < 6; ++k) a.amount[k] = 1000 + 37 * i + 101 * k;
    for (int g = 0; g < kGroupColumns; ++g)
        for (int v = 0; v < 3; ++v) a.group[g][v] = 1 + (i + g + v) % 97;
    return a;
}

std::string recordOf(int i) {
    const Amounts a = amountsOf(i);
    std::string s = "01/01/2024;x;y";
    for (int k = 0; k < 3; ++k) s += ";" + std::to_string(a.amount[k]) + ".25";
    s += ";z";
    for (int k = 3; k < 6; ++k) s += ";" + std::to_string(a.amount[k]);
    s += ";1000;7000;a;b;c;d;e";
    for (int g = 0; g < kGroupColumns; ++g) {
        char col[48];
        std::snprintf(col, sizeof col, ";GRUPO%d %3d.%d.%d", g, a.group[g][0], a.group[g][1],
                      a.group[g][2]);
        s += col;
    }
    return s + ";FD\r\n";
}

void writeFolder(const std::string& folder) {
    fs::create_directories(folder);
    for (int i = 0; i < kInvoices; ++i)
        std::ofstream(folder + "/[RDE_12_" + dayName(i) + ".txt", std::ios::binary) << recordOf(i);
}

// ---- the import ----------------------------------------------------------------------------

struct ImportResult {
    double seconds = 0;
    uint64_t prepared = 0, executed = 0;
    int saved = 0, cleaned = 0;
    // Every distinct statement text sent. Only distinct ones are kept: copying every text
    // sent would cost the import more than some of its statements.
    std::unordered_set<std::string> texts;
};

importer::InvoiceImporter::SavePath savePath = importer::InvoiceImporter::SavePath::Auto;

ImportResult runImport(const std::string& root, const std::string& folder) {
    app::RecordingPort port;
    bench::Program p(port);
    p.steps.setSavePath(savePath);
    app::FormModel& f = p.window.form;
    f.Servidor.text = root;
    f.Tusua.text = "SYSDBA";
    f.TClave.text = "x";
    f.Cia.text = "001";
    f.Ubicacion.text = folder;
    f.Separ.itemIndex = 1;
    f.Delim.itemIndex = 0;
    if (!p.window.connectDatabases()) throw std::runtime_error("not connected");
    // As the unattended start does: the run goes on in the connection just opened, as the
    // floor's does, instead of opening it again for the first file.
    p.window.context.CiaAct = f.Cia.text;

    ImportResult r;
    p.fdm.setConnectionHooks(
        {.statement = [&r](const std::string& sql, const std::vector<fb::Value>&) {
            r.texts.insert(sql);
        }});
    const uint64_t prepared = p.fdm.Quorvan.preparedCount();
    const uint64_t executed = p.fdm.Quorvan.executedCount();
    const auto start = std::chrono::steady_clock::now();
    p.window.runImport();
    r.seconds = seconds(start);
    p.fdm.setConnectionHooks({});
    r.prepared = p.fdm.Quorvan.preparedCount() - prepared;
    r.executed = p.fdm.Quorvan.executedCount() - executed;
    r.saved = p.window.lastRun().invoicesSaved;
    r.cleaned = p.cleanup.files;
    for (const app::PortCall& c : port.calls())
        if (c.kind == app::PortCallKind::Error || c.kind == app::PortCallKind::Failure ||
            c.kind == app::PortCallKind::Information)
            std::fprintf(stderr, "box: %s\n", c.text.c_str());
    return r;
}

// ---- the floor -----------------------------------------------------------------------------

fb::Value dec(int64_t scaled, int scale) {
    return fb::Value::ofDecimal(scaled, scale);
}
fb::Value text(const char* t) {
    return fb::Value::ofText(t);
}
fb::Value num(int64_t v) {
    return fb::Value::ofInt(v);
}

struct FloorResult {
    double seconds = 0;
    uint64_t prepared = 0, executed = 0;
};

// What the floor sends besides the saves, totals and posting.
enum class Floor {
    SavesOnly,    // one transaction per invoice: id, header, lines, totals, posting
    AsTheImport,  // also every lookup of the import, in one read-only transaction kept
                  // open (the connection's reader), and the save in a transaction of its
                  // own, as the import sends them
};

FloorResult runFloor(const std::string& database, Floor kind) {
    fb::Connection c("floor");
    c.options().database = database;
    c.options().user = "SYSDBA";
    c.options().dialect = 3;
    c.options().readCommitted = true;
    c.options().waitOnLocks = true;
    c.open();
    const InsertShape header = insertShape(c, "FACTURAS");
    const InsertShape line = insertShape(c, "FACTURAS_DETALLE");
    const uint64_t prepared = c.preparedCount(), executed = c.executedCount();
    const bool lookups = kind == Floor::AsTheImport;
    // A statement of its own transaction (as the import sends every statement but the save),
    // or of the invoice's one transaction.
    std::optional<fb::Transaction> invoiceTra;
    auto send = [&](const std::string& sql, const std::vector<fb::Value>& params) {
        return invoiceTra ? c.run(*invoiceTra, sql, params) : c.run(sql, params);
    };
    auto look = [&](const std::string& sql, const std::vector<fb::Value>& params) {
        return c.read(sql, params);
    };

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kInvoices; ++i) {
        const Amounts a = amountsOf(i);
        const core::Date day = core::Date::fromDayNumber(core::Date{2024, 1, 1}.toDayNumber() + i);
        if (!lookups) invoiceTra.emplace(c.begin());
        if (lookups) {
            look("SELECT FACT_ID FROM FACTURAS WHERE PREF_PRE = ? AND FACT_FECHA = ?",
                 {text("AB01"), fb::Value::ofDate(day)});
            look(
                "select pref_ivainc, pref_actual from prefijos where tido_cod = 31 and "
                "pref_pre = 'AB01'",
                {});
            look(
                "select terc_nom, lipr_cod, vend_cod, clie_rtcree from terceros t, clientes c "
                "where t.terc_nit = c.terc_nit and c.terc_nit = '800100200'",
                {});
        }
        const int64_t id = send("EXECUTE PROCEDURE CAMBIE_ID_FACTURA", {}).rows[0][0].integer;
        const char* codes[6] = {"01-01", "01-01", "01-01", "01-07", "01-03", "01-04"};
        if (lookups) {
            auto lookUp = [&](const std::string& code) {
                look("select * from valide_articulo('" + code + "')", {});
                look(
                    "select taiv_porc, arti_consumo from articulo a, tarifa_iva t where "
                    "a.taiv_cod = t.taiv_cod and arti_cod = '" +
                        code + "'",
                    {});
                look("SELECT * FROM FACTOR_UNIDAD_CANT('" + code + "','UND')", {});
            };
            for (const char* code : codes) lookUp(code);
            for (int n = 0; n < 3 * kGroupColumns; ++n) lookUp("01-01");
            invoiceTra.emplace(c.begin());
        }
        send(header.sql, rowOf(header, {{"FACT_ID", num(id)},
                                        {"PTVT_ID", num(12)},
                                        {"VEND_COD", num(7)},
                                        {"TERC_NIT", text("800100200")},
                                        {"FACT_FECHA", fb::Value::ofDate(day)},
                                        {"FACT_VENCE", fb::Value::ofDate(day)},
                                        {"FACT_IVAINC", text("S")},
                                        {"FACT_IVAMONTO", dec(100000, 2)},
                                        {"FACT_RTFTEMONTO", dec(0, 2)},
                                        {"FACT_RTIVAMONTO", dec(0, 2)},
                                        {"FACT_RTICAMONTO", dec(0, 2)},
                                        {"PREF_PRE", text("AB01")},
                                        {"FACT_NOMCLIENTE", text("PARQUEADEROS DEL NORTE S.A.")},
                                        {"FACT_ANULADO", text("N")},
                                        {"FACT_TRANSMIT", text("S")},
                                        {"FACT_TOTAL", dec(700000, 2)},
                                        {"FACT_SUCURSAL", text("01")},
                                        {"FACT_FACTOR", fb::Value::ofDouble(1)},
                                        {"FACT_NUMERO", fb::Value::ofText(dayName(i))},
                                        {"FACT_RTCREE", dec(25000, 4)},
                                        {"FACT_RTCREEM", dec(15000, 2)},
                                        {"FACT_TRM", fb::Value::ofDouble(1)}}));
        auto addLine = [&](int item, const char* code, int64_t price, int64_t vat,
                           int64_t dtoporc) {
            send(line.sql, rowOf(line, {{"FACT_ID", num(id)},
                                        {"FADE_ITEM", num(item)},
                                        {"BODE_COD", text("01")},
                                        {"ARTI_COD", text(code)},
                                        {"FADE_CANT", dec(10000, 4)},
                                        {"FADE_UNIDAD", text("UND")},
                                        {"FADE_PRUNIT", dec(price * 100, 2)},
                                        {"FADE_DTOPORC", dec(dtoporc * 10000, 4)},
                                        {"FADE_DTOMONTO", dec(dtoporc ? price * 100 : 0, 2)},
                                        {"FADE_IVAPORC", dec(190000, 4)},
                                        {"FADE_IVAMONTO", dec(vat * 100, 2)},
                                        {"FADE_CONSUMO", dec(0, 2)},
                                        {"FADE_FACTOR", dec(10000, 4)},
                                        {"FADE_DESC", text("SERVICIO DE PARQUEADERO")},
                                        {"FADE_CODBAR", text(code)},
                                        {"FADE_TOTAL", dec(dtoporc ? 0 : (price + vat) * 100, 2)},
                                        {"LIPR_COD", num(1)},
                                        {"FADE_REFERENCIA", text("AUTOS GRUPO")},
                                        {"FADE_ANULADO", text("N")},
                                        {"FADE_TRANSMIT", text("N")},
                                        {"FADE_DTO1", dec(0, 4)},
                                        {"FADE_DTO2", dec(0, 4)},
                                        {"FADE_DTOM1", dec(0, 2)},
                                        {"FADE_DTOM2", dec(0, 2)},
                                        {"FADE_DTOM3", dec(0, 2)}}));
        };
        int item = 0;
        for (int k = 0; k < 6; ++k)
            addLine(++item, codes[k], a.amount[k], a.amount[k] * 19 / 100, 0);
        for (int g = 0; g < kGroupColumns; ++g)
            for (int v = 0; v < 3; ++v) addLine(++item, "01-01", a.group[g][v], 0, 100);
        if (lookups) {
            invoiceTra->commit();
            invoiceTra.reset();
        }
        send("EXECUTE PROCEDURE ACTUALICE_TOTAL_DOCVENTA(?, ?)", {num(31), num(id)});
        if (lookups)
            look(
                "select MAX(INVE_ID) ID from INTERFAZ_VENTAS where tido_cod = 31 and pref_pre "
                "= 'AB01'",
                {});
        fb::Table posting = send("select * from contabil_factura(?, ?)", {num(id), num(5)});
        if (!posting.rows.empty() && posting.rows[0][0].integer == 0)
            send("EXECUTE PROCEDURE CONTABILIZA_PENDIENTE(?)", {posting.rows[0][2]});
        if (!lookups) {
            invoiceTra->commit();
            invoiceTra.reset();
        }
    }
    FloorResult r;
    r.seconds = seconds(start);
    r.prepared = c.preparedCount() - prepared;
    r.executed = c.executedCount() - executed;
    return r;
}

// ---- report --------------------------------------------------------------------------------

// The statement text with every run of digits as "#": texts that differ only in a value
// concatenated into them fall together.
std::string shapeOf(const std::string& sql) {
    std::string s;
    for (size_t i = 0; i < sql.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(sql[i]))) {
            if (s.empty() || s.back() != '#') s += '#';
        } else {
            s += sql[i];
        }
    }
    return s;
}

void reportTexts(const std::unordered_set<std::string>& texts, bool listConstant) {
    std::map<std::string, std::set<std::string>> byShape;
    for (const std::string& t : texts) byShape[shapeOf(t)].insert(t);
    size_t constant = 0;
    if (listConstant) std::printf("  texts without a value:\n");
    for (const auto& [shape, distinct] : byShape) {
        if (distinct.size() > 1) continue;
        ++constant;
        if (listConstant) std::printf("    %.100s\n", distinct.begin()->c_str());
    }
    if (constant < byShape.size())
        std::printf("  texts that carry a value, one prepare for each distinct text:\n");
    for (const auto& [shape, distinct] : byShape) {
        if (distinct.size() <= 1) continue;
        const char* per = distinct.size() >= static_cast<size_t>(kInvoices) ? "invoice" : "code";
        std::string shown = shape.size() > 80 ? shape.substr(0, 77) + "..." : shape;
        std::printf("    %4zu (one per %-7s) %s\n", distinct.size(), per, shown.c_str());
    }
    std::printf("  texts without a value: %zu, each prepared once per connection\n", constant);
}

}  // namespace

int main(int argc, char** argv) {
    bool forcedWrites = false;
    bool listTexts = false;
    std::string scriptsDir = (fs::path(__FILE__).parent_path().parent_path() / "db").string();
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--forced-writes")
            forcedWrites = true;
        else if (std::string(argv[i]) == "--texts")
            listTexts = true;
        else if (std::string(argv[i]) == "--block")
            savePath = importer::InvoiceImporter::SavePath::Block;
        else
            scriptsDir = argv[i];
    }
    const std::string dir = (fs::temp_directory_path() / "bench_import").string();
    fs::remove_all(dir);
    fs::create_directories(dir);
    try {
        const std::string root = dir + "/erp";
        const std::string company = root + "/datos/001/quorvan.fdb";
        createDatabase(root + "/datos/general.fdb", 1, {"general.sql", "sample_general.sql"},
                       scriptsDir, dir);
        createDatabase(company, 3, {"company.sql", "sample_data.sql"}, scriptsDir, dir);
        if (!forcedWrites) writeAsync(company);
        const std::string pristine = dir + "/pristine.fdb";
        fs::copy_file(company, pristine);

        // Each side runs kRounds times, interleaved, on fresh copies of the same database;
        // the best round of each counts. Single runs here swing by half of their time with
        // what else the machine is doing.
        ImportResult imp;
        FloorResult saves, same;
        for (int round = 0; round < kRounds; ++round) {
            const std::string floorDb[2] = {dir + "/floor1.fdb", dir + "/floor2.fdb"};
            for (const std::string& f : {company, floorDb[0], floorDb[1]})
                fs::copy_file(pristine, f, fs::copy_options::overwrite_existing);
            fs::remove_all(dir + "/in");
            writeFolder(dir + "/in");
            ::sync();

            ImportResult i = runImport(root, dir + "/in");
            if (i.saved != kInvoices || i.cleaned != kInvoices) {
                std::fprintf(stderr, "the import stored %d invoices and removed %d files of %d\n",
                             i.saved, i.cleaned, kInvoices);
                return 2;
            }
            if (round == 0 || i.seconds < imp.seconds) imp = std::move(i);
            ::sync();
            const FloorResult s1 = runFloor(floorDb[0], Floor::SavesOnly);
            if (round == 0 || s1.seconds < saves.seconds) saves = s1;
            ::sync();
            const FloorResult s2 = runFloor(floorDb[1], Floor::AsTheImport);
            if (round == 0 || s2.seconds < same.seconds) same = s2;
        }

        auto rate = [](double s) { return kInvoices / s; };
        const double ratio = imp.seconds / saves.seconds;
        const double overhead = imp.seconds / same.seconds;
        std::printf(
            "import of %d invoices (%d lines each), embedded engine, forced writes %s, best of "
            "%d rounds\n",
            kInvoices, kLinesPerInvoice, forcedWrites ? "on" : "off", kRounds);
        std::printf(
            "  import through the window and the invoice steps: %8.1f invoices/s  "
            "(%.3f s)\n",
            rate(imp.seconds), imp.seconds);
        std::printf(
            "  floor, saves, totals and posting, 1 transaction: %8.1f invoices/s  "
            "(%.3f s)\n",
            rate(saves.seconds), saves.seconds);
        std::printf(
            "  floor, every statement the import sends:          %8.1f invoices/s  "
            "(%.3f s)\n",
            rate(same.seconds), same.seconds);
        std::printf("  import / floor of saves:           %.2fx (limit %.1fx)%s\n", ratio,
                    kMaxRatio, ratio <= kMaxRatio ? "" : "  EXCEEDED");
        std::printf("  import / floor of every statement: %.2fx (limit %.1fx)%s\n", overhead,
                    kMaxRatio, overhead <= kMaxRatio ? "" : "  EXCEEDED");
        auto counts = [](const char* what, uint64_t prepared, uint64_t executed) {
            std::printf("  %s: %llu prepared, %llu executed (%.1f per invoice)\n", what,
                        static_cast<unsigned long long>(prepared),
                        static_cast<unsigned long long>(executed),
                        static_cast<double>(executed) / kInvoices);
        };
        counts("import statements          ", imp.prepared, imp.executed);
        counts("floor of saves             ", saves.prepared, saves.executed);
        counts("floor of every statement   ", same.prepared, same.executed);
        reportTexts(imp.texts, listTexts);
        fs::remove_all(dir);
        return ratio <= kMaxRatio && overhead <= kMaxRatio ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_import: %s\n", e.what());
        return 2;
    }
}
