#pragma once
// The transfer clients of a run: one for each file removed on the server, each started on a
// script of its own in the working directory ("borrar-<process>-<n>.txt", owner only, removed
// again once its client has ended), and watched until it ends or its time is up.
#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "import/run_steps.h"
#include "platform/env.h"

namespace importer {

class RemoteRemovals {
  public:
    struct Limits {
        int timeoutSeconds = 120;  // each client's time, from its start
        // Clients at work at once (a server limits the sessions of one host); the others wait
        // their turn without holding the import up.
        size_t running = 8;
    };

    // Clients are `client` (a whole path) on scripts opened by `openLine`. A non-empty
    // `problem` says why no client can start: every removal then ends as NotStarted with it.
    // Scripts that runs no longer running left in the working directory are removed.
    RemoteRemovals(platform::Env& env, std::string openLine, std::string client,
                   std::string problem, Limits limits);
    // A client still running is stopped and its script removed: call finish() first.
    ~RemoteRemovals();
    RemoteRemovals(const RemoteRemovals&) = delete;
    RemoteRemovals& operator=(const RemoteRemovals&) = delete;

    // Writes the script that removes `name` and starts the client on it, at once when fewer
    // than Limits::running clients are at work, else as soon as one ends. A removal that cannot
    // start ends as NotStarted; this never throws for a client's sake, and never waits.
    void start(const std::string& name, bool earlier);
    // The removals that ended since the last call; a client past its time is stopped and
    // counts as timed out. Never waits.
    std::vector<RemoteRemoval> ended();
    // Waits until every client has ended or is past its time; the removals that ended since
    // the last call.
    std::vector<RemoteRemoval> finish();

  private:
    struct Client {
        std::string name;
        bool earlier;
        std::string script;
        std::unique_ptr<platform::StartedProgram> process;
        std::chrono::steady_clock::time_point deadline;
    };

    struct Waiting {
        std::string name;
        bool earlier;
    };

    // Moves the clients that ended, or whose time is up, to done_, and starts waiting ones in
    // their place.
    void collect();
    void launch(const Waiting& w);
    std::string writeScript(const std::string& name);

    platform::Env& env_;
    std::string openLine_, client_, problem_;
    Limits limits_;
    unsigned scripts_ = 0;
    std::vector<Client> clients_;
    std::deque<Waiting> waiting_;
    std::vector<RemoteRemoval> done_;
};

}  // namespace importer
