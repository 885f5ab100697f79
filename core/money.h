#pragma once
// The money type: a fixed-point decimal with four places, held as a 64-bit integer scaled by
// 10,000. Every amount, quantity, percentage (19 means 19 %) and factor is one.
//
// Rounding: wherever a value loses digits it is rounded once, from the exact value, to the
// nearest representable one with an exact half going to the even neighbour (banker's
// rounding, as a conversion to a four-decimal currency does). The exceptions are
// truncated() (toward zero) and fromDouble() (nearest, ties away from zero).
//
// Failures never wrap: a result outside the 64-bit range throws std::overflow_error, a bad
// number of decimals or scale throws std::invalid_argument, and a text that is not a number
// throws core::ConversionError.
#include <compare>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace core {

class Money {
  public:
    static constexpr int kDecimals = 4;
    static constexpr int64_t kScale = 10000;

    constexpr Money() = default;

    static constexpr Money fromRaw(int64_t raw) { return Money(raw); }
    constexpr int64_t raw() const { return raw_; }

    // The whole number v; beyond +/-922,337,203,685,477 throws std::overflow_error.
    static Money fromInt(int64_t v);

    // Reads a number with "." as the decimal point, whatever the locale: blanks (and control
    // characters) around it, an optional "+" or "-", digits with at most one point and at
    // least one digit in all ("12", "12.5", ".5", "5." and "-.5" are numbers;
    // "", ".", "-", "1,5", "1e3", "1 000", "12abc" and "0x10" are not). Digits beyond the
    // fourth decimal are rounded half to even. A text that is not a number, or whose value
    // is outside the type's range, throws core::ConversionError
    // "'<text>' is not a valid floating point value" (the text as given).
    static Money parse(std::string_view text);
    // As parse(), with no value instead of the failure.
    static std::optional<Money> tryParse(std::string_view text);

    // a x b / c computed exactly (128-bit intermediates) and rounded once to `decimals`
    // places (0..4), half to even. c = 0 throws std::domain_error, a result outside the range
    // std::overflow_error. VAT: mulDiv(amount, rate, 100, 0); a withholding: mulDiv(base,
    // rate, 100).
    static Money mulDiv(Money a, Money b, Money c, int decimals = kDecimals);

    // The value toward zero to a whole number: 1234.99 -> 1234, -1.5 -> -1.
    constexpr Money truncated() const { return Money(raw_ / kScale * kScale); }
    // The value rounded to `decimals` places (0..4), half to even: 28.5 -> 28, 47.5 -> 48,
    // -2.5 -> -2.
    Money roundedHalfEven(int decimals = 0) const;

    // A database decimal: value x 10^-scale, scale 0..18. Digits beyond the fourth decimal
    // are rounded half to even (a decimal(15,8) factor 1.23456789 gives 1.2346).
    static Money fromScaled(int64_t value, int scale);
    // The value x 10^scale as a whole number, for a decimal column of that scale (0..18).
    // Below four places the value is rounded half to even: storing 0.125 into a
    // decimal(15,2) column stores 0.12, 0.135 stores 0.14.
    int64_t toScaled(int scale) const;

    // The four-decimal value nearest to d (ties away from zero), so 2.675 gives 2.675 and
    // 0.1 + 0.2 gives 0.3. NaN, infinities and values outside the range throw
    // std::overflow_error.
    static Money fromDouble(double d);
    // The double nearest to the value (1.0000 gives 1).
    double toDouble() const { return static_cast<double>(raw_) / kScale; }

    // The shortest text: no trailing zeros, no trailing point ("1500", "12.5", "-0.25", "0").
    std::string toString() const;
    // Exactly `decimals` places (0..18), rounded half to even when fewer than four:
    // 1785 -> "1785.00", 0.125 with 2 -> "0.12".
    std::string toFixed(int decimals) const;

    constexpr auto operator<=>(const Money&) const = default;

    // Exact; a result outside the range throws std::overflow_error.
    constexpr Money operator-() const {
        if (raw_ == std::numeric_limits<int64_t>::min())
            throw std::overflow_error("money overflow: negating the smallest value");
        return Money(-raw_);
    }
    friend constexpr Money operator+(Money a, Money b) {
        int64_t r = 0;
        if (__builtin_add_overflow(a.raw_, b.raw_, &r))
            throw std::overflow_error("money overflow: " + a.toString() + " + " + b.toString());
        return Money(r);
    }
    friend constexpr Money operator-(Money a, Money b) {
        int64_t r = 0;
        if (__builtin_sub_overflow(a.raw_, b.raw_, &r))
            throw std::overflow_error("money overflow: " + a.toString() + " - " + b.toString());
        return Money(r);
    }
    constexpr Money& operator+=(Money b) { return *this = *this + b; }
    constexpr Money& operator-=(Money b) { return *this = *this - b; }
    // The exact product rounded half to even to four places: mulDiv(a, b, 1).
    friend Money operator*(Money a, Money b);

  private:
    constexpr explicit Money(int64_t raw) : raw_(raw) {}
    int64_t raw_ = 0;
};

// Writes toString(); test failures and diagnostics read it.
std::ostream& operator<<(std::ostream& out, Money value);

}  // namespace core
