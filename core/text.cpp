#include "core/text.h"

#include <charconv>
#include <limits>

#include "core/errors.h"

namespace core {
namespace {

// Code points of 0x80..0x9F in Windows-1252; the undefined five keep their C1 value.
const char32_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character at s[i]: its length in bytes and, in c, its code point. A malformed
// sequence gives U+FFFD for its longest start that some character could continue (at least
// one byte), so that a byte that cannot continue it, an ASCII one say, is read on its own.
size_t decodeUtf8(std::string_view s, size_t i, char32_t& c) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        c = b;
        return 1;
    }
    size_t more;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the next byte
    if (b >= 0xC2 && b <= 0xDF) {
        more = 1, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        more = 2, c = b & 0x0F;
        if (b == 0xE0) lo = 0xA0;  // no overlong form
        if (b == 0xED) hi = 0x9F;  // no surrogate
    } else if (b >= 0xF0 && b <= 0xF4) {
        more = 3, c = b & 0x07;
        if (b == 0xF0) lo = 0x90;  // no overlong form
        if (b == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
    } else {
        c = 0xFFFD;
        return 1;
    }
    for (size_t k = 1; k <= more; ++k) {
        const unsigned char t = i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0;
        if (t < lo || t > hi) {
            c = 0xFFFD;
            return k;
        }
        c = c << 6 | (t & 0x3F);
        lo = 0x80, hi = 0xBF;
    }
    return more + 1;
}

template <typename T>
T parseInt(std::string_view text) {
    std::string_view s = trimBlanks(text);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    T value{};
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size())
        throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

}  // namespace

std::string sqlQuote(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

int32_t parseInt32(std::string_view text) {
    return parseInt<int32_t>(text);
}
int64_t parseInt64(std::string_view text) {
    return parseInt<int64_t>(text);
}

std::string cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (unsigned char b : bytes) {
        char32_t c = b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b;
        appendUtf8(out, c);
    }
    return out;
}

namespace {

// Windows-1252 of `s`; `lost` tells whether some character had no form there (or was no
// character at all) and became '?'.
std::string toCp1252(std::string_view s, bool& lost) {
    std::string out;
    out.reserve(s.size());
    lost = false;
    for (size_t i = 0; i < s.size();) {
        char32_t c;
        i += decodeUtf8(s, i, c);
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k)
            if (kHigh[k] == c) mapped = static_cast<char>(0x80 + k);
        lost = lost || mapped == '?';
        out += mapped;
    }
    return out;
}

}  // namespace

std::string utf8ToCp1252(std::string_view s) {
    bool lost;
    return toCp1252(s, lost);
}

std::optional<std::string> utf8ToCp1252Exact(std::string_view s) {
    bool lost;
    std::string out = toCp1252(s, lost);
    if (lost) return std::nullopt;
    return out;
}

namespace {

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

void appendEscaped(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

}  // namespace

std::string escapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (isControl(c))
            appendEscaped(out, c);
        else
            out += char(c);
    }
    return out;
}

std::string oneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += " | ";
        } else if (isControl(c)) {
            appendEscaped(out, c);
        } else {
            out += char(c);
        }
    }
    return out;
}

}  // namespace core
