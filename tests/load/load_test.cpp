// The real program, headless, against the loopback server (started by the test command) with
// 2,000 flat files of 50 points of sale in two companies, while a second writer keeps selling
// at the counter of both companies and holds the articles it sells until each sale commits,
// so that the import's saves wait for its locks. Checked where a user would look: the exit
// status and the summary, the folder, the transfer client's starts, and the rows of both
// companies read back through the server.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "core/text.h"
#include "fb/connection.h"
#include "tests/load/set/load_set.h"
#include "tests/support/support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t lineCount(const std::string& path) {
    const std::string s = slurp(path);
    return static_cast<size_t>(std::count(s.begin(), s.end(), '\n'));
}

// The second writer as a child process; stopped through its stop file, and killed only if it
// does not end by itself.
class Inserter {
  public:
    Inserter(const std::string& dir, const std::string& root) : dir_(dir) {
        std::vector<std::string> args{BINARY_DIR "/load_inserter", "--out", out(), "--stop",
                                      stopFile()};
        for (const load::OtherWriter& w : load::otherWriters())
            args.push_back(load::companyPath(root, w.company) + "," + w.prefix + "," +
                           std::to_string(w.interface));
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, errFile().c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) pid_ = -1;
    }
    ~Inserter() {
        if (pid_ > 0 && stop(30s) < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Inserter(const Inserter&) = delete;
    Inserter& operator=(const Inserter&) = delete;

    bool started() const { return pid_ > 0; }
    // Waits until every company has a committed sale, or the process ended.
    bool waitReady(std::chrono::seconds limit) {
        for (auto end = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms)) {
            if (fs::exists(out() + ".ready")) return true;
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;  // ended by itself, and reaped
                return false;
            }
        }
        return false;
    }
    // Asks it to finish; its exit status, or -1 when it did not end within `limit`.
    int stop(std::chrono::seconds limit) {
        if (pid_ <= 0) return -1;
        std::ofstream(stopFile()) << "stop\n";
        for (auto end = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms)) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            }
        }
        return -1;
    }
    std::string out() const { return dir_ + "/inserter.out"; }
    std::string errFile() const { return dir_ + "/inserter.err"; }

  private:
    std::string stopFile() const { return dir_ + "/inserter.stop"; }
    std::string dir_;
    pid_t pid_ = -1;
};

struct Sale {
    size_t company;
    int64_t id;
    size_t lines;
    int64_t total;
};

struct InserterReport {
    std::vector<Sale> sales;
    std::string done;  // the last line: "done sales=... errors=... waits=..."
    int64_t waits = -1;
};

InserterReport readReport(const std::string& path) {
    InserterReport r;
    std::istringstream in(slurp(path));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("done ", 0) == 0) {
            r.done = line;
            const size_t w = line.find("waits=");
            if (w != std::string::npos) r.waits = std::stoll(line.substr(w + 6));
            continue;
        }
        std::istringstream f(line);
        Sale s{};
        if (f >> s.company >> s.id >> s.lines >> s.total) r.sales.push_back(s);
    }
    return r;
}

// A stored line as the checks compare it: item, article, reference, price, VAT, total.
std::string lineText(const std::vector<fb::Value>& row) {
    std::string s;
    for (const fb::Value& v : row) s += (s.empty() ? "" : "|") + v.asText();
    return s;
}

std::string expectedText(const load::Line& l) {
    return std::to_string(l.item) + "|" + l.article + "|" + l.reference + "|" +
           std::to_string(l.price) + "|" + std::to_string(l.vat) + "|" + std::to_string(l.total);
}

// What one company database holds, read back through the server.
struct Stored {
    struct Header {
        int64_t id;
        std::string prefix, date, pos, number, total, vat;
    };
    std::vector<Header> headers;
    std::map<int64_t, std::vector<std::string>> lines;  // by FACT_ID, in item order
    std::map<int64_t, std::string> postings;            // FACT_ID -> "<entries>|<posted flag>"
};

Stored readBack(const load::Server& server, const std::string& database) {
    fb::Connection c("Check");
    c.options().database = server.path(database);
    c.options().user = server.user;
    c.options().password = server.password;
    c.options().dialect = 3;
    c.open();
    Stored s;
    for (const auto& r :
         c.run("SELECT FACT_ID, PREF_PRE, FACT_FECHA, PTVT_ID, FACT_NUMERO, FACT_TOTAL, "
               "FACT_IVAMONTO FROM FACTURAS")
             .rows)
        s.headers.push_back({r[0].integer, r[1].asText(), r[2].asText(), r[3].asText(),
                             r[4].asText(), r[5].asText(), r[6].asText()});
    for (const auto& r : c.run("SELECT FACT_ID, FADE_ITEM, ARTI_COD, FADE_REFERENCIA, FADE_PRUNIT, "
                               "FADE_IVAMONTO, FADE_TOTAL FROM FACTURAS_DETALLE "
                               "ORDER BY FACT_ID, FADE_ITEM")
                             .rows)
        s.lines[r[0].integer].push_back(lineText({r.begin() + 1, r.end()}));
    for (const auto& r : c.run("SELECT FACT_ID, COUNT(*), MIN(ASIE_CONTABILIZADO) FROM "
                               "CONTABILIDAD_ASIENTOS WHERE FACT_ID IS NOT NULL GROUP BY FACT_ID")
                             .rows)
        s.postings[r[0].integer] = r[1].asText() + "|" + r[2].asText();
    return s;
}

// Collects differences and shows the first few.
class Differences {
  public:
    void add(const std::string& d) {
        if (all_.size() < 10) all_.push_back(d);
        ++count_;
    }
    size_t count() const { return count_; }
    std::string text() const {
        std::string s;
        for (const std::string& d : all_) s += "\n  " + d;
        return s;
    }

  private:
    std::vector<std::string> all_;
    size_t count_ = 0;
};

TEST(LoadTest, TwoThousandFilesImportWhileAnotherWriterHoldsTheArticles) {
    const auto server = load::serverFromEnvironment();
    if (!server) GTEST_SKIP() << "FB_TEST_SERVER is not set; the test command starts a server";

    testsupport::TempDir dir;
    const std::string root = dir.file("erp");
    load::createErp(*server, root, SOURCE_DIR "/db", /*forcedWrites=*/false);
    const std::vector<load::Invoice> invoices = load::invoices();
    ASSERT_EQ(invoices.size(), 2000u);
    load::writeFlatFiles(dir.file("in"), invoices);

    fs::create_directories(dir.file("xdg/Ostrel"));
    fs::create_directories(dir.file("install"));
    fs::create_directories(dir.file("work"));
    fs::create_directories(dir.file("bin"));
    std::ofstream(dir.file("xdg/Ostrel/Quorvan2021.conf"))
        << "Directorio=" << dir.file("install") << "\n";
    std::ofstream(dir.file("install/settings.conf"), std::ios::binary)
        << server->path(root) << "\r\n"
        << server->user << "\r\n"
        << server->password << "\r\n001\r\n-\r\n-\r\n"
        << dir.file("in") << "\r\n1\r\n";
    // The transfer client notes each start and removes nothing.
    std::ofstream(dir.file("bin/winscp.com")) << "#!/bin/sh\necho \"$1\" >> started.log\n";
    fs::permissions(dir.file("bin/winscp.com"), fs::perms::owner_all);

    Inserter inserter(dir.path(), root);
    ASSERT_TRUE(inserter.started());
    ASSERT_TRUE(inserter.waitReady(60s)) << slurp(inserter.errFile());

    const std::string cmd =
        "cd '" + dir.file("work") + "' && XDG_CONFIG_DIRS='" + dir.file("xdg") +
        "' IMPORTARFAC_TRANSFER_OPEN_LINE='open x' IMPORTARFAC_TRANSFER_CLIENT='" +
        dir.file("bin/winscp.com") + "' '" + BINARY_DIR +
        "/importarfac' --headless --pause-ms 0 >'" + dir.file("out") + "' 2>'" + dir.file("err") +
        "'";
    const int raw = std::system(cmd.c_str());
    const int inserterStatus = inserter.stop(60s);

    // The program.
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << slurp(dir.file("err"));
    EXPECT_EQ(slurp(dir.file("err")), "");
    const std::string out = slurp(dir.file("out"));
    EXPECT_NE(out.find("files: found 2000, read 2000, removed 2000, kept 0, not openable 0"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("invoices: saved 2000, duplicates 0, refused 0"), std::string::npos) << out;

    // The folder: every flat file gone, nothing logged; the transfer client ran for each, and
    // had ended when the run did.
    size_t left = 0;
    for (const auto& e : fs::directory_iterator(dir.file("in"))) {
        (void)e;
        ++left;
    }
    EXPECT_EQ(left, 0u) << "files left in the folder";
    EXPECT_EQ(lineCount(dir.file("work/started.log")), invoices.size());
    EXPECT_NE(out.find("remote: removed 2000, failed 0"), std::string::npos) << out;

    // The second writer: no error, and its held articles made the import's saves wait.
    const InserterReport report = readReport(inserter.out());
    EXPECT_EQ(inserterStatus, 0) << slurp(inserter.errFile());
    EXPECT_NE(report.done.find(" errors=0 "), std::string::npos) << report.done;
    EXPECT_GT(report.sales.size(), 0u);
    EXPECT_GT(report.waits, 0) << "no lock wait happened; the load did not contend: "
                               << report.done;

    // Both companies, read back.
    std::map<std::string, Stored> stored;
    for (const std::string& c : load::companies())
        stored[c] = readBack(*server, load::companyPath(root, c));

    Differences diff;
    size_t expectedPerCompany[2] = {0, 0};
    for (const load::Invoice& inv : invoices) {
        const Stored& s = stored[inv.pos->company];
        ++expectedPerCompany[inv.pos->company == "001" ? 0 : 1];
        const std::string date = core::dateText(inv.day);
        std::vector<const Stored::Header*> found;
        for (const Stored::Header& h : s.headers)
            if (h.prefix == inv.pos->prefix && h.date == date) found.push_back(&h);
        if (found.size() != 1) {
            diff.add(inv.fileName + ": " + std::to_string(found.size()) + " invoices stored");
            continue;
        }
        const Stored::Header& h = *found[0];
        const std::string number = date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2);
        if (h.pos != std::to_string(inv.pos->code) || h.number != number)
            diff.add(inv.fileName + ": point of sale " + h.pos + ", number " + h.number);
        if (h.total != std::to_string(inv.total()) || h.vat != std::to_string(inv.vat()))
            diff.add(inv.fileName + ": totals " + h.total + "/" + h.vat + ", expected " +
                     std::to_string(inv.total()) + "/" + std::to_string(inv.vat()));
        std::vector<std::string> want;
        for (const load::Line& l : inv.lines) want.push_back(expectedText(l));
        const auto got = s.lines.find(h.id);
        const std::vector<std::string> none;
        const std::vector<std::string>& have = got == s.lines.end() ? none : got->second;
        if (have != want)
            diff.add(inv.fileName + ": " + std::to_string(have.size()) + " lines, expected " +
                     std::to_string(want.size()) +
                     (have.empty() ? "" : "; first " + have[0] + " vs " + want[0]));
        const auto posted = s.postings.find(h.id);
        if (posted == s.postings.end() || posted->second != "1|S")
            diff.add(inv.fileName + ": posting " +
                     (posted == s.postings.end() ? "missing" : posted->second));
    }
    // Nothing else under the import's prefixes, in either company.
    for (size_t k = 0; k < load::companies().size(); ++k) {
        size_t imported = 0;
        for (const Stored::Header& h : stored[load::companies()[k]].headers)
            if (h.prefix.rfind("P", 0) == 0) ++imported;
        if (imported != expectedPerCompany[k])
            diff.add("company " + load::companies()[k] + " holds " + std::to_string(imported) +
                     " imported invoices, expected " + std::to_string(expectedPerCompany[k]));
    }
    EXPECT_EQ(diff.count(), 0u) << diff.text();

    // Every sale of the second writer, with its lines, totals and posting, and no other.
    Differences sales;
    size_t perCompany[2] = {0, 0};
    for (const Sale& sale : report.sales) {
        const load::OtherWriter& w = load::otherWriters().at(sale.company);
        const Stored& s = stored[w.company];
        ++perCompany[sale.company];
        const auto h = std::find_if(s.headers.begin(), s.headers.end(),
                                    [&](const Stored::Header& x) { return x.id == sale.id; });
        const auto lines = s.lines.find(sale.id);
        const auto posted = s.postings.find(sale.id);
        if (h == s.headers.end() || h->prefix != w.prefix ||
            h->total != std::to_string(sale.total) || lines == s.lines.end() ||
            lines->second.size() != sale.lines || posted == s.postings.end() ||
            posted->second != "1|S")
            sales.add(w.company + " sale " + std::to_string(sale.id) + " not stored whole");
    }
    for (size_t k = 0; k < load::otherWriters().size(); ++k) {
        const load::OtherWriter& w = load::otherWriters()[k];
        size_t n = 0;
        for (const Stored::Header& h : stored[w.company].headers)
            if (h.prefix == w.prefix) ++n;
        if (n != perCompany[k])
            sales.add(w.company + " holds " + std::to_string(n) + " sales, the writer committed " +
                      std::to_string(perCompany[k]));
    }
    EXPECT_EQ(sales.count(), 0u) << sales.text();
}

}  // namespace
