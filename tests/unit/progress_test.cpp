#include "import/progress.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "import/flat_reader.h"

namespace importer {
namespace {

// Reads a whole file through the reader in blocks, as the run does.
ProgressCounter readFile(const std::string& bytes, size_t block = 64 * 1024) {
    FlatReader reader;
    reader.setFormat(';', std::nullopt);
    reader.reset();
    ProgressCounter progress(int64_t(bytes.size()));
    size_t at = 0;
    while (progress.more() && at < bytes.size()) {
        const size_t n = std::min<size_t>(block, size_t(progress.remaining()));
        reader.feed(bytes.data() + at, n, progress, [] {});
        at += n;
    }
    reader.endOfFile(progress);
    return progress;
}

// The run's loop as it stands: the byte after a CR is read and counted in i with no
// check, then i grows by one and is checked.
int64_t stepsOfTheRunLoop(const std::string& bytes) {
    const int64_t length = int64_t(bytes.size());
    const int64_t paso = std::max<int64_t>(length / 100, 1);
    int64_t i = 0, steps = 0;
    while (i < length) {
        const char b = bytes[size_t(i)];
        if (b == '\r') ++i;
        ++i;
        if (i % paso == 0) ++steps;
    }
    return steps;
}

TEST(ProgressCounter, PasoIsLongDiv100AtLeastOne) {
    EXPECT_EQ(ProgressCounter(0).paso(), 1);
    EXPECT_EQ(ProgressCounter(50).paso(), 1);
    EXPECT_EQ(ProgressCounter(199).paso(), 1);
    EXPECT_EQ(ProgressCounter(250).paso(), 2);
    EXPECT_EQ(ProgressCounter(3'000'000'000LL).paso(), 30'000'000);
}

TEST(ProgressCounter, FilesOfTheRunsExamples) {
    struct {
        const char* name;
        std::string bytes;
        int64_t steps;
        int position;
    } const cases[] = {
        {"50 bytes without CR", std::string(49, 'a') + "\n", 50, 50},
        {"250 bytes without CR", std::string(250, 'a'), 125, 25},
        {"ten lines ending CR LF",
         [] {
             std::string s;
             for (int k = 0; k < 10; ++k) s += "abc\r\n";
             return s;
         }(),
         40, 40},
        {"empty file", "", 0, 0},
        {"last byte a CR swallows past the end", "ab\r", 3, 3},
    };
    for (const auto& c : cases) {
        const ProgressCounter p = readFile(c.bytes);
        EXPECT_EQ(p.steps(), c.steps) << c.name;
        EXPECT_EQ(p.position(), c.position) << c.name;
        EXPECT_EQ(p.steps(), stepsOfTheRunLoop(c.bytes)) << c.name;
        EXPECT_FALSE(p.more()) << c.name;
    }
}

TEST(ProgressCounter, MultipleReachedBySwallowedByteGivesNoStep) {
    // 200 bytes, Paso 2: the CR at 0-based 1 makes i jump 1 -> 3 with no check at 2.
    std::string bytes = "a\r\n" + std::string(197, 'b');
    ProgressCounter p = readFile(bytes);
    EXPECT_EQ(p.paso(), 2);
    EXPECT_EQ(p.steps(), stepsOfTheRunLoop(bytes));
    EXPECT_EQ(p.steps(), 99);
}

TEST(ProgressCounter, MatchesTheRunLoopOnAnyFile) {
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        std::string bytes(std::uniform_int_distribution<int>(0, 1500)(rng), 'x');
        for (char& b : bytes) {
            const unsigned r = rng() % 16;
            b = r == 0 ? '\r' : r == 1 ? '\n' : r == 2 ? ';' : 'x';
        }
        const size_t block = 1 + rng() % 300;
        const ProgressCounter p = readFile(bytes, block);
        EXPECT_EQ(p.steps(), stepsOfTheRunLoop(bytes)) << "round " << round;
    }
}

TEST(ProgressCounter, BarWrapsPast100LikeTheWindowsControl) {
    struct {
        int64_t steps;
        int position;
    } const cases[] = {{0, 0},    {1, 1},    {100, 100}, {101, 1},
                       {125, 25}, {199, 99}, {200, 100}, {201, 1}};
    for (const auto& c : cases) {
        ProgressCounter q(100);  // Paso 1: one step per byte
        q.countChecked(c.steps);
        EXPECT_EQ(q.steps(), c.steps);
        EXPECT_EQ(q.position(), c.position) << c.steps;
    }
}

TEST(ProgressCounter, UncheckedByteNeverSteps) {
    ProgressCounter p(100);  // Paso 1
    p.countUnchecked();
    p.countUnchecked();
    EXPECT_EQ(p.consumed(), 2);
    EXPECT_EQ(p.steps(), 0);
    p.countChecked(3);
    EXPECT_EQ(p.steps(), 3);
}

}  // namespace
}  // namespace importer
