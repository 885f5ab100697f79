// Fuzz target: the settings file's byte rules, and the conversion between the program's
// Windows-1252 text and UTF-8 that the console and the folder picker use. The input is the
// whole of settings.conf.
//
// Checked for every input: the values equal those of a plain model of the rules (lines end at
// CR or LF, a CR swallows the byte after it, a line keeps at most 255 characters, a value ends
// at its first zero byte, only ended lines 1 to 8 count); no value is longer than 255 bytes or
// holds a line end or a zero byte; the unattended flag is exactly "1"; every value survives
// the round trip through UTF-8; the input read as UTF-8 converts to the code page as a model
// of UTF-8 says: one byte per character, "?" for a character outside the code page and for
// each malformed stretch, never swallowing the bytes after one.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/settings_file.h"
#include "core/text.h"
#include "fuzz/fuzz_check.h"

namespace {

app::SettingsValues model(std::string_view bytes) {
    app::SettingsValues v;
    std::string* const targets[] = {&v.servidor, &v.tusua, &v.tclave,    &v.cia,
                                    &v.destino,  &v.epref, &v.ubicacion, &v.espera};
    std::string buffer;
    int line = 0;
    size_t k = 0;
    while (k < bytes.size()) {
        const char b = bytes[k++];
        if (b == '\r' || b == '\n') {
            ++line;
            if (line <= 8) *targets[line - 1] = fuzz::upToNul(buffer);
            buffer.clear();
            if (b == '\r') ++k;  // one more byte read and thrown away, whatever it is
        } else if (buffer.size() < app::kSettingsLineMax) {
            buffer += b;
        }
    }
    return v;
}

// Code points of 0x80 to 0x9F in Windows-1252 (the five bytes without a character keep
// their C1 control).
constexpr char32_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

char codePageByte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int k = 0; k < 32; ++k)
        if (kHigh[k] == c) return static_cast<char>(0x80 + k);
    return '?';
}

// Code point of a lead byte expecting n - 1 continuation bytes followed by `tail`, the missing
// ones filled with `fill`.
char32_t codePoint(unsigned char lead, size_t n, std::string_view tail, unsigned char fill) {
    if (n == 1) return lead;
    char32_t c = lead & (0x7F >> n);
    for (size_t k = 1; k < n; ++k)
        c = c << 6 |
            ((k - 1 < tail.size() ? static_cast<unsigned char>(tail[k - 1]) : fill) & 0x3F);
    return c;
}

// Smallest and largest code point of an n-byte character; surrogates are none.
constexpr char32_t kLow[] = {0, 0, 0x80, 0x800, 0x10000};
constexpr char32_t kHighest[] = {0, 0x7F, 0x7FF, 0xFFFF, 0x10FFFF};

bool allowed(char32_t c, size_t n) {
    return c >= kLow[n] && c <= kHighest[n] && !(c >= 0xD800 && c <= 0xDFFF);
}

// UTF-8 to the code page, written from the definition of UTF-8: a stretch of bytes that starts
// a well-formed sequence but breaks off gives one "?" and the byte that broke it is read
// anew.
std::string modelToCodePage(std::string_view s) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        const size_t n = b < 0x80                ? 1
                         : b >= 0xC0 && b < 0xE0 ? 2
                         : b >= 0xE0 && b < 0xF0 ? 3
                         : b >= 0xF0 && b < 0xF8 ? 4
                                                 : 0;
        if (n == 0) {  // a continuation byte or 0xF8 to 0xFF: no start of a character
            out += '?';
            ++i;
            continue;
        }
        // The longest run of continuation bytes after b that can still complete a character:
        // some completion of it lies in the range of n-byte characters.
        size_t m = 1;
        while (m < n && i + m < s.size() && (static_cast<unsigned char>(s[i + m]) & 0xC0) == 0x80) {
            const std::string_view tail = s.substr(i + 1, m);
            const char32_t low = codePoint(b, n, tail, 0x80);
            const char32_t high = codePoint(b, n, tail, 0xBF);
            bool possible = false;
            // The allowed code points are two intervals; they meet [low, high] at one of
            // these if at all.
            for (char32_t c : {low, high, kLow[n], kHighest[n], char32_t(0xD7FF), char32_t(0xE000)})
                possible = possible || (c >= low && c <= high && allowed(c, n));
            if (!possible) break;
            ++m;
        }
        const char32_t c = codePoint(b, n, s.substr(i + 1, m - 1), 0);
        out += m == n && allowed(c, n) ? codePageByte(c) : '?';
        i += m;
    }
    return out;
}

// Whether s is well-formed UTF-8 of code points below 0x10000, as the conversion writes it.
bool wellFormedUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        const size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (size_t j = 1; j < len; ++j)
            if ((static_cast<unsigned char>(s[i + j]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const app::SettingsValues v = app::parseSettings(bytes);
    FUZZ_CHECK(v == model(bytes));
    for (const std::string* s : {&v.servidor, &v.tusua, &v.tclave, &v.cia, &v.destino, &v.epref,
                                 &v.ubicacion, &v.espera}) {
        FUZZ_CHECK(s->size() <= app::kSettingsLineMax);
        FUZZ_CHECK(s->find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
        const std::string shown = core::cp1252ToUtf8(*s);
        FUZZ_CHECK(wellFormedUtf8(shown));
        FUZZ_CHECK(core::utf8ToCp1252(shown) == *s);
    }
    FUZZ_CHECK(v.unattended() == (v.espera == "1"));
    FUZZ_CHECK(core::utf8ToCp1252(bytes) == modelToCodePage(bytes));
    return 0;
}
