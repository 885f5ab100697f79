#pragma once
// The remote removals not yet confirmed, kept in the folder "borrados-pendientes" of the
// working directory: one file for each flat file, named as it is. An entry is written durably
// before the flat file is deleted here and removed only once the transfer client has confirmed
// the removal on the server, so that a run killed in between, a client that failed and a
// server that was down are all mended by the next run, which starts with these. It holds
// names only, never the account or its password. Runs that share a working directory share
// it: an entry is one file, so they never overwrite each other's.
#include <string>
#include <vector>

#include "platform/env.h"

namespace importer {

inline constexpr char kRemovalQueueFolder[] = "borrados-pendientes";

class RemovalQueue {
  public:
    explicit RemovalQueue(platform::Env& env, std::string folder = kRemovalQueueFolder);

    // The names queued, sorted; entries that no flat file could be named (not "[RDE*.txt", or
    // a name no transfer script can carry) are passed over.
    std::vector<std::string> names() const;
    // On the disk once it returns; throws std::system_error when it cannot be written.
    void add(const std::string& name);
    // A removal that fails (or is lost in a crash) leaves the entry: its removal is repeated,
    // and a file already gone counts as removed then.
    void remove(const std::string& name);

  private:
    platform::Env& env_;
    std::string folder_;
};

}  // namespace importer
