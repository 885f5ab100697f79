#include "import/check_cleanup.h"

#include "import/transfer_script.h"
#include "import/transfer_setup.h"

namespace importer {

RemoteSetup CheckCleanup::begin(const std::string&) {
    const TransferSetup setup = transferSetup();
    RemoteSetup s;
    s.configured = setup.openLine.has_value();
    s.openLineFile = setup.openLineFile;
    return s;
}

bool CheckCleanup::hold(platform::ExclusiveFile& file, const std::string& path) {
    return file.openShared(path);
}

CleanupOutcome CheckCleanup::cleanUp(const std::string&, const std::string& name,
                                     platform::ExclusiveFile&) {
    return remotelyRemovable(name) ? CleanupOutcome::Removed : CleanupOutcome::UnsafeName;
}

}  // namespace importer
