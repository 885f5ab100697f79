#pragma once
// The clean-up of a dry run: it says what the run's clean-up would do with a finished file and
// does none of it. Files are only looked at (a run beside the check is not kept from them), no
// file is removed or set aside, no removal on the server is queued or started, and, since it
// leaves the folder as it is, the run takes no lock and writes no log there.
#include "import/run_steps.h"

namespace importer {

class CheckCleanup : public FileCleanup {
  public:
    explicit CheckCleanup(platform::Env& env) : env_(env) {}

    bool changesFolder() const override { return false; }
    // Whether removal on the server is configured, as the run's clean-up would find it.
    RemoteSetup begin(const std::string& direc) override;
    std::unique_ptr<platform::HeldFile> hold(platform::Env& env, const std::string& path) override;
    // Removed, or UnsafeName for a name no transfer script can carry; the file is not touched.
    CleanupOutcome cleanUp(const std::string& direc, const std::string& name,
                           platform::HeldFile& file) override;

  private:
    platform::Env& env_;
};

}  // namespace importer
