#include "import/remote_removals.h"

#include <system_error>
#include <utility>

#include "core/text.h"
#include "data/texts.h"
#include "import/transfer_script.h"

namespace importer {
namespace {

namespace texts = data::texts;
using Clock = std::chrono::steady_clock;

const char* const kScriptPrefix = "borrar-";
const char* const kScriptSuffix = ".txt";
// The transfer client's exit status when a mask matched no remote file.
constexpr int kNoFileMatched = 6;

// The process a script of this program was written by: "borrar-<pid>-<n>.txt"; 0 for a name
// of another form.
long scriptWriter(const std::string& name) {
    const std::string prefix = kScriptPrefix, suffix = kScriptSuffix;
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    const std::string middle =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash > 9 ||
        middle.find_first_not_of("0123456789-") != std::string::npos)
        return 0;
    return std::stol(middle.substr(0, dash));
}

// A script holds the account's password: none is left behind by a run that was killed.
// "borrar.txt" is the one script of older versions of the program.
void removeStaleScripts(platform::Env& env) {
    for (const std::string& name : env.regularFilesIn(".")) {
        const long writer = scriptWriter(name);
        if (name == "borrar.txt" || (writer > 0 && !env.processRunning(writer)))
            env.removeFileDurably(".", name);
    }
}

// The last line the client wrote that is not blank, short and with control characters
// written out, for a message.
std::string lastLine(const std::string& output) {
    size_t end = output.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return {};
    const size_t begin = output.rfind('\n', end);
    std::string line = output.substr(begin == std::string::npos ? 0 : begin + 1,
                                     end + 1 - (begin == std::string::npos ? 0 : begin + 1));
    std::string shown = core::escapeControls(line);
    if (shown.size() > 300) shown = shown.substr(0, 297) + "...";
    return shown;
}

std::string withLine(std::string detail, const std::string& output) {
    const std::string line = lastLine(output);
    return line.empty() ? detail : detail + ": " + line;
}

}  // namespace

RemoteRemovals::RemoteRemovals(platform::Env& env, std::string openLine, std::string client,
                               std::string problem, Limits limits)
    : env_(env),
      openLine_(std::move(openLine)),
      client_(std::move(client)),
      problem_(std::move(problem)),
      limits_(limits) {
    if (limits_.running == 0) limits_.running = 1;
    removeStaleScripts(env_);
}

RemoteRemovals::~RemoteRemovals() {
    for (Client& c : clients_) {
        c.process->kill();
        env_.removeFileDurably(".", c.script);
    }
}

std::string RemoteRemovals::writeScript(const std::string& name) {
    const std::string bytes = transferScript(openLine_, name);
    for (;;) {
        // Without a folder: the script lies where the client starts, the working directory.
        const std::string script = kScriptPrefix + std::to_string(env_.currentProcessId()) + "-" +
                                   std::to_string(++scripts_) + kScriptSuffix;
        if (env_.createPrivateFile(script, bytes)) return script;
    }
}

void RemoteRemovals::start(const std::string& name, bool earlier) {
    collect();
    if (problem_.empty() && clients_.size() >= limits_.running)
        waiting_.push_back({name, earlier});
    else
        launch({name, earlier});
}

void RemoteRemovals::launch(const Waiting& w) {
    RemoteRemoval failed{w.name, w.earlier, RemoteOutcome::NotStarted, problem_};
    if (!problem_.empty()) {
        done_.push_back(std::move(failed));
        return;
    }
    std::string script;
    try {
        script = writeScript(w.name);
    } catch (const std::system_error& e) {
        failed.detail = texts::kGuionNoEscrito + e.what();
        done_.push_back(std::move(failed));
        return;
    }
    try {
        std::unique_ptr<platform::StartedProgram> process =
            env_.start(client_, {"/script=" + script}, env_.clientEnvironment());
        clients_.push_back({w.name, w.earlier, script, std::move(process),
                            env_.monotonic() + std::chrono::seconds(limits_.timeoutSeconds)});
    } catch (const std::system_error& e) {
        env_.removeFileDurably(".", script);
        failed.detail = texts::kClienteNoIniciado + client_ + " (" + e.code().message() + ")";
        done_.push_back(std::move(failed));
    }
}

void RemoteRemovals::collect() {
    const Clock::time_point now = env_.monotonic();
    for (auto it = clients_.begin(); it != clients_.end();) {
        platform::StartedProgram& p = *it->process;
        RemoteRemoval r{it->name, it->earlier, RemoteOutcome::Removed, {}};
        if (p.ended()) {
            const std::string output = p.output();
            if (p.signalled()) {
                r.outcome = RemoteOutcome::Failed;
                r.detail = withLine(texts::kClienteSenal + std::to_string(p.exitCode()), output);
            } else if (p.exitCode() == kNoFileMatched ||
                       output.find("No file matching") != std::string::npos) {
                // What the removal was for is done: no file of that name is on the server.
                r.detail = texts::kYaNoEstaba;
            } else if (p.exitCode() != 0) {
                r.outcome = RemoteOutcome::Failed;
                r.detail = withLine(texts::kClienteCodigo + std::to_string(p.exitCode()), output);
            }
        } else if (now >= it->deadline) {
            p.kill();
            r.outcome = RemoteOutcome::TimedOut;
            r.detail =
                withLine(texts::kClienteSinTerminarInicio + std::to_string(limits_.timeoutSeconds) +
                             texts::kClienteSinTerminarFin,
                         p.output());
        } else {
            ++it;
            continue;
        }
        env_.removeFileDurably(".", it->script);
        done_.push_back(std::move(r));
        it = clients_.erase(it);
    }
    while (!waiting_.empty() && clients_.size() < limits_.running) {
        const Waiting next = std::move(waiting_.front());
        waiting_.pop_front();
        launch(next);
    }
}

std::vector<RemoteRemoval> RemoteRemovals::ended() {
    collect();
    return std::exchange(done_, {});
}

std::vector<RemoteRemoval> RemoteRemovals::finish() {
    for (collect(); !clients_.empty() || !waiting_.empty(); collect()) env_.sleepMs(20);
    return std::exchange(done_, {});
}

}  // namespace importer
