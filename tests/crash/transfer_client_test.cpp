// The transfer client as a real headless run starts it: what it inherits from the program,
// and, with the real client against a real FTP server with explicit TLS, how each removal on
// the server ends, what the report and the exit status say of it, and that a later run
// finishes what an earlier one could not: after a failure, after a kill, after a server that
// was down.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "core/text.h"
#include "data/texts.h"
#include "tests/crash/crash_scenario.h"
#include "tests/crash/crash_timeline.h"
#include "tests/support/csv.h"

namespace crash {
namespace {

namespace fs = std::filesystem;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a command (no shell) with its output in `log`; its exit status.
int runCommand(const std::vector<std::string>& args, const std::string& log,
               const std::vector<std::string>& env = {}) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::FILE* out = std::freopen(log.c_str(), "a", stdout);
        if (!out || ::dup2(::fileno(stdout), 2) < 0) ::_exit(126);
        for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Polls `done` for up to `seconds`.
template <typename F>
bool waitFor(F done, int seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string executable(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

// The scripts a run may leave in its working directory: it must leave none (they hold the
// password).
std::set<std::string> scriptsIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind("borrar", 0) == 0)
            names.insert(e.path().filename().string());
    return names;
}

// The rows of a report that say how a removal on the server ended: file, remote, reason.
std::vector<std::vector<std::string>> remoteRows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    for (const testsupport::CsvRow& r : testsupport::parseCsv(readAll(path)))
        if (r.size() == 14 && r[2] == "remote") rows.push_back({r[0], r[12], r[13]});
    return rows;
}

// vsftpd with explicit TLS on 127.0.0.1 (tools/transfer_client/tests/ftps_server.sh), with a
// throwaway account; skipped where it cannot run (no root, no vsftpd).
class FtpsServer {
  public:
    FtpsServer() : dir_(scratch_.file("ftps")), log_(scratch_.file("server.log")) {
        fs::create_directory(dir_);
        fs::permissions(scratch_.path(),
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        status_ = runCommand({"/bin/bash", kScript, "start", dir_}, log_);
        if (status_ != 0) return;
        const std::string values = scratch_.file("values");
        runCommand({"/bin/bash", "-c",
                    "source \"$1/server.env\" && printf '%s\\n' \"$FTPS_OPEN_LINE\" \"$FTPS_ROOT\" "
                    "\"$FTPS_PORT\" \"$FTPS_ACCOUNT\" \"$FTPS_PASSWORD\" \"$FTPS_FINGERPRINT\" "
                    "\"$FTPS_OTHER_FINGERPRINT\" > \"$2\"",
                    "-", dir_, values},
                   log_);
        std::istringstream in(readAll(values));
        for (std::string* v :
             {&openLine_, &root_, &port_, &account_, &password_, &fingerprint_, &other_})
            std::getline(in, *v);
    }
    ~FtpsServer() {
        if (status_ != 77) runCommand({"/bin/bash", kScript, "stop", dir_}, log_);
    }
    FtpsServer(const FtpsServer&) = delete;
    FtpsServer& operator=(const FtpsServer&) = delete;

    bool skipped() const { return status_ == 77; }
    bool started() const { return status_ == 0 && !openLine_.empty(); }
    std::string log() const { return readAll(log_); }

    // The open line the import writes, and others for the failures.
    const std::string& openLine() const { return openLine_; }
    std::string openLineWith(const std::string& fingerprints, const std::string& password,
                             const std::string& port) const {
        auto escaped = [](std::string s) {
            for (size_t at = 0; (at = s.find('@', at)) != std::string::npos; at += 4)
                s.replace(at, 1, "%%40");
            return s;
        };
        return "open ftpes://" + escaped(account_) + ":" + escaped(password_ + password) +
               "@127.0.0.1:" + port + "/ -certificate=\"\"" + fingerprints + "\"\"";
    }
    const std::string& port() const { return port_; }
    const std::string& fingerprint() const { return fingerprint_; }
    const std::string& otherFingerprint() const { return other_; }

    void put(const std::vector<std::string>& names) {
        std::vector<std::string> args = {"/bin/bash", kScript, "put", dir_};
        args.insert(args.end(), names.begin(), names.end());
        ASSERT_EQ(runCommand(args, log_), 0) << log();
    }
    std::set<std::string> files() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(root_))
            names.insert(e.path().filename().string());
        return names;
    }

  private:
    static constexpr const char* kScript = SOURCE_DIR "/tools/transfer_client/tests/ftps_server.sh";
    testsupport::TempDir scratch_;
    std::string dir_, log_;
    int status_ = -1;
    std::string openLine_, root_, port_, account_, password_, fingerprint_, other_;
};

#define START_FTPS(server)                              \
    FtpsServer server;                                  \
    if (server.skipped()) GTEST_SKIP() << server.log(); \
    ASSERT_TRUE(server.started()) << server.log()

// A port of 127.0.0.1 on which nothing listens: a server that is down.
std::string closedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(s);
    return std::to_string(ntohs(a.sin_port));
}

// A socket on 127.0.0.1 that accepts connections and keeps whatever they send.
class Recorder {
  public:
    Recorder() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(socket_, 16);
        socklen_t n = sizeof a;
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~Recorder() {
        stop_ = true;
        thread_.join();
        ::close(socket_);
    }
    std::string address() const { return "http://127.0.0.1:" + std::to_string(port_); }
    int connections() const { return connections_; }

  private:
    void serve() {
        while (!stop_) {
            pollfd p{socket_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int c = ::accept(socket_, nullptr, nullptr);
            if (c < 0) continue;
            ++connections_;
            ::close(c);
        }
    }
    int socket_;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

// The folder holds one file, of point of sale 12 and day `ymd`, whose copy is on the server.
void oneFile(World& w, FtpsServer& server, const std::string& ymd) {
    const Installation& inst = w.installation();
    for (const FlatFile& f : flatFiles()) fs::remove(inst.in + "/" + f.name);
    const std::string name = "[RDE_12_" + ymd + ".txt";
    std::ofstream(inst.in + "/" + name, std::ios::binary) << oneInvoice(ymd);
    server.put({name});
}

RunResult run(World& w, const std::map<std::string, std::string>& env,
              const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"--pause-ms", "0", "--report", "report.csv"};
    args.insert(args.end(), extra.begin(), extra.end());
    return World::finish(w.start(BINARY_DIR "/importarfac", w.installation(), args, env, "run"));
}

// Each way a removal on the server can fail, against the real client and server: the file's
// invoice is stored and the file is gone here, the report and the summary say how the removal
// ended, the run exits 4; the removal stays queued, and a later run with the cause gone
// removes the file on the server. A removal that succeeds (with one fingerprint, or with the
// renewed certificate's beside it, in either order) leaves nothing queued and exits 0. No
// script is left in the working directory either way.
TEST(RemoteRemoval, EachFailureIsReportedAndMendedByALaterRun) {
    START_FTPS(server);
    const std::string good = BINARY_DIR "/winscp.com";
    testsupport::TempDir bin;
    const std::string hanging = executable(bin.file("hang.com"), "exec sleep 60\n");
    const struct {
        const char* what;
        std::string openLine, client;
        std::vector<std::string> options;
        std::string remote, reason;  // remote column, and what the reason holds
    } cases[] = {
        {"succeeds", server.openLine(), good, {}, "removed", ""},
        {"one of two fingerprints (renewed second)",
         server.openLineWith(server.fingerprint() + ";" + server.otherFingerprint(), "",
                             server.port()),
         good,
         {},
         "removed",
         ""},
        {"one of two fingerprints (renewed first)",
         server.openLineWith(server.otherFingerprint() + ";" + server.fingerprint(), "",
                             server.port()),
         good,
         {},
         "removed",
         ""},
        {"wrong fingerprint",
         server.openLineWith(server.otherFingerprint(), "", server.port()),
         good,
         {},
         "failed",
         "terminó con el código 4: winscp.com: connecting to 127.0.0.1"},
        {"wrong password",
         server.openLineWith(server.fingerprint(), "x", server.port()),
         good,
         {},
         "failed",
         "terminó con el código 5: winscp.com: connecting to 127.0.0.1"},
        {"server down",
         server.openLineWith(server.fingerprint(), "", closedPort()),
         good,
         {},
         "failed",
         "terminó con el código 3: winscp.com: connecting to 127.0.0.1"},
        {"client hangs",
         server.openLine(),
         hanging,
         {"--remote-timeout", "2"},
         "timed out",
         "no terminó en 2 s y se detuvo"},
        {"client missing",
         server.openLine(),
         bin.file("absent/winscp.com"),
         {},
         "not started",
         "no se pudo iniciar el cliente de transferencia " + bin.file("absent/winscp.com")},
    };
    int day = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        World w;
        ++day;
        const std::string ymd = "202404" + std::string(day < 10 ? "0" : "") + std::to_string(day);
        const std::string name = "[RDE_12_" + ymd + ".txt";
        oneFile(w, server, ymd);
        const std::string work = w.installation().work;
        const auto started = std::chrono::steady_clock::now();
        const RunResult r = run(w,
                                {{"IMPORTARFAC_TRANSFER_OPEN_LINE", c.openLine},
                                 {"IMPORTARFAC_TRANSFER_CLIENT", c.client}},
                                c.options);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
        EXPECT_EQ(w.folder(), std::set<std::string>{});
        EXPECT_EQ(readStored(w).invoices.count(keyOf12(ymd)), 1u);
        EXPECT_EQ(scriptsIn(work), std::set<std::string>{});
        const auto rows = remoteRows(work + "/report.csv");
        ASSERT_EQ(rows.size(), 1u) << readAll(work + "/report.csv");
        EXPECT_EQ(rows[0][0], name);
        EXPECT_EQ(rows[0][1], c.remote);
        EXPECT_NE(rows[0][2].find(c.reason), std::string::npos) << rows[0][2];
        if (c.remote == "removed") {
            EXPECT_EQ(r.status, 0) << r.out << r.err;
            EXPECT_NE(r.out.find("remote: removed 1, failed 0, timed out 0, not started 0"),
                      std::string::npos)
                << r.out;
            EXPECT_EQ(server.files().count(name), 0u);
            EXPECT_EQ(w.queuedRemovals(), std::set<std::string>{});
            continue;
        }
        EXPECT_EQ(r.status, 4) << r.out << r.err;
        EXPECT_NE(r.out.find("remote: " + rows[0][0]), std::string::npos) << r.out;
        EXPECT_EQ(server.files().count(name), 1u);
        EXPECT_EQ(w.queuedRemovals(), std::set<std::string>{name});
        // The queue holds the name, nothing of the account.
        EXPECT_EQ(readAll(work + "/borrados-pendientes/" + name), name + "\r\n");

        // The cause gone, the next run removes it there.
        const RunResult later = run(w, {{"IMPORTARFAC_TRANSFER_OPEN_LINE", server.openLine()},
                                        {"IMPORTARFAC_TRANSFER_CLIENT", good}});
        EXPECT_EQ(later.status, 0) << later.out << later.err;
        EXPECT_EQ(server.files().count(name), 0u);
        EXPECT_EQ(w.queuedRemovals(), std::set<std::string>{});
        EXPECT_EQ(scriptsIn(work), std::set<std::string>{});
        // The day's first report is kept: this one is the second.
        const auto laterRows = remoteRows(work + "/report-2.csv");
        ASSERT_EQ(laterRows.size(), 1u);
        EXPECT_EQ(laterRows[0][1], "removed");
        EXPECT_NE(laterRows[0][2].find(core::cp1252ToUtf8(data::texts::kBorradoRemotoAnterior)),
                  std::string::npos);
    }
}

// Killed just after the file was deleted here, before any client ran for it: the rerun
// finds the removal queued and removes the file on the server.
TEST(RemoteRemoval, AKillBetweenTheLocalDeletionAndTheClientIsMendedByTheRerun) {
    START_FTPS(server);
    const std::string ymd = "20240501", name = "[RDE_12_20240501.txt";
    size_t deleted = 0;
    {
        World traced;
        oneFile(traced, server, ymd);
        const std::string trace = traced.root() + "/trace.txt";
        ASSERT_EQ(traced.runKillable(0, trace).status, 0);
        const Timeline t = Timeline::parse(readTrace(trace));
        ASSERT_EQ(t.files.size(), 1u);
        deleted = t.files[0].deleted;
    }
    server.put({name});
    World w;
    oneFile(w, server, ymd);
    std::map<std::string, std::string> env = {
        {"IMPORTARFAC_TRANSFER_OPEN_LINE", server.openLine()},
        {"IMPORTARFAC_TRANSFER_CLIENT", BINARY_DIR "/winscp.com"},
        {"CRASH_KILL_AT", std::to_string(deleted)}};
    const RunResult killed = World::finish(w.start(
        BINARY_DIR "/killable_importarfac", w.installation(), {"--pause-ms", "0"}, env, "killed"));
    ASSERT_TRUE(killed.killed) << killed.err;
    EXPECT_EQ(w.folder(), std::set<std::string>{});
    EXPECT_EQ(server.files().count(name), 1u);
    EXPECT_EQ(w.queuedRemovals(), std::set<std::string>{name});

    env.erase("CRASH_KILL_AT");
    const RunResult rerun = run(w, env);
    EXPECT_EQ(rerun.status, 0) << rerun.out << rerun.err;
    EXPECT_EQ(server.files().count(name), 0u);
    EXPECT_EQ(w.queuedRemovals(), std::set<std::string>{});
    EXPECT_EQ(scriptsIn(w.installation().work), std::set<std::string>{});
}

// Proxies named by the environment never see the account: neither the program's client nor
// the client run by hand goes through them.
TEST(RemoteRemoval, AProxyOfTheEnvironmentReceivesNothing) {
    START_FTPS(server);
    Recorder proxy;
    std::map<std::string, std::string> env = {
        {"IMPORTARFAC_TRANSFER_OPEN_LINE", server.openLine()},
        {"IMPORTARFAC_TRANSFER_CLIENT", BINARY_DIR "/winscp.com"}};
    std::vector<std::string> direct;
    for (const char* name :
         {"ftp_proxy", "FTP_PROXY", "all_proxy", "ALL_PROXY", "https_proxy", "HTTPS_PROXY"}) {
        env[name] = proxy.address();
        direct.push_back(std::string(name) + "=" + proxy.address());
    }
    World w;
    oneFile(w, server, "20240601");
    const RunResult r = run(w, env);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(server.files().count("[RDE_12_20240601.txt"), 0u);

    server.put({"[RDE_12_20240602.txt"});
    testsupport::TempDir work;
    std::ofstream(work.file("script.txt"))
        << server.openLine() << "\r\nrm [[]RDE_12_20240602.txt\r\nexit\r\n";
    EXPECT_EQ(runCommand({BINARY_DIR "/winscp.com", "/script=" + work.file("script.txt")},
                         work.file("client.log"), direct),
              0)
        << readAll(work.file("client.log"));
    EXPECT_EQ(server.files().count("[RDE_12_20240602.txt"), 0u);
    EXPECT_EQ(proxy.connections(), 0);
}

// Without an open line nothing is started: files go here only, and the summary says so. A
// settings file other users can read is named in a warning, without changing the status.
TEST(RemoteRemoval, WithoutAnOpenLineFilesAreRemovedHereOnlyAndTheSummarySaysSo) {
    World w;
    const Installation& inst = w.installation();
    ::chmod((inst.install + "/settings.conf").c_str(), 0644);
    const RunResult r = run(w, {{"IMPORTARFAC_TRANSFER_OPEN_LINE", ""}});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(w.folder(), std::set<std::string>{});
    EXPECT_EQ(w.remoteLog(), "");
    EXPECT_NE(r.out.find("remote: removal on the server is not configured"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("warning: " + inst.install + "/settings.conf holds a password"),
              std::string::npos)
        << r.out;
    for (const testsupport::CsvRow& row : testsupport::parseCsv(readAll(inst.work + "/report.csv")))
        if (row.size() == 14 && row[1].empty() && row[2] == "removed") {
            EXPECT_EQ(row[12], "not configured");
        }

    ::chmod((inst.install + "/settings.conf").c_str(), 0600);
    for (const FlatFile& f : flatFiles())
        std::ofstream(inst.in + "/" + f.name, std::ios::binary) << f.bytes;
    const RunResult quiet = run(w, {{"IMPORTARFAC_TRANSFER_OPEN_LINE", ""}});
    EXPECT_EQ(quiet.out.find("warning:"), std::string::npos) << quiet.out;
}

// The account and password are deployment configuration: none is built into the program.
TEST(RemoteRemoval, TheProgramHoldsNoOpenLine) {
    const std::string program = readAll(BINARY_DIR "/importarfac");
    ASSERT_GT(program.size(), 100000u);
    EXPECT_EQ(program.find("open ftpes://"), std::string::npos);
    EXPECT_EQ(program.find("-certificate="), std::string::npos);
}

// The embedded engine holds the database files and its lock files open, without close-on-exec:
// a client that inherited them would keep the databases locked against every other process.
TEST(TransferClient, StartedByARealRunItInheritsOnlyStandardInputOutputAndError) {
    World w;
    const RunResult r = run(w, {{"IMPORTARFAC_TRANSFER_CLIENT", BINARY_DIR "/list_descriptors"}});
    ASSERT_EQ(r.status, 0) << r.err;
    // Two lines from each client, one client for each removed file, all in the working
    // directory the client is started in.
    const std::string record = w.installation().work + "/descriptors.txt";
    std::vector<std::string> got;
    std::istringstream in(readAll(record));
    for (std::string line; std::getline(in, line);) got.push_back(line);
    ASSERT_EQ(got.size(), 2 * flatFiles().size());
    for (size_t i = 0; i < got.size(); i += 2) {
        EXPECT_EQ(got[i], "0 1 2");
        EXPECT_EQ(got[i + 1], w.installation().work);
    }
}

// The files on the server: the imported ones, and others that a mask written without care
// would also match. Only the imported files go; one whose name holds a control character is
// kept here and there.
TEST(TransferClient, ARealRunRemovesOnTheServerExactlyTheFilesItImported) {
    START_FTPS(server);
    // Days 1 to 6 of March 2024 for point of sale 12, one invoice each.
    const std::vector<std::pair<std::string, std::string>> imported = {
        {"[RDE_12_20240301*.txt", "20240301"},      {"[RDE_12_20240302?.txt", "20240302"},
        {"[RDE_12_20240303[ab].txt", "20240303"},   {"[RDE_12_20240304 copia.txt", "20240304"},
        {"[RDE_12_20240305%PATH%.txt", "20240305"},
    };
    const std::string unsafe = "[RDE_12_20240306\x01.txt";
    const std::vector<std::string> others = {
        "[RDE_12_20240301-otro.txt",  // "*" as a mask
        "[RDE_12_20240302X.txt",      // "?" as a mask
        "[RDE_12_20240303a.txt",      // "[ab]" as a set
        "[RDE_12_20240304",           // the blank ends the mask: two masks
        "copia.txt",
    };
    World w;
    const Installation& inst = w.installation();
    for (const FlatFile& f : flatFiles()) fs::remove(inst.in + "/" + f.name);
    std::vector<std::string> put = {unsafe};
    std::ofstream(inst.in + "/" + unsafe, std::ios::binary) << oneInvoice("20240306");
    for (const auto& [name, day] : imported) {
        std::ofstream(inst.in + "/" + name, std::ios::binary) << oneInvoice(day);
        put.push_back(name);
    }
    put.insert(put.end(), others.begin(), others.end());
    server.put(put);

    const RunResult r = run(w, {{"IMPORTARFAC_TRANSFER_OPEN_LINE", server.openLine()},
                                {"IMPORTARFAC_TRANSFER_CLIENT", BINARY_DIR "/winscp.com"}});
    ASSERT_EQ(r.status, 4) << r.err;  // the name it cannot remove is one for a person to see
    EXPECT_NE(r.out.find("remote: removed 5, failed 0"), std::string::npos) << r.out;

    std::set<std::string> left(others.begin(), others.end());
    left.insert(unsafe);
    // Every client has ended when the run does.
    EXPECT_EQ(server.files(), left);
    std::this_thread::sleep_for(std::chrono::seconds(1));  // a late client would show now
    EXPECT_EQ(server.files(), left);

    EXPECT_EQ(w.folder(), std::set<std::string>{unsafe});
    EXPECT_NE(readAll(inst.in + "/erroresimp.txt")
                  .find("," + data::texts::kNombreNoRemovible + inst.in + "/" +
                        core::escapeControls(unsafe) + "\r\n"),
              std::string::npos);
    const Stored s = readStored(w);
    EXPECT_EQ(s.invoices.size(), imported.size() + 1);
    for (const auto& [name, day] : imported) EXPECT_EQ(s.invoices.count(keyOf12(day)), 1u) << name;
}

}  // namespace
}  // namespace crash
