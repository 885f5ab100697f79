#pragma once
// The folder chooser where no display exists (headless runs, tests, benchmarks): every
// request ends as no choice, so nothing changes.
#include <optional>
#include <string>

#include "app/folder_dialog.h"

namespace app {

class NoChooser : public FolderChooser {
  public:
    std::optional<std::string> choose(const FolderRequest&) override { return std::nullopt; }
};

}  // namespace app
