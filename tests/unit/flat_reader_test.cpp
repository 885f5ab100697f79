#include "import/flat_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace importer {
namespace {

using namespace std::string_literals;

struct Record {
    std::vector<std::string> fields;
    bool summary = false;
    Overflow overflow = Overflow::none;
    int overflowField = -1;
    int nulField = -1;
    bool operator==(const Record&) const = default;
};

Record take(const FlatReader& r) {
    Record rec;
    for (int i = 0; i < r.fieldCount(); ++i) rec.fields.emplace_back(r.field(i));
    rec.summary = r.isSummary();
    rec.overflow = r.overflow();
    rec.overflowField = r.overflowField();
    rec.nulField = r.nulField();
    return rec;
}

// Hands the bytes over one at a time, as the run's plain loop does.
std::vector<Record> readByBytes(FlatReader& r, const std::string& bytes) {
    std::vector<Record> out;
    for (char b : bytes) {
        const ByteEffect e = r.push(b);
        if (e == ByteEffect::recordEnd || e == ByteEffect::recordEndCr) out.push_back(take(r));
    }
    return out;
}

std::vector<Record> readAll(const std::string& bytes, char sep, std::optional<char> del) {
    FlatReader r;
    r.setFormat(sep, del);
    r.reset();
    return readByBytes(r, bytes);
}

std::vector<std::vector<std::string>> fieldsOf(const std::vector<Record>& recs) {
    std::vector<std::vector<std::string>> out;
    for (const auto& r : recs) out.push_back(r.fields);
    return out;
}

struct Case {
    const char* name;
    std::string bytes;
    char sep;
    std::optional<char> del;
    std::vector<std::vector<std::string>> records;
};

class ReaderRules : public ::testing::TestWithParam<Case> {};

TEST_P(ReaderRules, GivesTheseRecords) {
    const Case& c = GetParam();
    EXPECT_EQ(fieldsOf(readAll(c.bytes, c.sep, c.del)), c.records);
}

INSTANTIATE_TEST_SUITE_P(
    Format, ReaderRules,
    ::testing::Values(
        Case{"CommaInDataBecomesPoint",
             "01/01/2024;x;y;1500,5\r\n",
             ';',
             std::nullopt,
             {{"01/01/2024", "x", "y", "1500.5"}}},
        Case{"DelimitedSeparatorAndComma", "'a,b',c\n", ',', '\'', {{"a.b", "c"}}},
        Case{"DelimitersNeverReachTheField", "ab'c;d'e\n", ';', '\'', {{"abc;de"}}},
        Case{"DoubleQuoteAndTab", "\"a\tb\"\tc\n", '\t', '"', {{"a\tb", "c"}}},
        Case{"DoubledDelimiterIsNoEscape", "'a''b';c\n", ';', '\'', {{"ab", "c"}}},
        Case{"NoDelimiterKeepsQuotes", "'a;b'\n", ';', std::nullopt, {{"'a", "b'"}}},
        Case{"LineEndInsideStretchEndsRecord", "'a\nb'\n", ';', '\'', {{"a"}, {"b"}}},
        Case{"CrLfEndsOneRecord", "a;b\r\nc\r\n", ';', std::nullopt, {{"a", "b"}, {"c"}}},
        Case{"LoneLfEndsOneRecord", "a\nb\n", ';', std::nullopt, {{"a"}, {"b"}}},
        Case{"LoneCrSwallowsFirstByteOfNextLine",
             "abc\rdef\rghi\r",
             ';',
             std::nullopt,
             {{"abc"}, {"ef"}, {"hi"}}},
        Case{"SwallowedByteMayBeALineEnd", "a\r\r\nb\n", ';', std::nullopt, {{"a"}, {""}, {"b"}}},
        Case{"LfCrIsTwoRecordsAndSwallows", "a\n\rbc\n", ';', std::nullopt, {{"a"}, {""}, {"c"}}},
        Case{"BlankLineIsEmptyField0", "\nx\n", ';', std::nullopt, {{""}, {"x"}}},
        Case{"LastLineWithoutEndIsNoRecord", "a\nb;c", ';', std::nullopt, {{"a"}}},
        Case{"NulEndsFieldText", "ab\0cd;e\n"s, ';', std::nullopt, {{"ab", "e"}}},
        Case{"NulAtFieldStart", "\0x;y\n"s, ';', std::nullopt, {{"", "y"}}},
        Case{"EmptyFieldsKept", ";;\n", ';', std::nullopt, {{"", "", ""}}},
        Case{"HighBytesUntouched",
             "\xe1\xf1\x80;\xff\n",
             ';',
             std::nullopt,
             {{"\xe1\xf1\x80", "\xff"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FlatReaderSummary, Field0NeedsTwentyAtSeventhAndEighth) {
    struct {
        std::string field0;
        bool summary;
    } const cases[] = {
        {"01/01/2024", true}, {"xxxxxx20", true}, {"xxxxx20", false},     {"xxxxxx2", false},
        {"xxxxxx21", false},  {"", false},        {"xxxxxx02abc", false}, {"12345620", true},
    };
    for (const auto& c : cases) {
        const auto recs = readAll(c.field0 + ";a\n", ';', std::nullopt);
        ASSERT_EQ(recs.size(), 1u);
        EXPECT_EQ(recs[0].summary, c.summary) << c.field0;
    }
}

TEST(FlatReaderSummary, OnlyField0Counts) {
    const auto recs = readAll("abc;01/01/2024\n", ';', std::nullopt);
    EXPECT_FALSE(recs.at(0).summary);
}

std::string line(int fields, const std::string& tag) {
    std::string s;
    for (int i = 0; i < fields; ++i) s += (i ? ";" : "") + tag + std::to_string(i);
    return s + "\r\n";
}

TEST(FlatReaderFields, ARecordSeesOnlyItsOwnFields) {
    FlatReader r;
    r.setFormat(';', std::nullopt);
    r.reset();
    const auto recs = readByBytes(r, line(12, "a") + line(20, "b") + line(12, "c"));
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[1].fields.size(), 20u);
    EXPECT_EQ(recs[1].fields[19], "b19");
    ASSERT_EQ(recs[2].fields.size(), 12u);
    EXPECT_EQ(recs[2].fields[11], "c11");
    // Beyond its last field the third record reads empty, not the second's text.
    EXPECT_EQ(r.fieldCount(), 12);
    for (int i = 12; i < 20; ++i) EXPECT_EQ(r.field(i), "") << i;
    EXPECT_EQ(r.field(-1), "");
    EXPECT_EQ(r.field(500), "");
}

TEST(FlatReaderFields, NextFileSeesNothingOfThePrevious) {
    FlatReader r;
    r.setFormat(';', std::nullopt);
    r.reset();
    readByBytes(r, line(30, "a"));
    r.reset();
    EXPECT_EQ(r.fieldCount(), 0);
    const auto recs = readByBytes(r, "x;y\n");
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].fields, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(r.field(2), "");
}

TEST(FlatReaderFiles, EnDatoCarriesOverButDatoDoesNot) {
    FlatReader r;
    r.setFormat(';', '\'');
    r.reset();
    readByBytes(r, "x;'abc");  // ends inside a delimited stretch, without a line end
    EXPECT_TRUE(r.enDato());
    r.reset();
    EXPECT_TRUE(r.enDato());
    const auto recs = readByBytes(r, "d;e'f;g\n");
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].fields, (std::vector<std::string>{"d;ef", "g"}));
    EXPECT_FALSE(r.enDato());
}

TEST(FlatReaderFiles, RecordEndClearsEnDato) {
    FlatReader r;
    r.setFormat(';', '"');
    r.reset();
    readByBytes(r, "\"open\n");
    EXPECT_FALSE(r.enDato());
}

TEST(FlatReaderFiles, FormatChangesPerFile) {
    FlatReader r;
    r.setFormat(';', '\'');
    r.reset();
    EXPECT_EQ(fieldsOf(readByBytes(r, "'a;b',c\n")),
              (std::vector<std::vector<std::string>>{{"a;b.c"}}));
    r.setFormat(',', std::nullopt);
    r.reset();
    EXPECT_EQ(fieldsOf(readByBytes(r, "'a;b',c\n")),
              (std::vector<std::vector<std::string>>{{"'a;b'", "c"}}));
}

TEST(FlatReaderOverflow, FieldOf1024CharactersFits) {
    const std::string big(1024, 'x');
    const auto recs = readAll("a;" + big + ";b\n", ';', std::nullopt);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].overflow, Overflow::none);
    EXPECT_EQ(recs[0].fields.at(1), big);
    EXPECT_EQ(recs[0].fields.at(2), "b");
}

TEST(FlatReaderOverflow, LongerFieldMarksRecordAndNextRecordReadsNormally) {
    const std::string big(1025, 'x');
    const std::string huge(5000, 'y');
    const auto recs =
        readAll("a;" + big + ";b\n" + "c;d\n" + huge + "\n01/01/2024;e\n", ';', std::nullopt);
    ASSERT_EQ(recs.size(), 4u);
    EXPECT_EQ(recs[0].overflow, Overflow::fieldTooLong);
    EXPECT_EQ(recs[0].overflowField, 1);
    EXPECT_EQ(recs[1], (Record{{"c", "d"}, false, Overflow::none, -1}));
    EXPECT_EQ(recs[2].overflow, Overflow::fieldTooLong);
    EXPECT_EQ(recs[2].overflowField, 0);
    EXPECT_EQ(recs[3], (Record{{"01/01/2024", "e"}, true, Overflow::none, -1}));
}

TEST(FlatReaderOverflow, At101FieldsFitsAt102Overflows) {
    std::string full;  // 101 fields of 1024 characters: the whole room
    for (int i = 0; i < 101; ++i) full += (i ? ";" : "") + std::string(1024, char('A' + i % 26));
    const auto ok = readAll(full + "\n", ';', std::nullopt);
    ASSERT_EQ(ok.size(), 1u);
    EXPECT_EQ(ok[0].overflow, Overflow::none);
    ASSERT_EQ(ok[0].fields.size(), 101u);
    EXPECT_EQ(ok[0].fields[100], std::string(1024, char('A' + 100 % 26)));

    const std::string extra = ";" + std::string(1024, 'z') + ";" + std::string(3000, 'w');
    const auto recs = readAll(full + extra + "\nx;y\n", ';', std::nullopt);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].overflow, Overflow::tooManyFields);
    EXPECT_EQ(recs[0].overflowField, 101);
    ASSERT_EQ(recs[0].fields.size(), 101u);  // the first 101 stay as they were
    EXPECT_EQ(recs[0].fields[0], std::string(1024, 'A'));
    EXPECT_EQ(recs[0].fields[100], std::string(1024, char('A' + 100 % 26)));
    EXPECT_EQ(recs[1], (Record{{"x", "y"}, false, Overflow::none, -1}));
}

TEST(FlatReaderOverflow, ResetClearsAnUnfinishedOverflow) {
    FlatReader r;
    r.setFormat(';', std::nullopt);
    r.reset();
    readByBytes(r, std::string(2000, 'x'));
    r.reset();
    const auto recs = readByBytes(r, "a\n");
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].overflow, Overflow::none);
}

TEST(FlatReaderNul, TheFirstFieldWithANulIsReportedForItsRecordOnly) {
    const auto recs = readAll("a;b\0c;d\0\nx;y\n\0;z\r\n'q\0';w\n"s, ';', '\'');
    ASSERT_EQ(recs.size(), 4u);
    EXPECT_EQ(recs[0], (Record{{"a", "b", "d"}, false, Overflow::none, -1, 1}));
    EXPECT_EQ(recs[1], (Record{{"x", "y"}, false, Overflow::none, -1, -1}));
    EXPECT_EQ(recs[2], (Record{{"", "z"}, false, Overflow::none, -1, 0}));
    EXPECT_EQ(recs[3], (Record{{"q", "w"}, false, Overflow::none, -1, 0}));  // delimited too

    FlatReader r;  // a new file starts clean
    r.setFormat(';', std::nullopt);
    r.reset();
    readByBytes(r, "a\0"s);
    r.reset();
    EXPECT_EQ(readByBytes(r, "b;c\n"),
              (std::vector<Record>{{{"b", "c"}, false, Overflow::none, -1, -1}}));
}

TEST(FlatReaderPending, SummaryAfterTheLastLineEnd) {
    struct {
        std::string bytes;
        bool pending;
    } const cases[] = {
        {"a;b\n01/01/2024;x", true},  // field 0 finished
        {"a;b\n01/01/2024", true},    // field 0 still being collected
        {"a;b\n01/01/20", true},      // just long enough
        {"a;b\n01/01/2", false},     {"a;b\nabc;01/01/2024", false},  // only field 0 counts
        {"01/01/2024;x\n", false},  // processed already: nothing after the line end
        {"01/01/2024;x\r", false},   {"", false},
    };
    for (const auto& c : cases) {
        FlatReader r;
        r.setFormat(';', std::nullopt);
        r.reset();
        readByBytes(r, c.bytes);
        EXPECT_EQ(r.pendingSummary(), c.pending) << c.bytes;
    }
}

// The block entry point must give what the plain byte loop gives, records and counts,
// wherever the blocks are cut.
TEST(FlatReaderFeed, SameAsByteByByteForAnyBlockCut) {
    const char alphabet[] = {'a', '2', '0', ';', ',', '\'', '\r', '\n', '\0', 'x', 'x', 'x'};
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(std::uniform_int_distribution<int>(0, 400)(rng), 'x');
        for (char& b : bytes) b = alphabet[rng() % sizeof alphabet];
        if (round % 3 == 0) bytes.insert(rng() % (bytes.size() + 1), std::string(1100, 'L'));

        FlatReader byte;
        byte.setFormat(';', '\'');
        byte.reset();
        ProgressCounter byteProgress(int64_t(bytes.size()));
        std::vector<Record> expected;
        for (char b : bytes) {
            const ByteEffect e = byte.push(b);
            byteProgress.count(e);
            if (e == ByteEffect::recordEnd || e == ByteEffect::recordEndCr)
                expected.push_back(take(byte));
        }
        byte.endOfFile(byteProgress);

        FlatReader block;
        block.setFormat(';', '\'');
        block.reset();
        ProgressCounter blockProgress(int64_t(bytes.size()));
        std::vector<Record> got;
        for (size_t at = 0; at < bytes.size();) {
            const size_t n = std::min(bytes.size() - at, size_t(1 + rng() % 9));
            block.feed(bytes.data() + at, n, blockProgress, [&] { got.push_back(take(block)); });
            at += n;
        }
        EXPECT_EQ(block.pendingSummary(), byte.pendingSummary());
        block.endOfFile(blockProgress);

        ASSERT_EQ(got, expected) << "round " << round;
        EXPECT_EQ(blockProgress.consumed(), byteProgress.consumed());
        EXPECT_EQ(blockProgress.steps(), byteProgress.steps());
        EXPECT_EQ(block.enDato(), byte.enDato());
    }
}

TEST(FlatReaderFeed, CountsBeforeEachRecordIsHandedOn) {
    FlatReader r;
    r.setFormat(';', std::nullopt);
    r.reset();
    const std::string bytes = "ab\ncd\r\nef\n";
    ProgressCounter progress(int64_t(bytes.size()));
    std::vector<int64_t> seen;
    r.feed(bytes.data(), bytes.size(), progress, [&] { seen.push_back(progress.steps()); });
    // Paso 1: every byte steps but the CR, whose check waits for the LF it swallows.
    EXPECT_EQ(seen, (std::vector<int64_t>{3, 5, 9}));
    EXPECT_EQ(progress.steps(), 9);
    EXPECT_FALSE(progress.more());
}

}  // namespace
}  // namespace importer
