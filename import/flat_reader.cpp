#include "import/flat_reader.h"

#include <algorithm>
#include <cstring>

#include "import/summary_fields.h"

namespace importer {

namespace {
constexpr size_t kTextSize = size_t(FlatReader::kMaxFields + 1) * FlatReader::kMaxFieldLength;
}

FlatReader::FlatReader() : text_(new char[kTextSize]) {
    fieldStart_ = write_ = text_.get();
    setFormat(';', std::nullopt);
}

void FlatReader::setFormat(char separa, std::optional<char> delimita) {
    class_.fill(kData);
    class_[','] = kComma;
    class_[0] = kNul;
    class_['\r'] = kCr;
    class_['\n'] = kLf;
    // Later entries win: the delimiter's rule comes before the separator's, and both
    // before the line end's.
    class_[static_cast<unsigned char>(separa)] = kSeparator;
    if (delimita) class_[static_cast<unsigned char>(*delimita)] = kDelimiter;
}

void FlatReader::reset() {
    fieldStart_ = write_ = text_.get();
    nul_ = nullptr;
    ndato_ = 0;
    swallow_ = false;
    recordEnded_ = false;
    collecting_ = Overflow::none;
    collectingField_ = -1;
    count_ = 0;
    overflow_ = Overflow::none;
    overflowField_ = -1;
    collectingNul_ = -1;
    nulField_ = -1;
}

void FlatReader::markOverflow(Overflow why, int field) {
    if (collecting_ != Overflow::none) return;  // the first reason is the one reported
    collecting_ = why;
    collectingField_ = field;
}

inline void FlatReader::append(char c) {
    if (write_ - fieldStart_ == kMaxFieldLength) {
        markOverflow(Overflow::fieldTooLong, ndato_);
        return;
    }
    if (c == '\0' && nul_ == nullptr) {
        nul_ = write_;
        if (collectingNul_ < 0) collectingNul_ = ndato_;
    }
    *write_++ = c;
}

std::string_view FlatReader::collected() const {
    return {fieldStart_, size_t((nul_ ? nul_ : write_) - fieldStart_)};
}

void FlatReader::endField() {
    if (ndato_ < kMaxFields) {
        columna_[ndato_] = collected();
        fieldStart_ = write_;
    } else {
        write_ = fieldStart_;  // a field beyond the last is dropped
    }
    nul_ = nullptr;
    if (ndato_ == kMaxFields - 1) markOverflow(Overflow::tooManyFields, kMaxFields);
    if (ndato_ < kMaxFields) ++ndato_;
}

ByteEffect FlatReader::endRecord(bool cr) {
    enDato_ = false;
    if (ndato_ < kMaxFields) columna_[ndato_] = collected();
    count_ = std::min(ndato_ + 1, kMaxFields);
    overflow_ = collecting_;
    overflowField_ = collectingField_;
    collecting_ = Overflow::none;
    collectingField_ = -1;
    nulField_ = collectingNul_;
    collectingNul_ = -1;
    ndato_ = 0;
    fieldStart_ = write_ = text_.get();
    nul_ = nullptr;
    swallow_ = cr;
    return cr ? ByteEffect::recordEndCr : ByteEffect::recordEnd;
}

// Rules 3 and 4, for a separator inside a delimited stretch.
ByteEffect FlatReader::consumeUndelimited(unsigned char b) {
    if (b == '\r' || b == '\n') return endRecord(b == '\r');
    append(b == ',' ? '.' : static_cast<char>(b));
    return ByteEffect::collected;
}

inline ByteEffect FlatReader::consume(unsigned char b) {
    switch (class_[b]) {
        case kData:
        case kNul:
            append(static_cast<char>(b));
            return ByteEffect::collected;
        case kComma:
            append('.');
            return ByteEffect::collected;
        case kSeparator:
            if (enDato_) return consumeUndelimited(b);
            endField();
            return ByteEffect::collected;
        case kDelimiter:
            enDato_ = !enDato_;
            return ByteEffect::collected;
        case kCr:
            return endRecord(true);
        default:
            return endRecord(false);
    }
}

ByteEffect FlatReader::push(char b) {
    if (swallow_) {
        swallow_ = false;
        return ByteEffect::swallowed;
    }
    return consume(static_cast<unsigned char>(b));
}

size_t FlatReader::scan(const char* p, size_t n, ProgressCounter& progress) {
    recordEnded_ = false;
    size_t k = 0;
    if (swallow_) {
        swallow_ = false;
        k = 1;
    }
    // Plain data is by far the most common byte: its path works on locals, since a store
    // through char* would otherwise make the compiler reload the members every byte.
    char* w = write_;
    const char* limit = fieldStart_ + kMaxFieldLength;
    while (k < n) {
        const unsigned char b = static_cast<unsigned char>(p[k++]);
        if (class_[b] == kData && w != limit) {
            *w++ = static_cast<char>(b);
            continue;
        }
        write_ = w;
        const ByteEffect e = consume(b);
        w = write_;
        limit = fieldStart_ + kMaxFieldLength;
        if (e == ByteEffect::recordEnd || e == ByteEffect::recordEndCr) {
            recordEnded_ = true;
            if (e == ByteEffect::recordEndCr) {
                progress.countChecked(int64_t(k) - 1);
                progress.countUnchecked();
            } else {
                progress.countChecked(int64_t(k));
            }
            return k;
        }
    }
    write_ = w;
    progress.countChecked(int64_t(n));
    return n;
}

void FlatReader::endOfFile(ProgressCounter& progress) {
    if (!swallow_) return;
    swallow_ = false;
    progress.count(ByteEffect::swallowed);
}

std::string_view FlatReader::field(int i) const {
    return i >= 0 && i < count_ ? columna_[size_t(i)] : std::string_view{};
}

bool FlatReader::isSummary() const {
    return isSummaryRecordType(field(0));
}

bool FlatReader::pendingSummary() const {
    return isSummaryRecordType(ndato_ == 0 ? collected() : columna_[0]);
}

}  // namespace importer
