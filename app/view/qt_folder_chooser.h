#pragma once
// The folder chooser on screen: a modal Qt directory dialog that opens on the start folder,
// with the caption (or, without one, the instruction text) as its title, placed as asked.
// fdoNoNewFolderButton makes it read-only (no new folders); fdoBrowseForComputer puts the
// whole machine first in its side bar, and folders are still what it returns.
#include "app/folder_dialog.h"

class QWidget;

namespace app::view {

class QtFolderChooser : public FolderChooser {
  public:
    // The window that owns the dialogs; without one, the application's active window.
    void setOwnerWindow(QWidget* window) { owner_ = window; }

    // Nothing on cancel, and for a folder whose path has a character outside Windows-1252:
    // the program could not name it.
    std::optional<std::string> choose(const FolderRequest& request) override;

  private:
    QWidget* owner_ = nullptr;
};

}  // namespace app::view
