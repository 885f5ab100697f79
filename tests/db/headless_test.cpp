// The program's headless mode, run as a separate process: exit status, the boxes' texts on
// standard error, the summary on standard output.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "core/text.h"
#include "data/texts.h"
#include "fb/connection.h"
#include "import/csv_report.h"
#include "platform/lock_file.h"
#include "tests/support/csv.h"
#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out, err;
};

class HeadlessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir_.file("xdg/Ostrel"));
        fs::create_directories(dir_.file("install"));
        fs::create_directories(dir_.file("work"));
        fs::create_directories(dir_.file("in"));
        fs::create_directories(dir_.file("bin"));
        // A transfer client that keeps every script it is given.
        std::ofstream(dir_.file("bin/winscp.com"))
            << "#!/bin/sh\ncat \"${1#/script=}\" >> remote.log\n";
        fs::permissions(dir_.file("bin/winscp.com"), fs::perms::owner_all);
    }

    void registerInstall() {
        std::ofstream(dir_.file("xdg/Ostrel/Quorvan2021.conf"))
            << "Directorio=" << dir_.file("install") << "\n";
    }
    void settings(const std::string& cia, const std::string& espera = "") {
        registerInstall();
        std::ofstream(dir_.file("install/settings.conf"), std::ios::binary)
            << erp_.root() << "\r\nSYSDBA\r\nx\r\n"
            << cia << "\r\n-\r\nAB01\r\n"
            << dir_.file("in") << "\r\n"
            << espera << "\r\n";
    }
    void flatFile(const std::string& name, const std::string& day = "01/01/2024") {
        std::ofstream(dir_.file("in/" + name), std::ios::binary)
            << day << ";x;y;1500;0;0;z;0;0;0;285;1785;0;0;0;0;0;FD\r\n";
    }
    std::string invoicesOf(const std::string& date) {
        return testsupport::queryValue(
            erp_.companyPath("001"),
            "SELECT COUNT(*) FROM FACTURAS WHERE FACT_FECHA = '" + date + "'");
    }

    // The environment of a run: the installation entry and the transfer client.
    std::string environment() const {
        return "XDG_CONFIG_DIRS='" + dir_.file("xdg") +
               "' IMPORTARFAC_TRANSFER_OPEN_LINE='open x' IMPORTARFAC_TRANSFER_CLIENT='" +
               dir_.file("bin/winscp.com") + "' ";
    }
    Result run(const std::string& args) {
        std::string cmd = "cd '" + dir_.file("work") + "' && " + environment() + "'" + BINARY_DIR +
                          "/importarfac' " + args + " >'" + dir_.file("out") + "' 2>'" +
                          dir_.file("err") + "'";
        Result r;
        int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(dir_.file("out"));
        r.err = slurp(dir_.file("err"));
        return r;
    }
    static std::string slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    testsupport::StandInErp erp_;
    testsupport::TempDir dir_;
};

TEST_F(HeadlessTest, BadCommandLineIsStatusTwoWithUsage) {
    for (const char* args : {"--headless --pause-ms", "--headless --pause-ms x", "--headless -v",
                             "--headless --lock-timeout 0", "--headless --lock-timeout",
                             "--headless --remote-timeout 0", "--headless --remote-timeout x"}) {
        Result r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage: importarfac"), std::string::npos) << r.err;
    }
}

TEST_F(HeadlessTest, WithoutTheInstallationEntryNothingConnects) {
    Result r = run("--headless");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
              "No se encontró la Clave HKEY_LOCAL_MACHINE\\Software\\Ostrel\\Quorvan2021\\"
              "Directorio");
}

TEST_F(HeadlessTest, ARunThatReachesItsEndIsStatusZeroWithTheSummary) {
    erp_.addCompany("001");
    settings("001");  // no unattended flag: headless runs all the same
    flatFile("[RDE_12_20240131.txt");
    Result r = run("--headless --pause-ms 0");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("files: found 1, read 1, removed 1, kept 0, not openable 0"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("invoices: saved 1, duplicates 0, refused 0"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_.file("in/[RDE_12_20240131.txt")));
    EXPECT_EQ(testsupport::queryValue(erp_.companyPath("001"),
                                      "SELECT COUNT(*) FROM FACTURAS WHERE PREF_PRE = 'AB01'"),
              "1");
    // The same day again is recognised.
    flatFile("[RDE_12_20240131.txt");
    r = run("--headless --pause-ms 0");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("saved 0, duplicates 1"), std::string::npos) << r.out;
}

TEST_F(HeadlessTest, FailuresAreStatusOneWithTheirTextOnStandardError) {
    erp_.addCompany("001");
    settings("999");  // no such company database
    Result r = run("--headless --pause-ms 0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("999"), std::string::npos) << r.err;

    settings("001");
    flatFile("[RDE_12_2024013.txt");  // a name without a valid date stops the run
    r = run("--headless --pause-ms 0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'2024/01/3.' is not a valid date"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(dir_.file("in/[RDE_12_2024013.txt")));
}

TEST_F(HeadlessTest, AnUnwritableWorkingDirectoryStopsTheRunBeforeTheStoredFileIsDeleted) {
    // The removal on the server cannot be queued where the program runs: the invoice is
    // stored, the file stays here and on the server, the run stops with the reason. The next
    // run finds the invoice already imported.
    erp_.addCompany("001");
    settings("001");
    flatFile("[RDE_12_20240131.txt");
    flatFile("[RDE_13_20240131.txt");
    fs::remove_all(dir_.file("work"));  // gone: no file can be made in it, not even by root
    fs::create_directories(dir_.file("work"));
    std::string cmd = "cd '" + dir_.file("work") + "' && rmdir '" + dir_.file("work") + "' && " +
                      environment() + "'" + BINARY_DIR +
                      "/importarfac' --headless --pause-ms 0 >'" + dir_.file("out") + "' 2>'" +
                      dir_.file("err") + "'";
    int raw = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_NE(slurp(dir_.file("err")).find("borrados-pendientes"), std::string::npos)
        << slurp(dir_.file("err"));
    EXPECT_TRUE(fs::exists(dir_.file("in/[RDE_12_20240131.txt")));
    EXPECT_TRUE(fs::exists(dir_.file("in/[RDE_13_20240131.txt")));  // not reached
    EXPECT_EQ(testsupport::queryValue(erp_.companyPath("001"), "SELECT COUNT(*) FROM FACTURAS"),
              "1");
}

// A row of the invoice's prefix held by another user longer than --lock-timeout: four tries
// of a second each, then the run stops with status 1 and the reason, and keeps the file.
TEST_F(HeadlessTest, ALockHeldLongerThanTheLockTimeoutStopsTheRunWithStatusOne) {
    erp_.addCompany("001");
    settings("001");
    flatFile("[RDE_12_20240131.txt");
    fb::Connection other;
    other.options().database = erp_.companyPath("001");
    other.options().user = "SYSDBA";
    other.open();
    fb::Transaction held = other.begin();
    other.run(held, "UPDATE PREFIJOS SET PREF_ACTUAL = 1 WHERE PREF_PRE = 'AB01'", {});

    const auto start = std::chrono::steady_clock::now();
    Result r = run("--headless --pause-ms 0 --lock-timeout 1");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("No se pudo guardar la factura AB0120240131: otro usuario", 0), 0u)
        << r.err;
    EXPECT_TRUE(fs::exists(dir_.file("in/[RDE_12_20240131.txt")));
    held.rollback();
    EXPECT_EQ(testsupport::queryValue(erp_.companyPath("001"), "SELECT COUNT(*) FROM FACTURAS"),
              "0");
}

// The installation directory, the folder of flat files and the working directory have accents
// in their names (UTF-8 on disk, Windows-1252 in settings.conf): the settings are read, the
// files imported and removed, the log and the script written where they belong; a name with
// a character outside Windows-1252 is left with a log line.
TEST_F(HeadlessTest, FoldersWithAccentsInTheirNamesAreUsed) {
    erp_.addCompany("001");
    const fs::path root = dir_.path();
    const fs::path install = root / "Configuración", in = root / "Facturación",
                   work = root / "Operación";
    for (const fs::path& d : {install, in, work}) fs::create_directories(d);
    std::ofstream(dir_.file("xdg/Ostrel/Quorvan2021.conf"))
        << "Directorio=" << install.string() << "\n";
    std::ofstream(install / "settings.conf", std::ios::binary)
        << erp_.root() << "\r\nSYSDBA\r\nx\r\n001\r\n-\r\nAB01\r\n"
        << core::utf8ToCp1252(in.string()) << "\r\n\r\n";
    const std::string day = "01/01/2024;x;y;1500;0;0;z;0;0;0;285;1785;0;0;0;0;0;FD\r\n";
    std::ofstream(in / "[RDE_12_20240131.txt", std::ios::binary) << day;
    std::ofstream(in / "[RDE_12_20240201Ω.txt", std::ios::binary) << day;

    const std::string cmd = "cd '" + work.string() + "' && " + environment() + "'" + BINARY_DIR +
                            "/importarfac' --headless --pause-ms 0 >'" + dir_.file("out") +
                            "' 2>'" + dir_.file("err") + "'";
    const int raw = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    // The file it cannot name is one for a person to look at.
    EXPECT_EQ(WEXITSTATUS(raw), 4) << slurp(dir_.file("err"));
    EXPECT_NE(slurp(dir_.file("out")).find("skipped: [RDE_12_20240201?.txt: Nombre de archivo"),
              std::string::npos)
        << slurp(dir_.file("out"));
    EXPECT_EQ(testsupport::queryValue(erp_.companyPath("001"), "SELECT COUNT(*) FROM FACTURAS"),
              "1");
    EXPECT_FALSE(fs::exists(in / "[RDE_12_20240131.txt"));
    EXPECT_TRUE(fs::exists(in / "[RDE_12_20240201Ω.txt"));
    EXPECT_NE(slurp((in / "erroresimp.txt").string())
                  .find(data::texts::kNombreSinCp1252 + core::utf8ToCp1252(in.string()) +
                        "/[RDE_12_20240201?.txt\r\n"),
              std::string::npos);
    EXPECT_EQ(slurp((work / "remote.log").string()),
              "open x\r\nrm [[]RDE_12_20240131.txt\r\nexit\r\n");
}

// What the program opens by name, in a folder that others share: a symbolic link, a FIFO, a
// folder or a device in the place of a flat file, of the error log, of the run lock or of the
// report. Nothing is followed (the link's target stays as it was), nothing waits for a reader
// or a writer, and the run says so in a line of its own.
TEST_F(HeadlessTest, NothingTheProgramOpensByNameIsFollowedOrWaitedOn) {
    erp_.addCompany("001");
    settings("001");
    const std::string target = dir_.file("elsewhere.txt");
    const struct {
        const char* kind;
        std::function<bool(const std::string&)> plant;  // false: cannot be made here
    } kinds[] = {
        {"link",
         [&](const std::string& at) {
             std::ofstream(target, std::ios::binary)
                 << "01/02/2024;x;y;1500;0;0;z;0;0;0;285;1785;0;0;0;0;0;FD\r\n";
             fs::create_symlink(target, at);
             return true;
         }},
        {"FIFO", [](const std::string& at) { return ::mkfifo(at.c_str(), 0666) == 0; }},
        {"folder", [](const std::string& at) { return fs::create_directory(at); }},
        {"device",
         [](const std::string& at) {
             return ::mknod(at.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // as /dev/null
         }},
    };
    const std::string in = dir_.file("in") + "/";
    const struct {
        const char* name;
        std::string place;
        std::string args;
        std::function<void(const Result&)> check;
    } places[] = {
        {"a flat file", in + "[RDE_12_20240201.txt", "--headless --pause-ms 0",
         [&](const Result& r) {
             EXPECT_EQ(r.status, 4) << r.err;
             EXPECT_NE(r.out.find("skipped: [RDE_12_20240201.txt: Nombre de archivo plano que "
                                  "no es un archivo normal"),
                       std::string::npos)
                 << r.out;
             EXPECT_EQ(invoicesOf("2024-02-01"), "0");
         }},
        {"the error log", in + "erroresimp.txt", "--headless --pause-ms 0",
         [&](const Result& r) {
             EXPECT_EQ(r.status, 4) << r.err;  // the unknown point of sale
             EXPECT_NE(r.out.find("warning: " + in + "erroresimp.txt is not a regular file"),
                       std::string::npos)
                 << r.out;
         }},
        {"the run lock", in + "importarfac.lock", "--headless --pause-ms 0",
         [&](const Result& r) {
             EXPECT_EQ(r.status, 1);
             EXPECT_NE(r.err.find("El archivo de bloqueo de la importación no es un archivo "
                                  "normal"),
                       std::string::npos)
                 << r.err;
             EXPECT_EQ(invoicesOf("2024-01-01"), "0");
         }},
        {"the report", dir_.file("work/informe.csv"),
         "--headless --pause-ms 0 --report informe.csv",
         [&](const Result& r) {
             EXPECT_EQ(r.status, 4) << r.err;
             EXPECT_NE(r.out.find("report: informe-2.csv"), std::string::npos) << r.out;
             EXPECT_EQ(slurp(dir_.file("work/informe-2.csv")).rfind("file,record,", 0), 0u);
         }},
    };
    for (const auto& place : places) {
        for (const auto& kind : kinds) {
            SCOPED_TRACE(std::string(kind.kind) + " as " + place.name);
            for (const char* d : {"in", "work"}) {
                fs::remove_all(dir_.file(d));
                fs::create_directories(dir_.file(d));
            }
            testsupport::execSql(erp_.companyPath("001"),
                                 "DELETE FROM FACTURAS_DETALLE; DELETE FROM FACTURAS");
            flatFile("[RDE_12_20240101.txt");
            flatFile("[RDE_99_20240101.txt");  // no such point of sale: a line for the log
            if (!kind.plant(place.place)) {
                // Only root makes a device.
                if (::geteuid() == 0) ADD_FAILURE() << "cannot make it here";
                continue;
            }
            const auto started = std::chrono::steady_clock::now();
            const Result r = run(place.args);
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
            place.check(r);
            std::error_code ec;
            EXPECT_TRUE(fs::exists(fs::symlink_status(place.place, ec))) << "removed";
            if (std::string(kind.kind) == "link") {
                EXPECT_TRUE(fs::is_symlink(place.place));
                EXPECT_EQ(slurp(target),
                          "01/02/2024;x;y;1500;0;0;z;0;0;0;285;1785;0;0;0;0;0;FD\r\n");
            }
        }
    }
}

// Names and texts from files reach the log, the summary and the report with their control
// characters written out: a name holding a line break writes no line of its own, one holding
// an escape sequence steers no terminal. A report cell that a spreadsheet would run as a
// formula is made inert.
TEST_F(HeadlessTest, ControlCharactersOfNamesAreWrittenOutEverywhere) {
    erp_.addCompany("001");
    settings("001");
    const std::string forged = "2024-01-01,00:00:00,todo en orden";
    const std::string newline = "[RDE_12_20240131\n" + forged + ".txt";
    const std::string escape = "[RDE_12_20240201\x1b[31m.txt";
    flatFile(newline, "31/01/2024");
    flatFile(escape, "01/02/2024");
    const Result r = run("--headless --pause-ms 0 --report informe.csv");
    EXPECT_EQ(r.status, 4) << r.err;  // both kept: no transfer script can carry their names

    const std::string log = slurp(dir_.file("in/erroresimp.txt"));
    EXPECT_EQ(log.find("\n" + forged), std::string::npos) << log;
    EXPECT_EQ(log.find('\x1b'), std::string::npos) << log;
    EXPECT_NE(log.find("[RDE_12_20240131\\x0a" + forged + ".txt"), std::string::npos) << log;
    EXPECT_NE(log.find("[RDE_12_20240201\\x1b[31m.txt"), std::string::npos) << log;
    for (const std::string& text : {r.out, r.err, slurp(dir_.file("work/informe.csv"))}) {
        EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
        EXPECT_EQ(text.find("\n" + forged), std::string::npos) << text;
    }
    EXPECT_NE(r.out.find("kept: [RDE_12_20240131\\x0a" + forged + ".txt: "), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("kept: [RDE_12_20240201\\x1b[31m.txt: "), std::string::npos) << r.out;
    const auto rows = testsupport::parseCsv(slurp(dir_.file("work/informe.csv")));
    std::set<std::string> files;
    for (const auto& row : rows) files.insert(row[0]);
    EXPECT_TRUE(files.count("[RDE_12_20240131\\x0a" + forged + ".txt"))
        << testing::PrintToString(files);
    EXPECT_TRUE(files.count("[RDE_12_20240201\\x1b[31m.txt"));

    // A prefix or a reason that reads as a formula reaches the report inert.
    importer::ReportRow row;
    row.file = "[RDE_12_20240101.txt";
    row.outcome = importer::Outcome::Stored;
    row.prefix = "=HYPERLINK(\"http://x\")";
    row.total = "-12.50";
    row.reason = "@SUM(A1)";
    {
        importer::CsvReport report(platform::Env::system(), dir_.file("work/formula.csv"));
        report.row(row);
    }
    const auto cells = testsupport::parseCsv(slurp(dir_.file("work/formula.csv")));
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells[1][4], "'=HYPERLINK(\"http://x\")");
    EXPECT_EQ(cells[1][7], "-12.50");  // a number stays a number
    EXPECT_EQ(cells[1][13], "'@SUM(A1)");
}

// A file still being uploaded is left for the next run with --settle: one changed 10 s ago is
// kept (as a file another program holds: no person is called), one of 2 minutes ago is read.
TEST_F(HeadlessTest, SettleKeepsAFileChangedMomentsAgo) {
    erp_.addCompany("001");
    settings("001");
    flatFile("[RDE_12_20240131.txt", "31/01/2024");
    flatFile("[RDE_12_20240201.txt", "01/02/2024");
    auto changedAgo = [&](const std::string& name, std::chrono::seconds ago) {
        const auto when = fs::file_time_type::clock::now() - ago;
        fs::last_write_time(dir_.file("in/" + name), when);
    };
    changedAgo("[RDE_12_20240131.txt", std::chrono::seconds(10));
    changedAgo("[RDE_12_20240201.txt", std::chrono::minutes(2));
    const Result r = run("--headless --pause-ms 0 --settle 60");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("removed 1, kept 0, not openable 1"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir_.file("in/[RDE_12_20240131.txt")));
    EXPECT_FALSE(fs::exists(dir_.file("in/[RDE_12_20240201.txt")));
    EXPECT_EQ(invoicesOf("2024-01-31"), "0");
    EXPECT_EQ(invoicesOf("2024-02-01"), "1");
    EXPECT_NE(slurp(dir_.file("in/erroresimp.txt")).find("Archivo modificado hace muy poco"),
              std::string::npos);
    // Without it, the same file is read at once.
    EXPECT_EQ(run("--headless --pause-ms 0").status, 0);
    EXPECT_EQ(invoicesOf("2024-01-31"), "1");
}

// A run that has held the folder for 7 hours (its lock file says when it started) may hang:
// the next one does nothing and exits 1 naming it, so that the timer's failed state calls a
// person. One that holds it for a moment only makes the next one exit 3.
TEST_F(HeadlessTest, ARunHoldingTheFolderForHoursIsNamedAndCallsAPerson) {
    erp_.addCompany("001");
    settings("001");
    flatFile("[RDE_12_20240131.txt");
    const std::string lock = dir_.file("in/importarfac.lock");
    platform::LockFile holder;
    ASSERT_EQ(holder.lock(lock), platform::LockFile::Result::Locked);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const std::string named = "(proceso " + std::to_string(::getpid()) + " en " + host + ", desde ";
    Result r = run("--headless --pause-ms 0");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find(named), std::string::npos) << r.err;

    const auto since = std::chrono::system_clock::now() - std::chrono::hours(7);
    std::ofstream(lock, std::ios::trunc)
        << ::getpid() << " " << host << " "
        << std::chrono::duration_cast<std::chrono::seconds>(since.time_since_epoch()).count()
        << "\n";
    r = run("--headless --pause-ms 0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Lleva más de 6 horas"), std::string::npos) << r.err;
    EXPECT_EQ(run("--headless --pause-ms 0 --stale-lock 8").status, 3);
    EXPECT_TRUE(fs::exists(dir_.file("in/[RDE_12_20240131.txt")));
    EXPECT_EQ(invoicesOf("2024-01-01"), "0");
}

}  // namespace
