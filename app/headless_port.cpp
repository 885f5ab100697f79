#include "app/headless_port.h"

#include "core/text.h"

namespace app {

void HeadlessPort::line(const std::string& text) {
    ++boxes_;
    // One line per box: line breaks inside the text (a database message has several) become
    // " | " so that a log reader sees one message per line.
    std::string flat;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            flat += " | ";
        } else {
            flat += c;
        }
    }
    std::string utf8 = core::cp1252ToUtf8(flat) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), out_);
    std::fflush(out_);
}

}  // namespace app
