#pragma once
// The one way the window's logic reaches the person in front of it: every message box, the
// beep, the repaint that long synchronous steps ask for, and closing the window. The Qt view
// implements it with real boxes, tests with a recorder, the unattended mode with plain output.
// Every text is Windows-1252 bytes.
#include <string>

namespace data {

class UiPort {
  public:
    virtual ~UiPort() = default;

    // The plain information box: the text and a single OK button.
    virtual void information(const std::string& text) = 0;
    // The error box: error icon, title "Error", a single "OK" button.
    virtual void error(const std::string& text) = 0;
    // The application's default failure box, for a failure that escaped a handler.
    virtual void failure(const std::string& text) = 0;
    // The system's default beep.
    virtual void beep() = 0;
    // Shows the window's current state at once, while the caller keeps the thread busy.
    virtual void repaint() = 0;
    // Closes the window; closing the main window ends the program.
    virtual void close() = 0;
};

}  // namespace data
