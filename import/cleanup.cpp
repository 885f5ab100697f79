#include "import/cleanup.h"

#include "import/transfer_script.h"

namespace importer {

RemoteCleanup::RemoteCleanup(platform::Env& env, Options options)
    : env_(env), options_(options), queue_(env) {}

RemoteCleanup::RemoteCleanup(platform::Env& env, TransferSetup setup, Options options)
    : env_(env), given_(std::move(setup)), options_(options), queue_(env) {}

RemoteCleanup::~RemoteCleanup() = default;

RemoteRemovals& RemoteCleanup::removals() {
    if (!removals_)
        removals_ = std::make_unique<RemoteRemovals>(
            env_, setup_.openLine.value_or(""), setup_.client, setup_.problem, options_.limits);
    return *removals_;
}

RemoteSetup RemoteCleanup::begin(const std::string& direc) {
    env_.restoreSetAside(direc);
    if (removals_) finish();  // what an earlier run of this program left running
    removals_.reset();
    setup_ = given_ ? *given_ : transferSetup(env_);
    RemoteSetup s;
    s.configured = setup_.openLine.has_value();
    s.openLineFile = setup_.openLineFile;
    if (!s.configured) return s;
    RemoteRemovals& r = removals();  // also clears away scripts of runs that were killed
    for (const std::string& name : queue_.names()) r.start(name, true);
    return s;
}

CleanupOutcome RemoteCleanup::cleanUp(const std::string& direc, const std::string& name,
                                      platform::HeldFile& file) {
    if (!remotelyRemovable(name)) return CleanupOutcome::UnsafeName;
    const bool remote = setup_.openLine.has_value();
    // Before the file goes here: from then on, only the queue remembers its copy there.
    if (remote) queue_.add(name);
    const auto removal = file.removeIfUnchanged(direc + name);
    if (removal == platform::ExclusiveFile::Removal::Changed) {
        if (remote) queue_.remove(name);
        return CleanupOutcome::Changed;
    }
    file.close();
    if (remote) {
        removals().start(name, false);
        env_.sleepMs(options_.pauseMs);
    }
    // A file the system refused to delete is read again, and removed, by the next run.
    return removal == platform::ExclusiveFile::Removal::Removed ? CleanupOutcome::Removed
                                                                : CleanupOutcome::NotDeleted;
}

std::vector<RemoteRemoval> RemoteCleanup::confirmed(std::vector<RemoteRemoval> removals) {
    for (const RemoteRemoval& r : removals)
        if (r.outcome == RemoteOutcome::Removed) queue_.remove(r.name);
    return removals;
}

std::vector<RemoteRemoval> RemoteCleanup::ended() {
    if (!removals_) return {};
    return confirmed(removals_->ended());
}

std::vector<RemoteRemoval> RemoteCleanup::finish() {
    if (!removals_) return {};
    return confirmed(removals_->finish());
}

}  // namespace importer
