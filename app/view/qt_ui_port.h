#pragma once
// The data::UiPort on screen: Qt message boxes, the system beep, an immediate repaint of the main
// window and its closing. The boxes are modal and wait for the person.
#include "data/ui_port.h"

class QWidget;

namespace app::view {

class MainWindow;

class QtUiPort : public data::UiPort {
  public:
    // The window that the boxes belong to and that repaint and close act on; until one is
    // attached, boxes have no owner and repaint and close do nothing.
    void attach(MainWindow* view) { view_ = view; }

    void information(const std::string& text) override;
    void error(const std::string& text) override;
    void failure(const std::string& text) override;
    void beep() override;
    void repaint() override;
    void close() override;

  private:
    QWidget* owner() const;
    MainWindow* view_ = nullptr;
};

}  // namespace app::view
