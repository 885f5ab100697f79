#pragma once
// One run of the shipped program on a private X display: Xvfb on a free display number (no
// TCP listener), an installation-directory entry and settings.conf in a temporary folder,
// fonts pinned through a fontconfig file of its own, and the program started with a clean
// environment and the inspection plugin, which writes the window's widget tree once the
// window is up. The program and Xvfb are stopped when the session goes.
#include <QJsonObject>
#include <QTemporaryDir>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"

namespace screen {

// Xvfb is missing or did not come up: the only reason to skip the screen test.
struct XvfbUnavailable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A top-level X window as the X server reports it.
struct XWindow {
    std::string id;
    std::string title;
    int x = 0, y = 0, width = 0, height = 0;
    bool viewable = false;
};

class ScreenSession {
  public:
    static constexpr int kScreenWidth = 1024;
    static constexpr int kScreenHeight = 768;

    // Starts Xvfb; throws XvfbUnavailable when it cannot.
    ScreenSession(std::string program, std::string pluginDir, std::string outputDir);
    ~ScreenSession();

    std::string displayName() const { return ":" + std::to_string(display_); }
    // A private runtime folder (mode 0700) for Qt programs on the display.
    std::string runtimeDir() const { return path("runtime"); }

    // Writes the installation entry and settings.conf (the lines are written as given, each
    // followed by CR LF) and starts the program. `extraEnvironment` ("NAME=value") is added
    // to the program's clean environment, replacing a variable of the same name. Throws
    // std::runtime_error if it cannot.
    void startProgram(const std::vector<std::string>& settingsLines,
                      const std::vector<std::string>& extraEnvironment = {});

    // Starts openbox on the display and waits until it manages it: with a window manager a
    // new window is activated, which the program's unattended start waits for. Throws
    // std::runtime_error when it cannot.
    void startWindowManager();

    // The program's exit status once it has ended.
    std::optional<int> programExitStatus() { return program_ ? program_->exitStatus() : 0; }

    // Waits for the widget tree; throws std::runtime_error (with the program's log) when
    // the program ended or nothing came within the timeout.
    QJsonObject waitForWidgetTree(std::chrono::milliseconds timeout);

    bool programRunning() { return program_ && program_->running(); }
    std::string programLog() const;

    // The X server's top-level windows, by xwininfo.
    std::vector<XWindow> topLevelWindows() const;

  private:
    void writeFontConfig() const;
    std::string path(const char* name) const;

    std::string programPath_, pluginDir_, outputDir_;
    QTemporaryDir dir_;
    int display_ = -1;
    std::unique_ptr<ChildProcess> xvfb_;
    std::unique_ptr<ChildProcess> windowManager_;
    std::unique_ptr<ChildProcess> program_;
};

}  // namespace screen
