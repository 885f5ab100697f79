#include "app/view/qt_text.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

namespace app::view {
namespace {

// ICU writes 0x1A for each character it cannot encode and raises the error flag. Every code
// point gives exactly one byte, so the substitutes can be found by position.
std::string encode(const QString& text, bool& lossy) {
    QStringEncoder encoder("windows-1252");
    const QByteArray bytes = encoder.encode(text);
    std::string out(bytes.constData(), static_cast<size_t>(bytes.size()));
    lossy = false;
    if (!encoder.hasError()) return out;
    const QList<uint> codePoints = text.toUcs4();
    for (size_t i = 0; i < out.size() && i < static_cast<size_t>(codePoints.size()); ++i) {
        if (out[i] == '\x1A' && codePoints[static_cast<qsizetype>(i)] != 0x1A) {
            out[i] = '?';
            lossy = true;
        }
    }
    return out;
}

}  // namespace

QString fromCp1252(std::string_view bytes) {
    QStringDecoder decoder("windows-1252");
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string toCp1252(const QString& text) {
    bool lossy = false;
    return encode(text, lossy);
}

std::optional<std::string> toCp1252Exact(const QString& text) {
    bool lossy = false;
    std::string out = encode(text, lossy);
    if (lossy) return std::nullopt;
    return out;
}

}  // namespace app::view
