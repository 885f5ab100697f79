#pragma once
// Turns the bytes of a flat file into records of fields.
//
// Rules, for each byte, the first that applies:
//  1. the delimiter (when one is set) flips `EnDato` and is dropped;
//  2. the separator outside a delimited stretch ends the field;
//  3. CR or LF ends the record, inside a delimited stretch too, and clears `EnDato`;
//     a CR also swallows the byte after it, unseen;
//  4. anything else is data: "," becomes ".", and a NUL ends the field's text (what
//     follows it in that field is lost; nulField() tells the record's first such field).
// A record sees only its own fields. A field of more than 1,024 characters or a record of
// more than 101 fields is not cut: the record is marked overflowed and the next record
// reads normally.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "import/progress.h"

namespace importer {

enum class Overflow : uint8_t {
    none,
    fieldTooLong,   // a field of more than kMaxFieldLength characters
    tooManyFields,  // a record of more than kMaxFields fields
};

class FlatReader {
  public:
    static constexpr int kMaxFieldLength = 1024;
    static constexpr int kMaxFields = 101;

    FlatReader();

    // Separator and optional text delimiter of the file about to be read.
    void setFormat(char separa, std::optional<char> delimita);
    // Before each file: empties the field being collected and starts again at field 0.
    // `EnDato` is kept: a file that ended inside a delimited stretch leaves the next file
    // of the run starting inside one.
    void reset();

    // Hands over one byte. After ByteEffect::recordEnd or recordEndCr the finished record
    // is readable until the next byte is handed over.
    ByteEffect push(char b);

    // Hands over a block of bytes, counting each in `progress` as push() and
    // ProgressCounter::count() would, and calls onRecord() at every record end, after the
    // bytes up to it are counted. A CR at the end of a block swallows the first byte of
    // the next one. onRecord may throw; the reader then stops where it was.
    template <typename OnRecord>
    void feed(const char* p, size_t n, ProgressCounter& progress, OnRecord&& onRecord) {
        while (n > 0) {
            const size_t used = scan(p, n, progress);
            p += used;
            n -= used;
            if (recordEnded_) onRecord();
        }
    }

    // At end of file: a CR as the file's last byte still swallows one byte, the one past
    // the end, and the run counts it.
    void endOfFile(ProgressCounter& progress);

    // The finished record.
    int fieldCount() const { return count_; }
    // Field i of the finished record; empty beyond its last field.
    std::string_view field(int i) const;
    std::span<const std::string_view> fields() const { return {columna_.data(), size_t(count_)}; }
    bool isSummary() const;
    Overflow overflow() const { return overflow_; }
    bool overflowed() const { return overflow_ != Overflow::none; }
    // The field at which the record overflowed: the field too long, or kMaxFields.
    int overflowField() const { return overflowField_; }
    // The first field of the finished record that held a NUL byte (its text ends there), or
    // -1. A NUL in a text file is damage: the caller refuses such a summary record rather
    // than import a cut amount.
    int nulField() const { return nulField_; }

    // True while inside a delimited stretch.
    bool enDato() const { return enDato_; }
    // The last byte was a CR that ended a record; the next byte will be dropped.
    bool swallowPending() const { return swallow_; }
    // At end of file: whether the bytes after the last line end hold a field 0 that marks
    // a summary record (finished, or still being collected). Such a file may still be
    // being written.
    bool pendingSummary() const;

  private:
    enum Class : uint8_t { kData, kComma, kNul, kSeparator, kDelimiter, kCr, kLf };

    // Consumes bytes up to and including the next record end, or all n.
    size_t scan(const char* p, size_t n, ProgressCounter& progress);
    // Rules 2 to 4 for one byte already known not to be swallowed.
    ByteEffect consume(unsigned char b);
    ByteEffect consumeUndelimited(unsigned char b);
    void append(char c);
    void endField();
    ByteEffect endRecord(bool cr);
    std::string_view collected() const;
    void markOverflow(Overflow why, int field);

    std::array<uint8_t, 256> class_{};
    // Text of the record being collected, fields one after the other, with room for one
    // more field than the record may hold, where the fields beyond the last are dropped.
    std::unique_ptr<char[]> text_;
    char* fieldStart_;     // start of `Dato` in text_
    char* write_;          // end of `Dato`: `ldato` is write_ - fieldStart_
    char* nul_ = nullptr;  // first NUL in `Dato`, if any
    int ndato_ = 0;        // index of the field being collected
    bool enDato_ = false;
    bool swallow_ = false;
    bool recordEnded_ = false;              // set by scan()
    Overflow collecting_ = Overflow::none;  // of the record being collected
    int collectingField_ = -1;
    int collectingNul_ = -1;  // first field of the record being collected with a NUL

    std::array<std::string_view, kMaxFields> columna_{};
    int count_ = 0;  // fields of the finished record
    Overflow overflow_ = Overflow::none;
    int overflowField_ = -1;
    int nulField_ = -1;
};

}  // namespace importer
