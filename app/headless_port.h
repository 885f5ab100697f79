#pragma once
// The port of the headless mode: every box's text goes to standard error as one line and no
// box waits; repaint does nothing; close marks the window closed.
#include <cstdio>
#include <string>

#include "data/ui_port.h"

namespace app {

class HeadlessPort : public data::UiPort {
  public:
    explicit HeadlessPort(std::FILE* out = stderr) : out_(out) {}

    void information(const std::string& text) override { line(text); }
    void error(const std::string& text) override { line(text); }
    void failure(const std::string& text) override { line(text); }
    void beep() override {}
    void repaint() override {}
    void close() override { closed_ = true; }

    bool closed() const { return closed_; }
    int boxes() const { return boxes_; }

  private:
    void line(const std::string& text);
    std::FILE* out_;
    bool closed_ = false;
    int boxes_ = 0;
};

}  // namespace app
