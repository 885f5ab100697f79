#pragma once
// TFolderDialog: a non-visual component that lets the person choose a folder. It keeps the
// start folder, the dialog's caption and placement, and a set of options that map onto the
// classic shell folder-browse flags. The dialog itself is a FolderChooser, so the component
// runs the same with the Qt chooser, a console or a test's script.
//
// fdoBrowseForComputer: the shell flag would let the person confirm only computers, which
// have no file-system path, so the window's instance (which sets it) could never return the
// flat files' folder. Our choosers read it as "browse from the whole machine's view" and
// still return folders; they never restrict the choice to computers.
#include <optional>
#include <set>
#include <string>

#include "core/component.h"

namespace app {

enum TFolderDialogOption {
    fdoBrowseForComputer,
    fdoBrowseForPrinter,
    fdoDontgoBelowDomain,
    fdoReturnFSAncestors,
    fdoReturnOnlyFSDirs,
    fdoStatusText,
    fdoNewDialogStyle,
    fdoNoNewFolderButton,
    fdoEditBox,
};
using TFolderDialogOptions = std::set<TFolderDialogOption>;

// The shell flag (BIF_...) of one option.
unsigned shellFlag(TFolderDialogOption option);

enum TFolderDialogPosition { fdpDefault, fdpScreenCenter, fdpXY };

struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
struct DialogPoint {
    int x = 0;
    int y = 0;
    bool operator==(const DialogPoint&) const = default;
};

// Where the dialog's top-left corner goes once it is shown. `dialog` is where the system put
// it: fdpDefault keeps that corner; fdpScreenCenter centres it with integer halves
// (truncating towards zero); fdpXY takes x and y, a negative one replaced by 0.
DialogPoint dialogPosition(TFolderDialogPosition position, int x, int y, const DialogRect& dialog,
                           int desktopWidth, int desktopHeight);

// What the chooser is asked to show.
struct FolderRequest {
    // The window that owns the dialog, or null for the application's main window.
    const core::Component* owner = nullptr;
    std::string startFolder;  // an existing directory
    std::string title;        // instruction text above the folder tree
    std::string caption;      // the dialog's title bar, when not empty
    TFolderDialogPosition position = fdpDefault;
    int x = 0;
    int y = 0;
    unsigned flags = 0;  // OR of the options' shell flags
};

// The modal dialog itself. Returns the chosen folder's file-system path, or nothing when the
// person cancelled or confirmed something without a path. May throw; the component counts
// that as no choice.
class FolderChooser {
  public:
    virtual ~FolderChooser() = default;
    virtual std::optional<std::string> choose(const FolderRequest& request) = 0;
};

class TFolderDialog : public core::Component {
  public:
    // Directory starts as the process's current directory.
    TFolderDialog(std::string name, core::Component* owner, FolderChooser& chooser);

    std::string Title;
    std::string Caption;
    std::string Directory;
    TFolderDialogOptions Options{fdoNewDialogStyle};
    TFolderDialogPosition DialogPosition = fdpDefault;
    int DialogX = 0;
    int DialogY = 0;

    // Icon index of the last folder chosen. The choosers here have no system image list, so
    // a successful choice sets it to 0.
    int ImageIndex() const { return imageIndex_; }
    // Always "1.1.0.1"; the setter is there only so that giving it a value changes nothing.
    std::string Version() const;
    void setVersion(const std::string&) {}

    unsigned flags() const;

    // Shows the dialog modally on Directory (the current directory when Directory no longer
    // names one). True when a folder was chosen; it is then in Directory. On cancel, on a
    // choice without a path and on a failure inside the dialog: false, and nothing changes.
    bool Execute();

  private:
    FolderChooser& chooser_;
    int imageIndex_ = 0;
};

}  // namespace app
