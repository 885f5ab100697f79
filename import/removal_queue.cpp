#include "import/removal_queue.h"

#include <algorithm>

#include "import/file_name.h"
#include "import/transfer_script.h"
#include "platform/private_files.h"

namespace importer {

RemovalQueue::RemovalQueue(std::string folder) : folder_(std::move(folder)) {}

std::vector<std::string> RemovalQueue::names() const {
    std::vector<std::string> names;
    for (std::string& name : platform::regularFilesIn(folder_))
        if (matchesFlatFileMask(name) && remotelyRemovable(name)) names.push_back(std::move(name));
    std::sort(names.begin(), names.end());
    return names;
}

void RemovalQueue::add(const std::string& name) {
    platform::makePrivateFolder(folder_);
    // The name inside too, for a person who looks.
    platform::writeFileDurably(folder_, name, name + "\r\n");
}

void RemovalQueue::remove(const std::string& name) {
    platform::removeFileDurably(folder_, name);
}

}  // namespace importer
