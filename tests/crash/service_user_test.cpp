// The nightly service's user on a server that others share: another user's embedded engine
// (root's here) made /tmp/firebird first, for itself alone. Run as a user of its own with the
// environment the packaged unit gives, the embedded import still works; without it, it fails
// as it did before the unit gave the engine a lock folder of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/crash/crash_scenario.h"

namespace crash {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The value the shipped unit gives `name` in an Environment= line, and its RuntimeDirectory=.
std::string unitSetting(const std::string& unit, const std::string& key) {
    std::smatch m;
    if (std::regex_search(unit, m, std::regex("\n" + key + "=([^\n]*)\n"))) return m[1];
    return {};
}

// Puts /tmp/firebird back as it was when the object goes.
class EngineLockFolder {
  public:
    EngineLockFolder() {
        struct stat st {};
        existed_ = ::stat(kPath, &st) == 0;
        mode_ = st.st_mode & 07777;
        if (!existed_) fs::create_directory(kPath);
        ::chmod(kPath, 0700);  // root's engine made it for itself alone
    }
    ~EngineLockFolder() {
        if (existed_)
            ::chmod(kPath, mode_);
        else
            fs::remove_all(kPath);
    }
    EngineLockFolder(const EngineLockFolder&) = delete;
    EngineLockFolder& operator=(const EngineLockFolder&) = delete;

    static constexpr const char* kPath = "/tmp/firebird";

  private:
    bool existed_ = false;
    mode_t mode_ = 0;
};

// Runs the headless program as `uid` in the installation's working directory with exactly
// `env`; its exit status and standard error.
std::pair<int, std::string> runAs(uid_t uid, const Installation& inst,
                                  const std::vector<std::string>& env) {
    const std::string err = inst.work + "/run.err";
    std::vector<std::string> args = {"/usr/bin/setpriv",
                                     "--reuid=" + std::to_string(uid),
                                     "--regid=" + std::to_string(uid),
                                     "--clear-groups",
                                     "--",
                                     BINARY_DIR "/importarfac",
                                     "--headless",
                                     "--pause-ms",
                                     "0"};
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> vars = env;
    for (std::string& v : vars) envp.push_back(v.data());
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::FILE* e = std::freopen(err.c_str(), "w", stderr);
        std::FILE* o = std::freopen("/dev/null", "w", stdout);
        if (!e || !o || ::chdir(inst.work.c_str()) != 0) ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readAll(err)};
}

TEST(ServiceUser, EmbeddedImportWorksWhateverUsedTheEngineBefore) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
    const std::string unit = readAll(SOURCE_DIR "/packaging/systemd/importarfac.service.in");
    const std::string runtime = unitSetting(unit, "RuntimeDirectory");
    ASSERT_EQ(runtime, "importarfac");
    ASSERT_EQ(unitSetting(unit, "Environment"), "FIREBIRD_LOCK=/run/" + runtime);

    World w;
    const Installation& inst = w.installation();
    // The service user owns its installation, folder, working directory and databases.
    for (const auto& e : fs::recursive_directory_iterator(w.root())) {
        ::lchown(e.path().c_str(), kNobody, kNobody);
        if (e.is_directory()) ::chmod(e.path().c_str(), 0755);
    }
    ::chown(w.root().c_str(), kNobody, kNobody);
    ::chmod(w.root().c_str(), 0755);
    // What the unit's runtime directory would be, made for the service user.
    const std::string lockFolder = w.root() + "/run-" + runtime;
    fs::create_directory(lockFolder);
    ::chown(lockFolder.c_str(), kNobody, kNobody);

    EngineLockFolder taken;
    const std::vector<std::string> base = {"PATH=/usr/bin:/bin", "XDG_CONFIG_DIRS=" + inst.xdg,
                                           "IMPORTARFAC_TRANSFER_CLIENT=/bin/true",
                                           "IMPORTARFAC_TRANSFER_OPEN_LINE=open x"};
    const auto [before, beforeErr] = runAs(kNobody, inst, base);
    EXPECT_EQ(before, 1) << "the other user's /tmp/firebird no longer stands in the way?";
    EXPECT_NE(beforeErr.find(EngineLockFolder::kPath), std::string::npos) << beforeErr;

    std::vector<std::string> service = base;
    service.push_back("FIREBIRD_LOCK=" + lockFolder);
    const auto [status, err] = runAs(kNobody, inst, service);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(w.folder(), std::set<std::string>{});
    expectEachInvoiceOnceAndWhole(readStored(w));
}

}  // namespace
}  // namespace crash
