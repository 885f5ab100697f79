// The program's headless mode, run as a separate process: exit status, the boxes' texts on
// standard error, the summary on standard output.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/text.h"
#include "data/texts.h"
#include "fb/connection.h"
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
    void flatFile(const std::string& name) {
        std::ofstream(dir_.file("in/" + name), std::ios::binary)
            << "01/01/2024;x;y;1500;0;0;z;0;0;0;285;1785;0;0;0;0;0;FD\r\n";
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
    other.setParam("Database", erp_.companyPath("001"));
    other.setParam("User_Name", "SYSDBA");
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

}  // namespace
