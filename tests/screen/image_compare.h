#pragma once
// Compares a screenshot with its reference picture, pixel by pixel.
#include <QImage>
#include <QList>
#include <QRect>

namespace screen {

struct Tolerance {
    int channel = 0;        // a pixel differs when one of R, G, B differs by more than this
    double fraction = 0.0;  // share of the compared pixels that may differ
};

struct Comparison {
    bool sameSize = false;
    qsizetype compared = 0;   // pixels outside the masks
    qsizetype differing = 0;  // of those, pixels beyond the channel tolerance
    int largestChannelDifference = 0;
    // The actual picture faded, differing pixels in red, masked areas tinted blue.
    QImage diff;

    bool within(const Tolerance& t) const {
        return sameSize && double(differing) <= t.fraction * double(compared);
    }
};

// `masks` are areas left out of the comparison, in picture coordinates. Pictures of
// different sizes count as wholly different.
Comparison compareImages(const QImage& actual, const QImage& reference, int channelTolerance,
                         const QList<QRect>& masks = {});

}  // namespace screen
