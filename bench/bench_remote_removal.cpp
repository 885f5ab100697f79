// What removing the finished files on the remote server costs a run: the headless program over
// a folder of N flat files (one invoice each, embedded databases), once with no open line
// (files removed here only), once with a stand-in client that does nothing (what the program
// itself spends: the queue written durably, a script and a client start per file) and once
// against a local FTP server with explicit TLS through the real transfer client, every file's
// copy on the server. Prints the run's time of each, their ratios to the first, and the time
// from the last file's import (its row in the report) to the run's end, which is what waiting
// for the clients adds. The server runs on the same two cores as the program. The best of the
// rounds counts; rounds alternate between the three.
//
// Usage: bench_remote_removal [--files N] [--rounds R] [--program PATH]
//   defaults: 200 files, 3 rounds, the importarfac beside this benchmark. Needs root and
//   vsftpd for the server (tools/transfer_client/tests/ftps_server.sh); exit status 77 when
//   it cannot run here, 0 when every run stored every invoice and removed every file on both
//   sides.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/child_process.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using bench::seconds;
using bench::selfDir;
using bench::slurp;
using bench::spawn;
using bench::waitFor;

// The source tree this was compiled from.
const std::string kSource = fs::path(__FILE__).parent_path().parent_path().string();
const std::string kServerScript = kSource + "/tools/transfer_client/tests/ftps_server.sh";

int shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string shellWord(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The N flat files of point of sale 12: one invoice a day from 1 January 2023.
std::vector<std::string> writeFiles(const std::string& folder, int n) {
    fs::create_directories(folder);
    std::vector<std::string> names;
    std::chrono::sys_days day = std::chrono::year{2023} / 1 / 1;
    for (int i = 0; i < n; ++i, day += std::chrono::days{1}) {
        const std::chrono::year_month_day d{day};
        char ymd[16], text[16];
        std::snprintf(ymd, sizeof ymd, "%04d%02u%02u", int(d.year()), unsigned(d.month()),
                      unsigned(d.day()));
        std::snprintf(text, sizeof text, "%02u/%02u/%04d", unsigned(d.day()), unsigned(d.month()),
                      int(d.year()));
        const std::string name = "[RDE_12_" + std::string(ymd) + ".txt";
        std::ofstream(folder + "/" + name, std::ios::binary)
            << "10;TIQUETE;12;AUTO;1;" << text << "\r\n"
            << text << ";RESUMEN;CAJA1;1000;0;0;0;0;0;0;190;1190;0;0;0;0;0;FD\r\n";
        names.push_back(name);
    }
    return names;
}

struct Server {
    std::string dir, openLine, root;
    bool up = false;
};

struct Run {
    double total = 0, afterLastImport = 0;
    bool ok = false;
    std::string summary;
};

enum class Mode { HereOnly, StandIn, Server };

// One run over a fresh copy of the databases and a fresh folder.
Run runOnce(const std::string& base, const std::string& program, const std::string& erp, int n,
            Mode mode, Server* server) {
    if (mode != Mode::Server) server = nullptr;
    const std::string dir = base + "/run";
    fs::remove_all(dir);
    for (const char* d : {"xdg/Ostrel", "install", "work"}) fs::create_directories(dir + "/" + d);
    fs::copy(erp, dir + "/erp", fs::copy_options::recursive);
    const std::vector<std::string> names = writeFiles(dir + "/in", n);
    std::ofstream(dir + "/xdg/Ostrel/Quorvan2021.conf") << "Directorio=" << dir << "/install\n";
    std::ofstream(dir + "/install/settings.conf", std::ios::binary)
        << dir << "/erp\r\nSYSDBA\r\nx\r\n001\r\n-\r\nAB01\r\n"
        << dir << "/in\r\n\r\n";
    if (server) {
        std::string put = "bash " + shellWord(kServerScript) + " put " + shellWord(server->dir);
        for (const std::string& name : names) put += " " + shellWord(name);
        if (shell(put + " >/dev/null") != 0) throw std::runtime_error("cannot put the files");
    }

    const std::string report = dir + "/work/report.csv";
    const auto start = Clock::now();
    const pid_t pid =
        spawn({program, "--headless", "--pause-ms", "0", "--report", report}, dir + "/err",
              {{"XDG_CONFIG_DIRS=" + dir + "/xdg",
                "IMPORTARFAC_TRANSFER_OPEN_LINE=" + (server                  ? server->openLine
                                                     : mode == Mode::StandIn ? "open x"
                                                                             : ""),
                "IMPORTARFAC_TRANSFER_CLIENT=" +
                    (mode == Mode::StandIn ? std::string("/bin/true") : selfDir() + "/winscp.com")},
               dir + "/out",
               dir + "/work"});
    // The last file's row is written once its invoice is stored and the file removed here.
    const std::string lastRow = names.back() + ",,removed,";
    Clock::time_point lastImport{};
    int status = -1;
    for (;;) {
        int raw = 0;
        const pid_t done = ::waitpid(pid, &raw, WNOHANG);
        if (lastImport == Clock::time_point{} && slurp(report).find(lastRow) != std::string::npos)
            lastImport = Clock::now();
        if (done == pid) {
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto end = Clock::now();
    Run r;
    r.total = std::chrono::duration<double>(end - start).count();
    if (lastImport == Clock::time_point{}) lastImport = end;
    r.afterLastImport = std::chrono::duration<double>(end - lastImport).count();
    r.summary = slurp(dir + "/out");
    bool emptied = fs::is_empty(dir + "/in");
    if (server)
        for (const std::string& name : names)
            emptied = emptied && !fs::exists(server->root + "/" + name);
    r.ok = status == 0 && emptied &&
           r.summary.find("invoices: saved " + std::to_string(n)) != std::string::npos;
    if (!r.ok)
        std::fprintf(stderr, "run failed (status %d):\n%s%s", status, r.summary.c_str(),
                     slurp(dir + "/err").c_str());
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    int files = 200, rounds = 3;
    std::string program = selfDir() + "/importarfac";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--files")
            files = std::atoi(argv[i + 1]);
        else if (a == "--rounds")
            rounds = std::atoi(argv[i + 1]);
        else if (a == "--program")
            program = argv[i + 1];
    }
    if (files < 1 || rounds < 1) {
        std::fprintf(stderr,
                     "usage: bench_remote_removal [--files N] [--rounds R] [--program PATH]\n");
        return 2;
    }
    char pattern[] = "/tmp/bench_remote_removal.XXXXXX";
    if (!::mkdtemp(pattern)) return 2;
    const std::string base = pattern;
    fs::permissions(base, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    Server server;
    server.dir = base + "/ftps";
    fs::create_directory(server.dir);
    int status = 0;
    try {
        const int started = shell("bash " + shellWord(kServerScript) + " start " +
                                  shellWord(server.dir) + " >/dev/null");
        if (started == 77) {
            std::fprintf(stderr,
                         "bench_remote_removal: no FTP server here (needs root and vsftpd)\n");
            fs::remove_all(base);
            return 77;
        }
        if (started != 0) throw std::runtime_error("the FTP server did not start");
        server.up = true;
        const std::string values = base + "/values";
        shell(
            "bash -c 'source \"$1/server.env\" && printf \"%s\\n\" \"$FTPS_OPEN_LINE\" "
            "\"$FTPS_ROOT\" > \"$2\"' - " +
            shellWord(server.dir) + " " + shellWord(values));
        std::istringstream in(slurp(values));
        std::getline(in, server.openLine);
        std::getline(in, server.root);

        const std::string erp = base + "/erp";
        if (shell("bash " + shellWord(kSource + "/scripts/make-erp.sh") + " " + shellWord(erp) +
                  " 001 >/dev/null") != 0)
            throw std::runtime_error("make-erp.sh failed");
        const char* const names[] = {"here only", "stand-in client", "with the server"};
        Run best[3];
        for (Run& b : best) b.total = 1e9;
        bool ok = true;
        for (int round = 0; round < rounds; ++round) {
            std::printf("round %d:", round + 1);
            for (int m = 0; m < 3; ++m) {
                const Run r = runOnce(base, program, erp, files, Mode(m), &server);
                ok = ok && r.ok;
                std::printf(" %s %.2f s (%.2f s after the last import)%s", names[m], r.total,
                            r.afterLastImport, m < 2 ? "," : "\n");
                if (r.total < best[m].total) best[m] = r;
            }
        }
        std::printf("%d files, best of %d:\n", files, rounds);
        for (int m = 0; m < 3; ++m)
            std::printf(
                "  %-16s %6.2f s  %6.1f files/s  %5.2fx  %.2f s from the last import to "
                "the end\n",
                names[m], best[m].total, files / best[m].total, best[m].total / best[0].total,
                best[m].afterLastImport);
        status = ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_remote_removal: %s\n", e.what());
        status = 1;
    }
    if (server.up)
        shell("bash " + shellWord(kServerScript) + " stop " + shellWord(server.dir) +
              " >/dev/null 2>&1");
    fs::remove_all(base);
    return status;
}
