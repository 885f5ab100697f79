#include "platform/folders.h"

#include <filesystem>
#include <system_error>

#include "platform/file_names.h"

namespace platform {

std::string workingDirectory() {
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec) return {};
    return displayText(cwd);
}

bool isFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(nativePath(path), ec);
}

}  // namespace platform
