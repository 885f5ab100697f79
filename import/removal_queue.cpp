#include "import/removal_queue.h"

#include <algorithm>

#include "import/file_name.h"
#include "import/transfer_script.h"

namespace importer {

RemovalQueue::RemovalQueue(platform::Env& env, std::string folder)
    : env_(env), folder_(std::move(folder)) {}

std::vector<std::string> RemovalQueue::names() const {
    std::vector<std::string> names;
    for (std::string& name : env_.regularFilesIn(folder_))
        if (matchesFlatFileMask(name) && remotelyRemovable(name)) names.push_back(std::move(name));
    std::sort(names.begin(), names.end());
    return names;
}

void RemovalQueue::add(const std::string& name) {
    env_.makePrivateFolder(folder_);
    // The name inside too, for a person who looks.
    env_.writeFileDurably(folder_, name, name + "\r\n");
}

void RemovalQueue::remove(const std::string& name) {
    env_.removeFileDurably(folder_, name);
}

}  // namespace importer
