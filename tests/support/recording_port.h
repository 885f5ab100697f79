#pragma once
// A data::UiPort for tests: answers nothing, shows nothing, and keeps every call in order so that a
// test can check what the person would have seen.
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "data/ui_port.h"

namespace app {

enum class PortCallKind { Information, Error, Failure, Beep, Repaint, Close };

struct PortCall {
    PortCallKind kind;
    std::string text;  // empty for beep, repaint and close
    bool operator==(const PortCall&) const = default;
};

// "information: <text>", "beep", ...: readable failure output in tests.
std::ostream& operator<<(std::ostream& out, const PortCall& call);

class RecordingPort : public data::UiPort {
  public:
    void information(const std::string& text) override;
    void error(const std::string& text) override;
    void failure(const std::string& text) override;
    void beep() override;
    void repaint() override;
    void close() override;

    const std::vector<PortCall>& calls() const { return calls_; }
    // The texts of the calls of one kind, in order.
    std::vector<std::string> texts(PortCallKind kind) const;
    int count(PortCallKind kind) const;
    void clear() { calls_.clear(); }

    // Runs after each call has been recorded: lets a test look at the window's state at the
    // moment of a repaint or a box (for example the message panel while connecting).
    std::function<void(const PortCall&)> onCall;

  private:
    void record(PortCallKind kind, const std::string& text);
    std::vector<PortCall> calls_;
};

}  // namespace app
