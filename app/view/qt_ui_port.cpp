#include "app/view/qt_ui_port.h"

#include <QApplication>
#include <QMessageBox>

#include "app/view/main_window.h"
#include "app/view/qt_text.h"
#include "data/texts.h"

namespace app::view {
namespace {

void showBox(QWidget* owner, QMessageBox::Icon icon, const QString& title,
             const std::string& text) {
    QMessageBox box(icon, title, fromCp1252(text), QMessageBox::NoButton, owner);
    box.addButton(fromCp1252(data::texts::kOk), QMessageBox::AcceptRole);
    box.exec();
}

}  // namespace

QWidget* QtUiPort::owner() const {
    return view_ && view_->isVisible() ? view_ : nullptr;
}

void QtUiPort::information(const std::string& text) {
    showBox(owner(), QMessageBox::NoIcon, QApplication::applicationName(), text);
}

void QtUiPort::error(const std::string& text) {
    showBox(owner(), QMessageBox::Critical, fromCp1252(data::texts::kErrorTitle), text);
}

void QtUiPort::failure(const std::string& text) {
    showBox(owner(), QMessageBox::Critical, QApplication::applicationName(), text);
}

void QtUiPort::beep() {
    QApplication::beep();
}

// The caller keeps the thread busy afterwards, so the paint has to happen now; input waits
// until the caller returns to the event loop.
void QtUiPort::repaint() {
    if (!view_) return;
    view_->sync();
    view_->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtUiPort::close() {
    if (view_) view_->close();
}

}  // namespace app::view
