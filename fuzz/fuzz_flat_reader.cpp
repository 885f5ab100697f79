// Fuzz target: the flat-file reader fed in blocks as the import run feeds it, and what the run
// then does with each record: the checks that refuse a summary record the reader could not
// take whole, one holding a NUL or one without its line end, the summary-record layout, the
// discount-group split and the conversion of the amounts.
//
// Input: byte 0 is the separator, byte 1 the text delimiter ('-' for none), byte 2 the block
// size (0: the run's 64 KiB), byte 3 where a second file of the same run starts (0: one file,
// else at that many 256ths of the rest); the rest are the files' bytes.
//
// Checked for every input:
// - block-fed, byte-fed and a plain model of the byte rules (fields kept whole, limits applied
//   afterwards) give the same records, overflow verdicts, byte counts, progress steps and
//   verdict on the bytes after the last line end;
// - a record handed on to the invoice steps has at most 101 fields of at most 1,024
//   characters each and holds exactly the text of the file, no field cut by a NUL;
// - the discount-group columns and their split follow the layout.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "core/money.h"
#include "fuzz/fuzz_check.h"
#include "import/discount_group.h"
#include "import/flat_reader.h"
#include "import/progress.h"
#include "import/summary_fields.h"

namespace {

using core::Money;
using importer::ByteEffect;
using importer::DiscountGroup;
using importer::FlatReader;
using importer::Overflow;
using importer::ProgressCounter;
using importer::SummaryRecord;

constexpr size_t kRunBlock = 64 * 1024;
constexpr size_t kMaxFields = FlatReader::kMaxFields;
constexpr size_t kMaxLength = FlatReader::kMaxFieldLength;

struct Record {
    std::vector<std::string> fields;
    Overflow overflow = Overflow::none;
    int overflowField = -1;
    int nulField = -1;
    bool operator==(const Record&) const = default;
};

struct FileResult {
    std::vector<Record> records;
    int64_t consumed = 0;
    int64_t steps = 0;
    bool pendingSummary = false;
    bool operator==(const FileResult&) const = default;
};

bool summaryType(std::string_view field0) {
    return field0.size() >= 8 && field0[6] == '2' && field0[7] == '0';
}

// What the reader hands out of a field: at most its first 1,024 characters, up to a NUL.
std::string handedOut(std::string_view raw) {
    return std::string(fuzz::upToNul(raw.substr(0, kMaxLength)));
}

// The byte rules and the run's loop written out plainly, with every field kept whole.
class Model {
  public:
    Model(char sep, std::optional<char> del) : sep_(sep), del_(del) {}

    // Also gives the whole fields of every record.
    FileResult readFile(std::string_view file, std::vector<std::vector<std::string>>& whole) {
        FileResult out;
        std::vector<std::string> cols;
        std::string dato;
        const int64_t length = static_cast<int64_t>(file.size());
        const int64_t paso = std::max<int64_t>(length / 100, 1);
        int64_t i = 0;
        size_t pos = 0;
        while (i < length) {
            const char b = file[pos++];
            bool cr = false;
            if (del_ && b == *del_) {
                enDato_ = !enDato_;
            } else if (!enDato_ && b == sep_) {
                cols.push_back(dato);
                dato.clear();
            } else if (b == '\r' || b == '\n') {
                enDato_ = false;
                cols.push_back(dato);
                dato.clear();
                out.records.push_back(expected(cols));
                whole.push_back(cols);
                cols.clear();
                cr = b == '\r';
            } else {
                dato += b == ',' ? '.' : b;
            }
            if (cr) {
                if (pos < file.size()) ++pos;  // read and dropped; past the end it counts too
                ++i;
            }
            ++i;
            if (i % paso == 0) ++out.steps;
        }
        out.consumed = i;
        out.pendingSummary = summaryType(handedOut(cols.empty() ? dato : cols[0]));
        return out;
    }

  private:
    static Record expected(const std::vector<std::string>& cols) {
        Record r;
        const size_t kept = std::min(cols.size(), kMaxFields);
        for (size_t k = 0; k < kept; ++k) r.fields.push_back(handedOut(cols[k]));
        // The first reason in the order of the bytes: a field too long comes before the
        // separator that starts a 102nd field.
        for (size_t k = 0; k < kept && r.overflow == Overflow::none; ++k) {
            if (cols[k].size() > kMaxLength) {
                r.overflow = Overflow::fieldTooLong;
                r.overflowField = static_cast<int>(k);
            }
        }
        if (r.overflow == Overflow::none && cols.size() > kMaxFields) {
            r.overflow = Overflow::tooManyFields;
            r.overflowField = static_cast<int>(kMaxFields);
        }
        // The first field holding a NUL among the bytes it took; the fields past the last
        // share one slot.
        for (size_t k = 0; k < cols.size(); ++k) {
            if (std::string_view(cols[k]).substr(0, kMaxLength).find('\0') !=
                std::string_view::npos) {
                r.nulField = static_cast<int>(std::min(k, kMaxFields));
                break;
            }
        }
        return r;
    }

    char sep_;
    std::optional<char> del_;
    bool enDato_ = false;  // carries over from file to file, as in the run
};

Record take(const FlatReader& r) {
    Record rec;
    FUZZ_CHECK(r.fieldCount() >= 1 && static_cast<size_t>(r.fieldCount()) <= kMaxFields);
    FUZZ_CHECK(r.fields().size() == static_cast<size_t>(r.fieldCount()));
    for (int i = 0; i < r.fieldCount(); ++i) {
        FUZZ_CHECK(r.field(i).size() <= kMaxLength);
        FUZZ_CHECK(r.field(i) == r.fields()[i]);
        rec.fields.emplace_back(r.field(i));
    }
    FUZZ_CHECK(r.field(r.fieldCount()).empty() && r.field(-1).empty());
    FUZZ_CHECK(r.overflowed() == (r.overflow() != Overflow::none));
    rec.overflow = r.overflow();
    rec.overflowField = r.overflowField();
    rec.nulField = r.nulField();
    return rec;
}

// An amount or discount value as the line step converts it.
void convert(std::string_view text) {
    const std::optional<Money> m = Money::tryParse(text);
    if (!m) {
        try {
            Money::parse(text);
            FUZZ_CHECK(false && "parse accepted what tryParse refused");
        } catch (const core::ConversionError&) {
        }
        return;
    }
    FUZZ_CHECK(Money::parse(m->toString()) == *m);
    const Money price = m->truncated();
    FUZZ_CHECK(price.raw() % Money::kScale == 0);
    const Money vat = Money::mulDiv(*m, Money::fromInt(19), Money::fromInt(100), 0);
    try {
        (void)(price + vat);
    } catch (const std::overflow_error&) {
        // The run stops with this failure; nothing is undefined about it.
    }
}

DiscountGroup modelSplit(std::string_view c) {
    // Positions counted from 1, as the layout states them; 0 for none.
    const size_t f1 = c.find('.');
    const size_t d1 = f1 == std::string_view::npos ? 0 : f1 + 1;
    DiscountGroup g;
    if (d1 == 0 || d1 - 1 < 3) {
        g.first = fuzz::trimmed(c.substr(0, 3));
    } else {
        g.name = c.substr(0, d1 - 4);
        g.first = fuzz::trimmed(c.substr(d1 - 4, 3));
    }
    const size_t f2 = d1 == 0 ? std::string_view::npos : c.find('.', d1);
    const size_t d2 = f2 == std::string_view::npos ? 0 : f2 + 1;
    if (d2 == 0) {
        g.third = fuzz::trimmed(c);
    } else {
        g.second = fuzz::trimmed(c.substr(d1, d2 - d1 - 1));
        g.third = fuzz::trimmed(c.substr(d2));
    }
    return g;
}

// What the invoice steps read of a summary record handed on.
void useSummaryRecord(const FlatReader& reader) {
    const std::span<const std::string_view> fields = reader.fields();
    const SummaryRecord rec(fields);
    FUZZ_CHECK(rec.isSummary());
    for (const importer::AmountField& a : importer::summary::kAmountFields) {
        const std::string_view text = rec.amount(a);
        FUZZ_CHECK(text == reader.field(a.field));
        if (text != importer::summary::kNoLine) convert(text);
    }
    if (!rec.tax().empty()) convert(rec.tax());
    if (!rec.total().empty()) convert(rec.total());

    const size_t first = importer::summary::kFirstDiscountField;
    const size_t stop = std::min<size_t>(fields.size(), importer::summary::kLastDiscountField + 1);
    size_t end = first;
    while (end < stop && fields[end] != importer::summary::kDiscountEnd) ++end;
    const std::span<const std::string_view> cols = rec.discountGroupColumns();
    FUZZ_CHECK(cols.size() == (end > first ? end - first : 0));
    FUZZ_CHECK(cols.empty() || cols.data() == fields.data() + first);
    for (std::string_view c : cols) {
        const DiscountGroup g = importer::splitDiscountGroup(c);
        FUZZ_CHECK(g == modelSplit(c));
        for (const std::string* v : {&g.first, &g.second, &g.third})
            if (!v->empty() && *v != importer::summary::kNoLine) convert(*v);
    }
}

// The run's reading of one file: blocks of at most `block` bytes, the records as they end.
FileResult runFile(FlatReader& reader, std::string_view file, size_t block,
                   const std::vector<std::vector<std::string>>& whole) {
    FileResult out;
    ProgressCounter progress(static_cast<int64_t>(file.size()));
    reader.reset();
    auto onRecord = [&] {
        const size_t n = out.records.size();
        out.records.push_back(take(reader));
        if (reader.overflowed()) {
            // Only a record the file really holds too big is marked. The run refuses it when
            // it is a summary record or its field 0 was too long to tell; nothing of it is
            // imported either way.
            FUZZ_CHECK(n >= whole.size() || whole[n].size() > kMaxFields ||
                       std::any_of(whole[n].begin(), whole[n].end(),
                                   [](const std::string& f) { return f.size() > kMaxLength; }));
            return;
        }
        // The run refuses a summary record holding a NUL, and any record whose field 0 holds
        // one: such a field is cut short.
        if (reader.nulField() >= 0 && (reader.isSummary() || reader.nulField() == 0)) return;
        if (!reader.isSummary()) return;
        // Handed on: whole, exactly as in the file, no field cut by a NUL.
        FUZZ_CHECK(n < whole.size() && whole[n].size() <= kMaxFields);
        FUZZ_CHECK(whole[n].size() == static_cast<size_t>(reader.fieldCount()));
        for (size_t k = 0; k < whole[n].size(); ++k) {
            FUZZ_CHECK(whole[n][k].size() <= kMaxLength);
            FUZZ_CHECK(reader.field(static_cast<int>(k)) == whole[n][k]);
        }
        useSummaryRecord(reader);
    };
    size_t pos = 0;
    while (progress.more()) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(block, progress.remaining()));
        const size_t got = std::min(want, file.size() - pos);
        if (got == 0) break;
        reader.feed(file.data() + pos, got, progress, onRecord);
        pos += got;
    }
    reader.endOfFile(progress);
    FUZZ_CHECK(pos == file.size());
    FUZZ_CHECK(!reader.swallowPending());
    FUZZ_CHECK(progress.position() >= 0 && progress.position() <= ProgressCounter::kBarMax);
    out.consumed = progress.consumed();
    out.steps = progress.steps();
    out.pendingSummary = reader.pendingSummary();
    return out;
}

// The same file one byte at a time.
FileResult pushFile(FlatReader& reader, std::string_view file) {
    FileResult out;
    ProgressCounter progress(static_cast<int64_t>(file.size()));
    reader.reset();
    for (char b : file) {
        const ByteEffect e = reader.push(b);
        progress.count(e);
        if (e == ByteEffect::recordEnd || e == ByteEffect::recordEndCr)
            out.records.push_back(take(reader));
    }
    reader.endOfFile(progress);
    out.consumed = progress.consumed();
    out.steps = progress.steps();
    out.pendingSummary = reader.pendingSummary();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const char sep = static_cast<char>(data[0]);
    const std::optional<char> del =
        data[1] == '-' ? std::nullopt : std::optional<char>(static_cast<char>(data[1]));
    const size_t block = data[2] == 0 ? kRunBlock : data[2];
    const std::string_view body(reinterpret_cast<const char*>(data) + 4, size - 4);
    const size_t split = data[3] == 0 ? body.size() : body.size() * data[3] / 256;
    const std::string_view files[] = {body.substr(0, split), body.substr(split)};

    FlatReader blocks, bytes;
    blocks.setFormat(sep, del);
    bytes.setFormat(sep, del);
    Model model(sep, del);
    for (std::string_view file : files) {
        if (data[3] == 0 && file.empty()) break;
        std::vector<std::vector<std::string>> whole;
        const FileResult expected = model.readFile(file, whole);
        const FileResult fed = runFile(blocks, file, block, whole);
        const FileResult pushed = pushFile(bytes, file);
        FUZZ_CHECK(fed == expected);
        FUZZ_CHECK(pushed == expected);
        FUZZ_CHECK(blocks.enDato() == bytes.enDato());
    }
    return 0;
}
