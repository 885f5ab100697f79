#pragma once
// Removes a fully imported flat file: here, and on the remote server through the transfer
// client, which deletes the file of the same name in the root folder of the remote account.
// Before the file is deleted here its removal on the server is queued (import/removal_queue.h);
// it leaves the queue once its client has confirmed it, and a run starts with the removals
// that earlier runs left in it. Clients run beside the import and are all waited for before
// the run ends.
#include <memory>
#include <optional>
#include <string>

#include "import/remote_removals.h"
#include "import/removal_queue.h"
#include "import/run_steps.h"
#include "import/transfer_setup.h"

namespace importer {

struct CleanupOptions {
    int pauseMs = 1000;  // after each start of a client for a file of this run
    RemoteRemovals::Limits limits;
};

class RemoteCleanup : public FileCleanup {
  public:
    using Options = CleanupOptions;

    // The open line and the client of this machine (import/transfer_setup.h), looked up when a
    // run begins; the files and clients through `env`.
    explicit RemoteCleanup(platform::Env& env, Options options = {});
    // Always `setup`, whatever this machine holds.
    RemoteCleanup(platform::Env& env, TransferSetup setup, Options options);
    ~RemoteCleanup() override;

    // Gives files a killed run had set aside for removal their names back
    // (ExclusiveFile::restoreSetAside), looks the setup up (unless it was given) and starts
    // the queued removals.
    RemoteSetup begin(const std::string& direc) override;
    // Queues the removal on the server, then deletes the held file when it is unchanged since
    // it was opened (see ExclusiveFile::removeIfUnchanged), then starts the client. A failed
    // local deletion is reported, and the removal on the server still starts. A changed file,
    // or one whose name is not remotelyRemovable, is left here and on the server. A queue that
    // cannot be written throws std::system_error before the file is deleted.
    CleanupOutcome cleanUp(const std::string& direc, const std::string& name,
                           platform::HeldFile& file) override;
    std::vector<RemoteRemoval> ended() override;
    std::vector<RemoteRemoval> finish() override;

  private:
    // Confirmed removals leave the queue.
    std::vector<RemoteRemoval> confirmed(std::vector<RemoteRemoval> removals);
    RemoteRemovals& removals();

    platform::Env& env_;
    std::optional<TransferSetup> given_;
    Options options_;
    TransferSetup setup_;
    RemovalQueue queue_;
    std::unique_ptr<RemoteRemovals> removals_;
};

}  // namespace importer
