#include "import/progress.h"

namespace importer {

ProgressCounter::ProgressCounter(int64_t length)
    : long_(length), paso_(length / 100 > 0 ? length / 100 : 1), next_(paso_) {}

int ProgressCounter::position() const {
    if (steps_ <= kBarMax) return static_cast<int>(steps_);
    return static_cast<int>((steps_ - 1) % kBarMax + 1);
}

}  // namespace importer
