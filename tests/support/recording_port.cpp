#include "tests/support/recording_port.h"

#include <algorithm>
#include <ostream>

namespace app {

std::ostream& operator<<(std::ostream& out, const PortCall& call) {
    switch (call.kind) {
        case PortCallKind::Information:
            return out << "information: " << call.text;
        case PortCallKind::Error:
            return out << "error: " << call.text;
        case PortCallKind::Failure:
            return out << "failure: " << call.text;
        case PortCallKind::Beep:
            return out << "beep";
        case PortCallKind::Repaint:
            return out << "repaint";
        case PortCallKind::Close:
            return out << "close";
    }
    return out;
}

void RecordingPort::information(const std::string& text) {
    record(PortCallKind::Information, text);
}
void RecordingPort::error(const std::string& text) {
    record(PortCallKind::Error, text);
}
void RecordingPort::failure(const std::string& text) {
    record(PortCallKind::Failure, text);
}
void RecordingPort::beep() {
    record(PortCallKind::Beep, {});
}
void RecordingPort::repaint() {
    record(PortCallKind::Repaint, {});
}
void RecordingPort::close() {
    record(PortCallKind::Close, {});
}

std::vector<std::string> RecordingPort::texts(PortCallKind kind) const {
    std::vector<std::string> out;
    for (const PortCall& c : calls_)
        if (c.kind == kind) out.push_back(c.text);
    return out;
}

int RecordingPort::count(PortCallKind kind) const {
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                          [&](const PortCall& c) { return c.kind == kind; }));
}

void RecordingPort::record(PortCallKind kind, const std::string& text) {
    calls_.push_back({kind, text});
    if (onCall) onCall(calls_.back());
}

}  // namespace app
