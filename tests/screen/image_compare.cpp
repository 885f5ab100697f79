#include "image_compare.h"

#include <algorithm>
#include <cstdlib>

namespace screen {

Comparison compareImages(const QImage& actualIn, const QImage& referenceIn, int channelTolerance,
                         const QList<QRect>& masks) {
    const QImage actual = actualIn.convertToFormat(QImage::Format_RGB32);
    const QImage reference = referenceIn.convertToFormat(QImage::Format_RGB32);
    Comparison result;
    result.sameSize = actual.size() == reference.size();
    result.diff = QImage(actual.size(), QImage::Format_RGB32);
    if (!result.sameSize) {
        result.compared = qsizetype(actual.width()) * actual.height();
        result.differing = result.compared;
        result.diff.fill(Qt::red);
        return result;
    }
    for (int y = 0; y < actual.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(actual.constScanLine(y));
        const auto* r = reinterpret_cast<const QRgb*>(reference.constScanLine(y));
        auto* d = reinterpret_cast<QRgb*>(result.diff.scanLine(y));
        for (int x = 0; x < actual.width(); ++x) {
            const int grey = qGray(a[x]);
            const int faded = 160 + grey * 95 / 255;
            const bool masked = std::any_of(masks.begin(), masks.end(),
                                            [&](const QRect& m) { return m.contains(x, y); });
            if (masked) {
                d[x] = qRgb(faded * 3 / 4, faded * 3 / 4, 255);
                continue;
            }
            ++result.compared;
            const int delta =
                std::max({std::abs(qRed(a[x]) - qRed(r[x])), std::abs(qGreen(a[x]) - qGreen(r[x])),
                          std::abs(qBlue(a[x]) - qBlue(r[x]))});
            result.largestChannelDifference = std::max(result.largestChannelDifference, delta);
            if (delta > channelTolerance) {
                ++result.differing;
                d[x] = qRgb(255, 0, 0);
            } else {
                d[x] = qRgb(faded, faded, faded);
            }
        }
    }
    return result;
}

}  // namespace screen
