#pragma once
// Byte count and progress-bar steps of one flat file being read.
#include <cstdint>

namespace importer {

// How one byte handed to the flat-file reader counts in the run's progress.
enum class ByteEffect : uint8_t {
    collected,    // data, a separator or a delimiter
    recordEnd,    // an LF that ended a record
    recordEndCr,  // a CR that ended a record; the next byte is swallowed
    swallowed,    // the byte after a CR, dropped unseen
};

// The run's `i`, `Long` and `Paso`, and the bar they drive. Every consumed byte counts in
// `i`; the bar steps when `i` reaches a whole multiple of `Paso`, except at the byte
// swallowed after a CR, which counts without a check. The run handles the CR and its
// swallowed byte as one pair and checks once after both, so here the CR counts without
// a check and the swallowed byte carries it: the same sequence of checked counts.
class ProgressCounter {
  public:
    static constexpr int kBarMax = 100;

    explicit ProgressCounter(int64_t length);

    int64_t length() const { return long_; }
    int64_t paso() const { return paso_; }
    int64_t consumed() const { return i_; }
    bool more() const { return i_ < long_; }
    // Bytes still to be read from the file (never negative).
    int64_t remaining() const { return i_ < long_ ? long_ - i_ : 0; }

    void count(ByteEffect effect) {
        if (effect == ByteEffect::recordEndCr)
            countUnchecked();
        else
            countChecked(1);
    }
    // n bytes, each with a step check.
    void countChecked(int64_t n) {
        i_ += n;
        if (i_ >= next_) {
            const int64_t s = (i_ - next_) / paso_ + 1;
            steps_ += s;
            next_ += s * paso_;
        }
    }
    // One byte without a step check: a multiple of `Paso` reached here gives no step.
    void countUnchecked() {
        ++i_;
        if (i_ >= next_) next_ += paso_;
    }

    // Steps taken so far.
    int64_t steps() const { return steps_; }
    // Position of the bar (range 0 to 100, step 1, never set by the run). Going past 100
    // wraps the way the Windows progress control does: (pos - min) % (max - min) + min,
    // so 101 shows as 1 and the bar climbs again from the start.
    int position() const;

  private:
    int64_t long_;
    int64_t paso_;
    int64_t i_ = 0;
    int64_t next_;  // the next multiple of paso_ above i_
    int64_t steps_ = 0;
};

}  // namespace importer
