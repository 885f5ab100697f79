// The transfer client as a real headless run starts it: what it inherits from the program,
// and, with the real client against a real FTP server with explicit TLS, which remote files
// the scripts remove.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "data/texts.h"
#include "tests/crash/crash_scenario.h"

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
int runCommand(const std::vector<std::string>& args, const std::string& log) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::FILE* out = std::freopen(log.c_str(), "a", stdout);
        if (!out || ::dup2(::fileno(stdout), 2) < 0) ::_exit(126);
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

// Puts `target` on the program search path of the World's runs as "winscp.com".
void useClient(const World& w, const std::string& target) {
    const std::string client = w.root() + "/bin/winscp.com";
    fs::remove(client);
    fs::create_symlink(target, client);
}

// The embedded engine holds the database files and its lock files open, without close-on-exec:
// a client that inherited them would keep the databases locked against every other process.
TEST(TransferClient, StartedByARealRunItInheritsOnlyStandardInputOutputAndError) {
    World w;
    useClient(w, BINARY_DIR "/list_descriptors");
    const std::string record = w.root() + "/descriptors.txt";
    const RunResult r =
        World::finish(w.start(BINARY_DIR "/importarfac", w.installation(), {"--pause-ms", "50"},
                              {{"LIST_DESCRIPTORS_OUT", record}}, "run"));
    ASSERT_EQ(r.status, 0) << r.err;
    // Two lines from each client, one client for each removed file.
    const size_t want = 2 * flatFiles().size();
    auto lines = [&] {
        std::vector<std::string> out;
        std::istringstream in(readAll(record));
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    };
    ASSERT_TRUE(waitFor([&] { return lines().size() >= want; }, 10)) << readAll(record);
    const std::vector<std::string> got = lines();
    ASSERT_EQ(got.size(), want);
    for (size_t i = 0; i < got.size(); i += 2) {
        EXPECT_EQ(got[i], "0 1 2");
        EXPECT_EQ(got[i + 1], w.installation().work);
    }
}

// The files on the server: the imported ones, and others that a mask written without care
// would also match. Only the imported files go; one whose name holds a control character is
// kept here and there.
TEST(TransferClient, ARealRunRemovesOnTheServerExactlyTheFilesItImported) {
    const std::string script = SOURCE_DIR "/tools/transfer_client/tests/ftps_server.sh";
    testsupport::TempDir scratch;
    const std::string log = scratch.file("test.log");
    const std::string dir = scratch.file("ftps");  // empty, and open to the server's account
    fs::create_directory(dir);
    fs::permissions(scratch.path(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const int started = runCommand({"/bin/bash", script, "start", dir}, log);
    if (started == 77) GTEST_SKIP() << readAll(log);
    struct Stop {
        std::string script, dir, log;
        ~Stop() { runCommand({"/bin/bash", script, "stop", dir}, log); }
    } stop{script, dir, log};
    ASSERT_EQ(started, 0) << readAll(log);
    const std::string values = scratch.file("values");
    ASSERT_EQ(runCommand({"/bin/bash", "-c",
                          "source \"$1/server.env\" && printf '%s\\n%s\\n' \"$FTPS_OPEN_LINE\" "
                          "\"$FTPS_ROOT\" > \"$2\"",
                          "-", dir, values},
                         log),
              0)
        << readAll(log);
    std::istringstream in(readAll(values));
    std::string openLine, remoteRoot;
    std::getline(in, openLine);
    std::getline(in, remoteRoot);

    // Days 1 to 6 of March 2024 for point of sale 12, one invoice each.
    const std::vector<std::pair<std::string, std::string>> imported = {
        {"[RDE_12_20240301*.txt", "20240301"},      {"[RDE_12_20240302?.txt", "20240302"},
        {"[RDE_12_20240303[ab].txt", "20240303"},   {"[RDE_12_20240304 copia.txt", "20240304"},
        {"[RDE_12_20240305%PATH%.txt", "20240305"},
    };
    const std::string unsafe = "[RDE_12_20240306\x01.txt";
    const std::set<std::string> others = {
        "[RDE_12_20240301-otro.txt",  // "*" as a mask
        "[RDE_12_20240302X.txt",      // "?" as a mask
        "[RDE_12_20240303a.txt",      // "[ab]" as a set
        "[RDE_12_20240304",           // the blank ends the mask: two masks
        "copia.txt",
    };
    World w;
    const Installation& inst = w.installation();
    for (const FlatFile& f : flatFiles()) fs::remove(inst.in + "/" + f.name);
    std::vector<std::string> put = {"/bin/bash", script, "put", dir, unsafe};
    std::ofstream(inst.in + "/" + unsafe, std::ios::binary) << oneInvoice("20240306");
    for (const auto& [name, day] : imported) {
        std::ofstream(inst.in + "/" + name, std::ios::binary) << oneInvoice(day);
        put.push_back(name);
    }
    put.insert(put.end(), others.begin(), others.end());
    ASSERT_EQ(runCommand(put, log), 0) << readAll(log);

    useClient(w, BINARY_DIR "/winscp.com");
    const RunResult r =
        World::finish(w.start(BINARY_DIR "/importarfac", inst, {"--pause-ms", "700"},
                              {{"IMPORTARFAC_TRANSFER_OPEN_LINE", openLine}}, "run"));
    ASSERT_EQ(r.status, 4) << r.err;  // the name it cannot remove is one for a person to see

    std::set<std::string> left = others;
    left.insert(unsafe);
    auto remote = [&] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(remoteRoot))
            names.insert(e.path().filename().string());
        return names;
    };
    EXPECT_TRUE(waitFor([&] { return remote() == left; }, 30));
    std::this_thread::sleep_for(std::chrono::seconds(1));  // a late client would show now
    EXPECT_EQ(remote(), left) << readAll(log);

    EXPECT_EQ(w.folder(), std::set<std::string>{unsafe});
    EXPECT_NE(readAll(inst.in + "/erroresimp.txt")
                  .find("," + data::texts::kNombreNoRemovible + inst.in + "/" + unsafe + "\r\n"),
              std::string::npos);
    const Stored s = readStored(w);
    EXPECT_EQ(s.invoices.size(), imported.size() + 1);
    for (const auto& [name, day] : imported) EXPECT_EQ(s.invoices.count(keyOf12(day)), 1u) << name;
}

}  // namespace
}  // namespace crash
