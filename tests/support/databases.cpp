#include "tests/support/databases.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace fs = std::filesystem;

namespace testsupport {
namespace {

const std::string kScripts = SOURCE_DIR "/db/";
const std::string kTemplates = BINARY_DIR "/db-templates/";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

// Holds an flock on a file for its lifetime.
class FileLock {
  public:
    explicit FileLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT, 0666)) {
        if (fd_ < 0) throw std::runtime_error("cannot open lock file " + path);
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                throw std::runtime_error("cannot lock " + path);
            }
        }
    }
    ~FileLock() { ::close(fd_); }  // closing releases the lock
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_;
};

// A private engine root that differs from the system's only in ServerMode, so
// that embedded attachments of several processes share a file.
void shareEmbeddedEngine() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (std::getenv("FIREBIRD") != nullptr) return;
        const char* candidates[] = {"/usr/lib/x86_64-linux-gnu/firebird/3.0",
                                    "/usr/lib/aarch64-linux-gnu/firebird/3.0", "/opt/firebird"};
        std::string system;
        for (const char* c : candidates) {
            if (fs::exists(fs::path(c) / "plugins")) {
                system = c;
                break;
            }
        }
        if (system.empty()) return;
        const std::string conf =
            readFile(system + "/firebird.conf") + "\nServerMode = SuperClassic\n";
        const std::string root = BINARY_DIR "/fb-root";
        fs::create_directories(BINARY_DIR);
        FileLock lock(BINARY_DIR "/fb-root.lock");
        if (readFile(root + "/firebird.conf") != conf) {
            fs::remove_all(root);
            fs::create_directories(root);
            for (const auto& entry : fs::directory_iterator(system)) {
                const fs::path name = entry.path().filename();
                if (name == "firebird.conf") continue;
                if (name == "intl") {
                    // Character sets stay "not installed" when the module is
                    // reached through a symbolic link.
                    fs::create_directory(root / name);
                    for (const auto& file : fs::directory_iterator(entry.path()))
                        fs::copy_file(file.path(), root / name / file.path().filename());
                    continue;
                }
                fs::create_symlink(entry.path(), root / name);
            }
            writeFile(root + "/firebird.conf", conf);
        }
        ::setenv("FIREBIRD", root.c_str(), 1);
    });
}

struct IsqlResult {
    int status = 0;
    std::string out;
    std::string err;
};

// Runs isql-fb on `script`, attached to `dbPath` unless it is empty (a script
// that creates its database).
IsqlResult runIsql(const std::string& script, const std::string& dbPath) {
    shareEmbeddedEngine();
    TempDir scratch;
    const std::string scriptPath = scratch.file("in.sql");
    const std::string outPath = scratch.file("out.txt");
    const std::string errPath = scratch.file("err.txt");
    writeFile(scriptPath, script);

    std::vector<std::string> args = {"isql-fb", "-q", "-b", "-user", "SYSDBA", "-i", scriptPath};
    if (!dbPath.empty()) args.push_back(dbPath);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "isql-fb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error(std::string("cannot start isql-fb: ") + std::strerror(spawned));

    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waiting for isql-fb failed");
    }
    IsqlResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

// With -b isql-fb stops at the first failing statement and exits non-zero; its
// messages go to stderr.
std::string runChecked(const std::string& dbPath, const std::string& script) {
    IsqlResult r = runIsql(script, dbPath);
    if (r.status == 0) return r.out;
    std::string message = "isql-fb failed on " + dbPath + ":\n" + r.err + r.out;
    if (r.err.find("incompatible with current") != std::string::npos)
        message +=
            "\n(the file is held by an engine in another server mode: was the "
            "database attached before the fixture set FIREBIRD?)";
    throw std::runtime_error(message + "\nScript:\n" + script);
}

// Appends the terminator a statement list may lack, and a commit.
std::string withCommit(const std::string& sql) {
    std::string script = sql;
    const auto last = script.find_last_not_of(" \t\r\n");
    if (last != std::string::npos && script[last] != ';') script += ";";
    return script + "\nCOMMIT;\n";
}

struct TemplateRecipe {
    const char* file;
    int dialect;
    std::vector<std::string> scripts;  // run in order
    std::vector<std::string> inputs;   // every file the scripts read, for the age check
};

TemplateRecipe recipe(Template which) {
    switch (which) {
        case Template::General:
            return {"general.fdb", 1, {"general.sql"}, {"general.sql"}};
        case Template::GeneralSample:
            return {"general-sample.fdb",
                    1,
                    {"general.sql", "sample_general.sql"},
                    {"general.sql", "sample_general.sql"}};
        case Template::Company:
            return {"company.fdb", 3, {"company.sql"}, {"company.sql", "invoice_tables.sql"}};
        case Template::CompanySample:
            return {
                "company-sample.fdb",
                3,
                {"company.sql", "sample_data.sql"},
                {"company.sql", "invoice_tables.sql", "sample_data.sql", "sample_articles.sql"}};
        case Template::Branch:
            return {"branch.fdb",
                    3,
                    {"branch.sql", "sample_articles.sql"},
                    {"branch.sql", "invoice_tables.sql", "sample_articles.sql"}};
    }
    throw std::logic_error("unknown template");
}

// The script that builds a template at `target`.
std::string buildScript(const TemplateRecipe& r, const std::string& target) {
    std::string s = "SET SQL DIALECT " + std::to_string(r.dialect) + ";\n";
    s += "CREATE DATABASE " + sqlQuote(target) + " USER 'SYSDBA' PAGE_SIZE 4096";
    if (r.dialect == 3) s += " DEFAULT CHARACTER SET ISO8859_1";
    s += ";\n";
    for (const auto& script : r.scripts) s += "INPUT " + sqlQuote(kScripts + script) + ";\n";
    return s + "COMMIT;\n";
}

bool upToDate(const TemplateRecipe& r, const std::string& path, const std::string& script) {
    std::error_code ec;
    const auto built = fs::last_write_time(path, ec);
    if (ec) return false;
    // The recorded build script catches changes of the recipe itself.
    if (readFile(path + ".sql") != script) return false;
    for (const auto& input : r.inputs) {
        if (fs::last_write_time(kScripts + input) > built) return false;
    }
    return true;
}

void buildTemplate(const TemplateRecipe& r, const std::string& path) {
    const std::string building = path + ".tmp";
    const std::string script = buildScript(r, building);
    if (upToDate(r, path, script)) return;
    fs::remove(building);
    IsqlResult result = runIsql(script, "");
    if (result.status != 0) {
        fs::remove(building);
        throw std::runtime_error("building template " + path + " failed:\n" + result.err +
                                 result.out);
    }
    // Copies taken meanwhile by other processes keep reading the old file.
    fs::rename(building, path);
    writeFile(path + ".sql", script);
}

}  // namespace

std::string templatePath(Template which) {
    shareEmbeddedEngine();
    static std::mutex mutex;
    static std::set<Template> checked;
    const TemplateRecipe r = recipe(which);
    const std::string path = kTemplates + r.file;
    std::lock_guard guard(mutex);
    if (checked.count(which)) return path;
    fs::create_directories(kTemplates);
    FileLock lock(kTemplates + ".lock");
    buildTemplate(r, path);
    checked.insert(which);
    return path;
}

void copyTemplate(Template which, const std::string& target) {
    const std::string source = templatePath(which);
    const fs::path parent = fs::path(target).parent_path();
    if (!parent.empty()) fs::create_directories(parent);
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::group_write | fs::perms::others_read |
                                fs::perms::others_write);
}

StandInErp::StandInErp() : owned_(std::in_place) {
    root_ = owned_->path();
    copyTemplate(Template::GeneralSample, generalPath());
}

StandInErp::StandInErp(const std::string& root, bool withSampleCentres) : root_(root) {
    copyTemplate(withSampleCentres ? Template::GeneralSample : Template::General, generalPath());
}

std::string StandInErp::generalPath() const {
    return root_ + "/datos/general.fdb";
}

std::string StandInErp::companyPath(const std::string& cia) const {
    return root_ + "/datos/" + cia + "/quorvan.fdb";
}

std::string StandInErp::addCompany(const std::string& cia, bool withSampleData) {
    const std::string path = companyPath(cia);
    copyTemplate(withSampleData ? Template::CompanySample : Template::Company, path);
    return path;
}

std::string StandInErp::branchPath(const std::string& server, const std::string& cod) {
    return server + "\\datos\\" + cod + "\\quorvan.fdb";
}

std::string StandInErp::addBranch(const std::string& server, const std::string& cod) {
    const std::string path = branchPath(server, cod);
    copyTemplate(Template::Branch, path);
    return path;
}

void execSql(const std::string& dbPath, const std::string& sql) {
    runChecked(dbPath, withCommit(sql));
}

std::string querySql(const std::string& dbPath, const std::string& sql) {
    return runChecked(dbPath, "SET HEADING OFF;\n" + withCommit(sql));
}

std::vector<Row> queryRows(const std::string& dbPath, const std::string& sql) {
    const std::string out =
        runChecked(dbPath, "SET LIST ON;\nSET BLOBDISPLAY OFF;\n" + withCommit(sql));
    // List mode prints each column as its name padded to 31 characters, a blank
    // and the value, and ends each row with an empty line.
    constexpr std::size_t kValueColumn = 32;
    std::vector<Row> rows;
    Row row;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) {
            if (!row.empty()) rows.push_back(std::move(row));
            row.clear();
            continue;
        }
        row.push_back(line.size() > kValueColumn ? line.substr(kValueColumn) : "");
    }
    if (!row.empty()) rows.push_back(std::move(row));
    return rows;
}

std::string queryValue(const std::string& dbPath, const std::string& sql) {
    const auto rows = queryRows(dbPath, sql);
    if (rows.empty() || rows.front().empty())
        throw std::runtime_error("no row from " + dbPath + " for: " + sql);
    return rows.front().front();
}

std::string sqlQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted + "'";
}

}  // namespace testsupport
