#include "app/folder_dialog.h"

#include <cstdint>

#include "platform/folders.h"

namespace app {
namespace {

std::string currentDirectory() {
    return platform::workingDirectory();
}

bool isDirectory(const std::string& text) {
    return platform::isFolder(text);
}

}  // namespace

unsigned shellFlag(TFolderDialogOption option) {
    switch (option) {
        case fdoBrowseForComputer:
            return 0x1000;
        case fdoBrowseForPrinter:
            return 0x2000;
        case fdoDontgoBelowDomain:
            return 0x0002;
        case fdoReturnFSAncestors:
            return 0x0008;
        case fdoReturnOnlyFSDirs:
            return 0x0001;
        case fdoStatusText:
            return 0x0004;
        case fdoNewDialogStyle:
            return 0x0040;
        case fdoNoNewFolderButton:
            return 0x0200;
        case fdoEditBox:
            return 0x0010;
    }
    return 0;
}

DialogPoint dialogPosition(TFolderDialogPosition position, int x, int y, const DialogRect& dialog,
                           int desktopWidth, int desktopHeight) {
    switch (position) {
        case fdpScreenCenter:
            return {desktopWidth / 2 - dialog.width / 2, desktopHeight / 2 - dialog.height / 2};
        case fdpXY:
            return {x < 0 ? 0 : x, y < 0 ? 0 : y};
        case fdpDefault:
            break;
    }
    return {dialog.x, dialog.y};
}

TFolderDialog::TFolderDialog(std::string name, core::Component* owner, FolderChooser& chooser)
    : core::Component(std::move(name), owner), Directory(currentDirectory()), chooser_(chooser) {}

std::string TFolderDialog::Version() const {
    constexpr std::uint32_t kVersion = 0x01010001;
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (!text.empty()) text += '.';
        text += std::to_string((kVersion >> shift) & 0xFF);
    }
    return text;
}

unsigned TFolderDialog::flags() const {
    unsigned result = 0;
    for (TFolderDialogOption option : Options) result |= shellFlag(option);
    return result;
}

bool TFolderDialog::Execute() {
    if (!isDirectory(Directory)) Directory = currentDirectory();

    FolderRequest request;
    request.owner = owner();
    request.startFolder = Directory;
    request.title = Title;
    request.caption = Caption;
    request.position = DialogPosition;
    request.x = DialogX;
    request.y = DialogY;
    request.flags = flags();

    std::optional<std::string> chosen;
    try {
        chosen = chooser_.choose(request);
    } catch (...) {
        // Whatever goes wrong inside the dialog is a cancel: no message.
        return false;
    }
    if (!chosen || chosen->empty()) return false;
    Directory = *chosen;
    imageIndex_ = 0;
    return true;
}

}  // namespace app
