#include "app/view/qt_folder_chooser.h"

#include <QApplication>
#include <QFileDialog>
#include <QScreen>
#include <QUrl>

#include "app/view/qt_text.h"

namespace app::view {
namespace {

constexpr unsigned kBrowseForComputer = 0x1000;
constexpr unsigned kNoNewFolderButton = 0x0200;

}  // namespace

std::optional<std::string> QtFolderChooser::choose(const FolderRequest& request) {
    QWidget* parent = owner_ ? owner_ : QApplication::activeWindow();
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setDirectory(fromCp1252(request.startFolder));
    dialog.setWindowTitle(fromCp1252(request.caption.empty() ? request.title : request.caption));
    if (!request.caption.empty() && !request.title.empty())
        dialog.setLabelText(QFileDialog::LookIn, fromCp1252(request.title));
    if (request.flags & kNoNewFolderButton) dialog.setOption(QFileDialog::ReadOnly);
    if (request.flags & kBrowseForComputer) {
        QList<QUrl> side = dialog.sidebarUrls();
        side.removeAll(QUrl("file:"));
        side.prepend(QUrl("file:"));
        dialog.setSidebarUrls(side);
    }

    if (request.position != fdpDefault) {
        // A native dialog cannot be placed; Qt's own can.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.resize(dialog.sizeHint());
        const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
        const QRect desktop = screen->geometry();
        const DialogRect current{dialog.x(), dialog.y(), dialog.width(), dialog.height()};
        const DialogPoint at = dialogPosition(request.position, request.x, request.y, current,
                                              desktop.width(), desktop.height());
        dialog.move(at.x, at.y);
    }

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    return toCp1252Exact(QDir::toNativeSeparators(chosen.first()));
}

}  // namespace app::view
