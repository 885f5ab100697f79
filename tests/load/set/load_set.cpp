#include "tests/load/set/load_set.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/text.h"

extern char** environ;

namespace fs = std::filesystem;

namespace load {
namespace {

constexpr int kFirstCode = 101;
constexpr int kPoints = 50;
constexpr int kVatPercent = 19;  // every sample article's rate

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a program with its output in `log`; throws with that output when it fails.
void runTool(std::vector<std::string> args, const std::string& log) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(spawned));
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waiting for " + args[0] + " failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed:\n" + slurp(log));
}

// Runs `script` through isql-fb; the script connects (or creates) its database itself.
void isql(const std::string& script, const std::string& scratch) {
    const std::string in = scratch + "/load-isql.sql";
    std::ofstream(in, std::ios::binary) << script;
    runTool({"isql-fb", "-q", "-b", "-i", in}, scratch + "/load-isql.out");
    fs::remove(in);
}

std::string createStatement(const Server& s, const std::string& file, int dialect) {
    std::string sql = "SET SQL DIALECT " + std::to_string(dialect) + ";\nCREATE DATABASE " +
                      core::sqlQuote(s.path(file)) + " USER " + core::sqlQuote(s.user) +
                      " PASSWORD " + core::sqlQuote(s.password) + " PAGE_SIZE 4096";
    if (dialect == 3) sql += " DEFAULT CHARACTER SET ISO8859_1";
    return sql + ";\n";
}

std::string input(const std::string& scriptsDir, const char* name) {
    return "INPUT " + core::sqlQuote(scriptsDir + "/" + name) + ";\n";
}

// Half to the even neighbour, as the import rounds VAT: a × rate ÷ 100 in whole units.
int64_t vatOf(int64_t amount) {
    const int64_t hundredths = amount * kVatPercent;
    int64_t q = hundredths / 100;
    const int64_t r = hundredths % 100;
    if (r > 50 || (r == 50 && q % 2 != 0)) ++q;
    return q;
}

std::string dateDigits(const core::Date& d) {
    char s[16];
    std::snprintf(s, sizeof s, "%04d%02d%02d", d.year, d.month, d.day);
    return s;
}

// Fields 3, 4, 5 and 7, 8, 9 with their article codes and references.
struct AmountKind {
    const char* article;
    const char* reference;
};
constexpr AmountKind kAmounts[6] = {{"01-01", "AUTOS"}, {"01-01", "MOTOS"}, {"01-01", "BICICLETAS"},
                                    {"01-07", ""},      {"01-03", ""},      {"01-04", ""}};
constexpr const char* kDiscountPrefixes[3] = {"AUTOS ", "MOTOS ", "BICIS "};

// Invoice n of the load: about one amount field in five is "0" (no line), and one to four
// discount-group columns of three values, of which about one in thirteen is "0".
Invoice makeInvoice(const PointOfSale& pos, int day, int n) {
    Invoice inv;
    inv.pos = &pos;
    inv.day = core::Date::fromDayNumber(core::Date{2024, 1, 1}.toDayNumber() + day);
    inv.fileName = "[RDE_" + std::to_string(pos.code) + "_" + dateDigits(inv.day) + ".txt";

    int64_t amounts[6];
    for (int k = 0; k < 6; ++k)
        amounts[k] = (n + 3 * k) % 5 == 0 ? 0 : 500 + (n * 37 + k * 101) % 4000;
    const int groups = 1 + n % 4;
    int values[4][3];
    for (int g = 0; g < groups; ++g)
        for (int v = 0; v < 3; ++v) values[g][v] = (n + 7 * g + 3 * v) % 13;

    int item = 0;
    for (int k = 0; k < 6; ++k) {
        if (amounts[k] == 0) continue;
        const int64_t vat = vatOf(amounts[k]);
        inv.lines.push_back({++item, kAmounts[k].article, kAmounts[k].reference, amounts[k], vat,
                             amounts[k] + vat});
    }
    for (int g = 0; g < groups; ++g) {
        const std::string name = "GR" + std::to_string(g + 1);
        for (int v = 0; v < 3; ++v)
            if (values[g][v] != 0)
                inv.lines.push_back(
                    {++item, "01-01", kDiscountPrefixes[v] + name, values[g][v], 0, 0});
    }

    char date[16];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", inv.day.day, inv.day.month, inv.day.year);
    std::string r = date;
    r += ";CAJA;" + std::to_string(pos.code);
    for (int k = 0; k < 3; ++k) r += ";" + std::to_string(amounts[k]);
    r += ";RESUMEN";
    for (int k = 3; k < 6; ++k) r += ";" + std::to_string(amounts[k]);
    r += ";" + std::to_string(inv.vat()) + ";" + std::to_string(inv.total()) + ";0;0;0;0;0";
    for (int g = 0; g < groups; ++g) {
        char col[32];
        std::snprintf(col, sizeof col, ";GR%d %2d.%d.%d", g + 1, values[g][0], values[g][1],
                      values[g][2]);
        r += col;
    }
    inv.record = r + ";FD\r\n";
    return inv;
}

}  // namespace

std::optional<Server> serverFromEnvironment() {
    const char* p = std::getenv("FB_TEST_SERVER");
    if (!p || !*p) return std::nullopt;
    const char* u = std::getenv("FB_TEST_USER");
    const char* w = std::getenv("FB_TEST_PASSWORD");
    return Server{p, u && *u ? u : "SYSDBA", w ? w : ""};
}

const std::vector<PointOfSale>& pointsOfSale() {
    static const std::vector<PointOfSale> all = [] {
        std::vector<PointOfSale> v;
        for (int i = 0; i < kPoints; ++i) {
            const int code = kFirstCode + i;
            v.push_back({code, code % 2 ? "001" : "002", "P" + std::to_string(code),
                         i % 3 ? "800100200" : "900300400"});
        }
        return v;
    }();
    return all;
}

const std::vector<std::string>& companies() {
    static const std::vector<std::string> all{"001", "002"};
    return all;
}

const std::vector<OtherWriter>& otherWriters() {
    static const std::vector<OtherWriter> all{{"001", "X001", 901}, {"002", "X002", 902}};
    return all;
}

int64_t Invoice::total() const {
    int64_t t = 0;
    for (const Line& l : lines) t += l.total;
    return t;
}

int64_t Invoice::vat() const {
    int64_t t = 0;
    for (const Line& l : lines) t += l.vat;
    return t;
}

std::vector<Invoice> invoices() {
    std::vector<Invoice> all;
    int n = 0;
    for (const PointOfSale& pos : pointsOfSale())
        for (int d = 0; d < kDays; ++d) all.push_back(makeInvoice(pos, d, n++));
    return all;
}

void writeFlatFiles(const std::string& folder, const std::vector<Invoice>& invoices) {
    fs::create_directories(folder);
    for (const Invoice& inv : invoices) {
        std::ofstream out(folder + "/" + inv.fileName, std::ios::binary);
        out << inv.record;
        if (!out) throw std::runtime_error("cannot write " + folder + "/" + inv.fileName);
    }
}

std::string generalPath(const std::string& root) {
    return root + "/datos/general.fdb";
}

std::string companyPath(const std::string& root, const std::string& company) {
    return root + "/datos/" + company + "/quorvan.fdb";
}

void createErp(const Server& server, const std::string& root, const std::string& scriptsDir,
               bool forcedWrites) {
    fs::create_directories(root + "/datos");
    // The server opens the files as its own user.
    fs::permissions(root, fs::perms::all);
    fs::permissions(root + "/datos", fs::perms::all);

    std::string general =
        createStatement(server, generalPath(root), 1) + input(scriptsDir, "general.sql");
    for (const PointOfSale& p : pointsOfSale())
        general += "INSERT INTO CENTROS (CENT_COD, CIA_COD, CENT_NOM) VALUES ('" +
                   std::to_string(p.code) + "', '" + p.company + "', 'CENTRO " +
                   std::to_string(p.code) + "');\n";
    isql(general + "COMMIT;\n", root);

    for (const std::string& company : companies()) {
        fs::create_directories(root + "/datos/" + company);
        fs::permissions(root + "/datos/" + company, fs::perms::all);
        std::string s = createStatement(server, companyPath(root, company), 3) +
                        input(scriptsDir, "company.sql") + input(scriptsDir, "sample_data.sql");
        for (const PointOfSale& p : pointsOfSale()) {
            if (p.company != company) continue;
            const std::string code = std::to_string(p.code);
            s += "INSERT INTO PUNTO_VENTA (PTVT_ID, BODE_COD, PTVT_NOM, PREF_PRE, TERC_NIT, "
                 "PTVT_ACTIVO) VALUES (" +
                 code + ", '01', 'PUNTO " + code + "', '" + p.prefix + "', '" + p.customer +
                 "', 'S');\n";
            s += "INSERT INTO PREFIJOS (TIDO_COD, PREF_PRE, PREF_NOM, PREF_IVAINC, PREF_ACTUAL) "
                 "VALUES (31, '" +
                 p.prefix + "', 'FACTURAS " + code + "', 'S', 0);\n";
            s += "INSERT INTO INTERFAZ_VENTAS (INVE_ID, TIDO_COD, PREF_PRE, INVE_NOM) VALUES (" +
                 std::to_string(1000 + p.code) + ", 31, '" + p.prefix + "', 'VENTAS " + code +
                 "');\n";
        }
        for (const OtherWriter& w : otherWriters()) {
            if (w.company != company) continue;
            s += "INSERT INTO PREFIJOS (TIDO_COD, PREF_PRE, PREF_NOM, PREF_IVAINC, PREF_ACTUAL) "
                 "VALUES (31, '" +
                 w.prefix + "', 'MOSTRADOR', 'S', 0);\n";
            s += "INSERT INTO INTERFAZ_VENTAS (INVE_ID, TIDO_COD, PREF_PRE, INVE_NOM) VALUES (" +
                 std::to_string(w.interface) + ", 31, '" + w.prefix + "', 'VENTAS MOSTRADOR');\n";
        }
        isql(s + "COMMIT;\n", root);
    }

    if (forcedWrites) return;
    std::vector<std::string> files{generalPath(root)};
    for (const std::string& c : companies()) files.push_back(companyPath(root, c));
    for (const std::string& f : files)
        runTool({"gfix", "-user", server.user, "-password", server.password, "-write", "async",
                 server.path(f)},
                root + "/load-gfix.out");
}

}  // namespace load
