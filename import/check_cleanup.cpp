#include "import/check_cleanup.h"

#include "import/transfer_script.h"
#include "import/transfer_setup.h"

namespace importer {

RemoteSetup CheckCleanup::begin(const std::string&) {
    const TransferSetup setup = transferSetup(env_);
    RemoteSetup s;
    s.configured = setup.openLine.has_value();
    s.openLineFile = setup.openLineFile;
    return s;
}

std::unique_ptr<platform::HeldFile> CheckCleanup::hold(platform::Env& env,
                                                       const std::string& path) {
    return env.lookAtFile(path);
}

CleanupOutcome CheckCleanup::cleanUp(const std::string&, const std::string& name,
                                     platform::HeldFile&) {
    return remotelyRemovable(name) ? CleanupOutcome::Removed : CleanupOutcome::UnsafeName;
}

}  // namespace importer
