#include "core/money.h"

#include <cmath>
#include <ostream>

#include "core/errors.h"

namespace core {
namespace {

using i128 = __int128;
using u128 = unsigned __int128;

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

constexpr i128 pow10(int n) {
    i128 p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

void checkDecimals(int decimals, int most, const char* what) {
    if (decimals < 0 || decimals > most)
        throw std::invalid_argument(std::string("money: ") + what + " " + std::to_string(decimals) +
                                    " is outside 0.." + std::to_string(most));
}

// n / d to the nearest whole number, an exact half to the even one. d != 0.
i128 divHalfEven(i128 n, i128 d) {
    const bool negative = (n < 0) != (d < 0);
    const u128 un = n < 0 ? -static_cast<u128>(n) : static_cast<u128>(n);
    const u128 ud = d < 0 ? -static_cast<u128>(d) : static_cast<u128>(d);
    u128 q = un / ud;
    const u128 r = un % ud;
    // r < ud < 2^127, so 2r cannot wrap.
    if (2 * r > ud || (2 * r == ud && (q & 1) != 0)) ++q;
    return negative ? -static_cast<i128>(q) : static_cast<i128>(q);
}

int64_t toInt64(i128 v, const char* what) {
    if (v > kMax || v < kMin) throw std::overflow_error(std::string("money overflow: ") + what);
    return static_cast<int64_t>(v);
}

// The magnitude's digits, with `decimals` of them after a point; trailing fractional zeros
// are kept so toFixed can use it.
std::string digits(u128 magnitude, int decimals) {
    std::string s;
    do {
        s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    if (decimals > 0) {
        if (static_cast<int>(s.size()) <= decimals)
            s.insert(0, static_cast<size_t>(decimals) + 1 - s.size(), '0');
        s.insert(s.size() - static_cast<size_t>(decimals), 1, '.');
    }
    return s;
}

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

Money Money::fromInt(int64_t v) {
    if (v > kMax / kScale || v < kMin / kScale)
        throw std::overflow_error("money overflow: " + std::to_string(v) +
                                  " does not fit four decimals");
    return Money(v * kScale);
}

std::optional<Money> Money::tryParse(std::string_view text) {
    std::string_view s = text;
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);

    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }

    // The magnitude in ten-thousandths. It stops growing once it is past any int64 value,
    // so a long run of digits cannot wrap it; the rest of the text is still checked.
    constexpr u128 kCap = static_cast<u128>(1) << 70;
    u128 magnitude = 0;
    int fractionDigits = 0;
    int roundingDigit = 0;  // the fifth decimal
    bool sticky = false;    // any non-zero digit after the fifth decimal
    bool point = false;
    bool anyDigit = false;
    for (char c : s) {
        if (c == '.') {
            if (point) return std::nullopt;
            point = true;
            continue;
        }
        if (!isDigit(c)) return std::nullopt;
        anyDigit = true;
        const int digit = c - '0';
        if (!point || fractionDigits < kDecimals) {
            if (magnitude < kCap) magnitude = magnitude * 10 + static_cast<u128>(digit);
            if (point) ++fractionDigits;
        } else if (fractionDigits == kDecimals) {
            roundingDigit = digit;
            ++fractionDigits;
        } else if (digit != 0) {
            sticky = true;
        }
    }
    if (!anyDigit) return std::nullopt;

    for (int i = fractionDigits; i < kDecimals; ++i)
        if (magnitude < kCap) magnitude *= 10;
    if (roundingDigit > 5 || (roundingDigit == 5 && (sticky || (magnitude & 1) != 0))) ++magnitude;

    const u128 limit = negative ? static_cast<u128>(kMax) + 1 : static_cast<u128>(kMax);
    if (magnitude > limit) return std::nullopt;
    const i128 value = negative ? -static_cast<i128>(magnitude) : static_cast<i128>(magnitude);
    return Money(static_cast<int64_t>(value));
}

Money Money::parse(std::string_view text) {
    if (auto m = tryParse(text)) return *m;
    throw ConversionError("'" + std::string(text) + "' is not a valid floating point value");
}

Money Money::mulDiv(Money a, Money b, Money c, int decimals) {
    checkDecimals(decimals, kDecimals, "decimals");
    if (c.raw_ == 0)
        throw std::domain_error("money: " + a.toString() + " * " + b.toString() +
                                " divided by zero");
    // |a*b| <= 2^126 and |c*10^4| < 2^77: both fit.
    const i128 step = pow10(kDecimals - decimals);
    const i128 q =
        divHalfEven(static_cast<i128>(a.raw_) * b.raw_, static_cast<i128>(c.raw_) * step);
    return Money(toInt64(q * step, "product out of range"));
}

Money operator*(Money a, Money b) {
    return Money::mulDiv(a, b, Money::fromRaw(Money::kScale));
}

Money Money::roundedHalfEven(int decimals) const {
    checkDecimals(decimals, kDecimals, "decimals");
    const i128 step = pow10(kDecimals - decimals);
    return Money(toInt64(divHalfEven(raw_, step) * step, "rounding out of range"));
}

Money Money::fromScaled(int64_t value, int scale) {
    checkDecimals(scale, 18, "scale");
    // Dividing only shrinks the value, so it always fits.
    if (scale > kDecimals)
        return Money(static_cast<int64_t>(divHalfEven(value, pow10(scale - kDecimals))));
    return Money(
        toInt64(static_cast<i128>(value) * pow10(kDecimals - scale), "decimal value out of range"));
}

int64_t Money::toScaled(int scale) const {
    checkDecimals(scale, 18, "scale");
    if (scale < kDecimals) return static_cast<int64_t>(divHalfEven(raw_, pow10(kDecimals - scale)));
    return toInt64(static_cast<i128>(raw_) * pow10(scale - kDecimals),
                   "value does not fit the decimal scale");
}

Money Money::fromDouble(double d) {
    const double scaled = d * static_cast<double>(kScale);
    // 2^63 is exact as a double; everything strictly below it rounds into int64.
    if (!(scaled < 0x1p63 && scaled >= -0x1p63))
        throw std::overflow_error("money overflow: " + std::to_string(d) +
                                  " is not a four-decimal value");
    return Money(std::llround(scaled));
}

std::string Money::toString() const {
    const bool negative = raw_ < 0;
    const u128 magnitude = negative ? -static_cast<u128>(raw_) : static_cast<u128>(raw_);
    std::string s = digits(magnitude, kDecimals);
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return negative ? "-" + s : s;
}

std::string Money::toFixed(int decimals) const {
    checkDecimals(decimals, 18, "decimals");
    const i128 v = decimals < kDecimals ? divHalfEven(raw_, pow10(kDecimals - decimals))
                                        : static_cast<i128>(raw_) * pow10(decimals - kDecimals);
    const u128 magnitude = v < 0 ? -static_cast<u128>(v) : static_cast<u128>(v);
    std::string s = digits(magnitude, decimals);
    return v < 0 ? "-" + s : s;
}

std::ostream& operator<<(std::ostream& out, Money value) {
    return out << value.toString();
}

}  // namespace core
