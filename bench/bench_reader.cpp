// Throughput of the flat-file reader on a ~100 MB file read in 64 KiB blocks, as the run
// reads them. Prints MB/s; the reader must stay well above 200 MB/s.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "import/flat_reader.h"
#include "import/progress.h"

namespace {

constexpr size_t kTarget = 100u << 20;
constexpr size_t kBlock = 64u << 10;

// Lines of about 60 ";"-separated fields; every tenth is a summary record.
std::string makeFile() {
    std::mt19937 rng(42);
    std::string out;
    out.reserve(kTarget + 4096);
    char num[32];
    for (int n = 0; out.size() < kTarget; ++n) {
        out += n % 10 == 0 ? "31/01/2024" : "DET-000001";
        out += ";0012;CAJA 1";
        for (int f = 3; f < 17; ++f) {
            std::snprintf(num, sizeof num, ";%u,%02u", unsigned(rng() % 100000),
                          unsigned(rng() % 100));
            out += num;
        }
        for (int f = 17; f < 40; ++f) {
            std::snprintf(num, sizeof num, ";GRUPO%02d %u.%u.0", f, unsigned(rng() % 50),
                          unsigned(rng() % 20));
            out += num;
        }
        out += ";FD";
        for (int f = 41; f < 60; ++f) out += ";\"texto libre\"";
        out += "\r\n";
    }
    return out;
}

struct Result {
    double seconds;
    int64_t records;
    int64_t summaries;
    int64_t steps;
};

template <typename ReadBlock>
Result run(int64_t length, ReadBlock&& readBlock) {
    importer::FlatReader reader;
    reader.setFormat(';', '"');
    reader.reset();
    importer::ProgressCounter progress(length);
    std::vector<char> block(kBlock);
    int64_t records = 0, summaries = 0;
    const auto start = std::chrono::steady_clock::now();
    while (progress.more()) {
        const size_t want = std::min<size_t>(kBlock, size_t(progress.remaining()));
        const size_t got = readBlock(block.data(), want);
        if (got == 0) break;
        reader.feed(block.data(), got, progress, [&] {
            ++records;
            if (reader.isSummary() && !reader.overflowed()) ++summaries;
        });
    }
    reader.endOfFile(progress);
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double>(end - start).count(), records, summaries,
            progress.steps()};
}

void print(const char* what, const Result& r, size_t bytes) {
    std::printf("%-22s %8.1f MB/s  (%.3f s, %lld records, %lld summary, %lld steps)\n", what,
                double(bytes) / (1 << 20) / r.seconds, r.seconds, (long long)r.records,
                (long long)r.summaries, (long long)r.steps);
}

}  // namespace

int main() {
    const std::string data = makeFile();
    std::printf("flat file: %.1f MB\n", double(data.size()) / (1 << 20));

    size_t at = 0;
    Result best{1e9, 0, 0, 0};
    for (int round = 0; round < 3; ++round) {
        at = 0;
        Result r = run(int64_t(data.size()), [&](char* dst, size_t n) {
            const size_t k = std::min(n, data.size() - at);
            std::copy_n(data.data() + at, k, dst);
            at += k;
            return k;
        });
        if (r.seconds < best.seconds) best = r;
    }
    print("reader, from memory:", best, data.size());

    const auto path = std::filesystem::temp_directory_path() / "bench_reader_flat.txt";
    std::ofstream(path, std::ios::binary).write(data.data(), std::streamsize(data.size()));
    std::FILE* f = std::fopen(path.string().c_str(), "rb");
    if (f == nullptr) return 1;
    const Result fromFile =
        run(int64_t(data.size()), [&](char* dst, size_t n) { return std::fread(dst, 1, n, f); });
    std::fclose(f);
    std::filesystem::remove(path);
    print("reader, from file:", fromFile, data.size());
    return double(data.size()) / (1 << 20) / best.seconds > 200 ? 0 : 1;
}
