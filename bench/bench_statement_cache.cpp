// Executes one parameterised INSERT 10,000 times in one transaction against an embedded
// database: prepared once through the connection's statement cache, versus prepared anew
// for every execution. Prints both rates and their ratio.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fb/connection.h"

namespace {

const char kInsert[] = "INSERT INTO T (ID, NAME, AMOUNT) VALUES (?, ?, ?)";
constexpr int kRows = 10000;

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<fb::Value> row(int i) {
    return {fb::Value::ofInt(i), fb::Value::ofText("row " + std::to_string(i)),
            fb::Value::ofDecimal(i * 100 + 25, 2)};
}

}  // namespace

int main() {
    std::string dir = std::filesystem::temp_directory_path() / "bench_statement_cache";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::string path = dir + "/bench.fdb";
    fb::AttachOptions o;
    o.user = "SYSDBA";
    {
        fb::Attachment a = fb::Attachment::create(path, o);
        fb::Transaction t(a, {});
        fb::Statement(a, t, "CREATE TABLE T (ID INTEGER, NAME VARCHAR(40), AMOUNT NUMERIC(15,2))",
                      3)
            .execute(t, {});
        t.commit();
    }
    fb::Connection conn("bench");
    conn.options().database = path;
    conn.options().user = "SYSDBA";
    conn.open();

    auto start = std::chrono::steady_clock::now();
    {
        fb::Transaction t = conn.begin();
        for (int i = 0; i < kRows; ++i) conn.run(t, kInsert, row(i));
        t.commit();
    }
    double cached = seconds(start);

    conn.close();

    // The same rows through an attachment of its own, preparing the text for every row.
    fb::Attachment att(path, o);
    start = std::chrono::steady_clock::now();
    {
        fb::Transaction t(att, {});
        for (int i = 0; i < kRows; ++i) fb::Statement(att, t, kInsert, 3).execute(t, row(i));
        t.commit();
    }
    double uncached = seconds(start);
    att.detach();
    std::filesystem::remove_all(dir);

    std::printf("statement cache: %d INSERTs in one transaction, embedded engine\n", kRows);
    std::printf("  prepared once (cache): %8.0f rows/s  (%.3f s)\n", kRows / cached, cached);
    std::printf("  prepared every time:   %8.0f rows/s  (%.3f s)\n", kRows / uncached, uncached);
    std::printf("  ratio: %.1fx\n", uncached / cached);
    return uncached / cached >= 3.0 ? 0 : 1;
}
