#include "core/money.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "core/errors.h"

using core::Money;

namespace {

constexpr int64_t kMaxRaw = std::numeric_limits<int64_t>::max();
constexpr int64_t kMinRaw = std::numeric_limits<int64_t>::min();

Money m(const char* text) {
    return Money::parse(text);
}
Money raw(int64_t r) {
    return Money::fromRaw(r);
}

// The message a refused text must carry, or "" when it was not refused.
std::string parseFailure(const std::string& text) {
    try {
        Money::parse(text);
    } catch (const core::ConversionError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(MoneyInvoiceLine, PriceVatAndTotal) {
    // price = A truncated, VAT = A x r / 100 to a whole number (half to even), total = sum.
    struct Case {
        const char* amount;
        const char* rate;
        const char* price;
        const char* vat;
        const char* total;
    } cases[] = {
        {"1234.56", "19", "1234", "235", "1469"},  // VAT 234.5664
        {"150", "19", "150", "28", "178"},         // 28.5 -> even 28
        {"250", "19", "250", "48", "298"},         // 47.5 -> even 48
        {"1500", "19", "1500", "285", "1785"},
        {"1234.99", "19", "1234", "235", "1469"},  // VAT from A (234.6481), not the price
        {"0.00", "19", "0", "0", "0"},
        {" 0", "19", "0", "0", "0"},
        {"1500", "0", "1500", "0", "1500"},
        {"-150", "19", "-150", "-28", "-178"},  // halves are symmetric about zero
        {"-250", "19", "-250", "-48", "-298"},
        {"-1.5", "19", "-1", "0", "-1"},
        // 7.8945 x 19 / 100 = 1.499955: four decimals first would give 1.5 and then 2.
        {"7.8945", "19", "7", "1", "8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.amount) + " at " + c.rate);
        const Money a = m(c.amount);
        const Money price = a.truncated();
        const Money vat = Money::mulDiv(a, m(c.rate), Money::fromInt(100), 0);
        EXPECT_EQ(price, m(c.price));
        EXPECT_EQ(vat, m(c.vat));
        EXPECT_EQ(price + vat, m(c.total));
    }
}

TEST(MoneyMulDiv, RoundsOnceHalfToEven) {
    struct Case {
        const char* a;
        const char* b;
        const char* c;
        int decimals;
        const char* expected;
    } cases[] = {
        {"500", "2.5", "100", 4, "12.5"},  // CREE: (595 - 95) x 2.5 / 100
        {"0.0001", "0.5", "1", 4, "0"},    // 0.00005 -> even 0
        {"0.0003", "0.5", "1", 4, "0.0002"},
        {"-0.0003", "0.5", "1", 4, "-0.0002"},
        {"0.0003", "0.5", "-1", 4, "-0.0002"},
        {"1", "1", "3", 4, "0.3333"},
        {"2", "1", "3", 4, "0.6667"},
        {"-2", "1", "3", 4, "-0.6667"},
        {"2", "1", "3", 2, "0.67"},
        {"0.125", "1", "1", 2, "0.12"},
        {"0.135", "1", "1", 2, "0.14"},
        // 274.9996 / 10 = 27.49996: one rounding gives 27, two (27.5, then even) would give 28.
        {"274.9996", "1", "10", 0, "27"},
        {"274.9996", "1", "10", 4, "27.5"},
        {"274.9996", "1", "10", 1, "27.5"},
        {"2.5001", "1", "1", 0, "3"},
        {"3.5", "1", "1", 0, "4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " * " + c.b + " / " + c.c + " to " +
                     std::to_string(c.decimals));
        EXPECT_EQ(Money::mulDiv(m(c.a), m(c.b), m(c.c), c.decimals), m(c.expected));
    }
}

TEST(MoneyMulDiv, ExactBeyondSixtyFourBits) {
    // The intermediate product needs 128 bits; the result fits.
    EXPECT_EQ(Money::mulDiv(raw(kMaxRaw), m("1000"), m("1000")), raw(kMaxRaw));
    EXPECT_EQ(Money::mulDiv(raw(kMinRaw), raw(kMinRaw), raw(kMinRaw)), raw(kMinRaw));
    EXPECT_EQ(Money::mulDiv(raw(kMaxRaw), m("19"), m("100"), 0), m("175244068700241"));
}

TEST(MoneyMulDiv, Failures) {
    EXPECT_THROW(Money::mulDiv(m("1"), m("1"), Money()), std::domain_error);
    EXPECT_THROW(Money::mulDiv(raw(kMaxRaw), m("2"), m("1")), std::overflow_error);
    EXPECT_THROW(Money::mulDiv(raw(kMinRaw), m("-1"), m("1")), std::overflow_error);
    // The rounding itself may carry past the range.
    EXPECT_THROW(Money::mulDiv(raw(kMaxRaw), m("1"), m("1"), 0), std::overflow_error);
    EXPECT_THROW(Money::mulDiv(m("1"), m("1"), m("1"), 5), std::invalid_argument);
    EXPECT_THROW(Money::mulDiv(m("1"), m("1"), m("1"), -1), std::invalid_argument);
}

TEST(MoneyProduct, RoundsHalfToEvenToFourDecimals) {
    EXPECT_EQ(m("1234.56") * m("19"), m("23456.64"));
    EXPECT_EQ(m("0.0001") * m("0.5"), Money());
    EXPECT_EQ(m("0.0003") * m("0.5"), m("0.0002"));
    EXPECT_EQ(m("-1.5") * m("1.5"), m("-2.25"));
    EXPECT_THROW(raw(kMaxRaw) * m("1.0001"), std::overflow_error);
}

TEST(MoneyRounding, TruncatedAndHalfEven) {
    struct Case {
        const char* value;
        const char* truncated;
        const char* whole;  // roundedHalfEven()
        const char* twoPlaces;
    } cases[] = {
        {"1234.99", "1234", "1235", "1234.99"},
        {"1234.56", "1234", "1235", "1234.56"},
        {"28.5", "28", "28", "28.5"},
        {"47.5", "47", "48", "47.5"},
        {"2.5", "2", "2", "2.5"},
        {"-2.5", "-2", "-2", "-2.5"},
        {"-3.5", "-3", "-4", "-3.5"},
        {"-1.5", "-1", "-2", "-1.5"},
        {"-0.9999", "0", "-1", "-1"},
        {"2.4999", "2", "2", "2.5"},
        {"0.005", "0", "0", "0"},
        {"0.015", "0", "0", "0.02"},
        {"0.0251", "0", "0", "0.03"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(m(c.value).truncated(), m(c.truncated));
        EXPECT_EQ(m(c.value).roundedHalfEven(), m(c.whole));
        EXPECT_EQ(m(c.value).roundedHalfEven(2), m(c.twoPlaces));
        EXPECT_EQ(m(c.value).roundedHalfEven(4), m(c.value));
    }
    EXPECT_EQ(raw(kMinRaw).truncated(), raw(kMinRaw / 10000 * 10000));
    EXPECT_THROW(raw(kMaxRaw).roundedHalfEven(), std::overflow_error);
    EXPECT_THROW(m("1").roundedHalfEven(5), std::invalid_argument);
}

TEST(MoneyParse, AcceptedForms) {
    struct Case {
        const char* text;
        int64_t raw;
    } cases[] = {
        {"1500", 15000000},
        {"1234.56", 12345600},
        {" 0", 0},
        {"0.00", 0},
        {"-3.5", -35000},
        {"+3.5", 35000},
        {".5", 5000},
        {"5.", 50000},
        {"-.5", -5000},
        {"-0", 0},
        {"  12.5  ", 125000},
        {"\t7\r\n", 70000},
        {"007.0100", 70100},
        {"0.0001", 1},
        {"-0.0001", -1},
        // More than four decimals: rounded once, half to even, from all the digits.
        {"0.00005", 0},
        {"0.00015", 2},
        {"0.000050001", 1},
        {"0.00004999999", 0},
        {"1.23456789", 12346},
        {"-1.23455", -12346},
        {"-1.23445", -12344},
        {"2.6749999999999998", 26750},
        {"922337203685477.5807", kMaxRaw},
        {"-922337203685477.5808", kMinRaw},
        {"922337203685477.58074999", kMaxRaw},
        {"000000000000000000000000000001", 10000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Money::parse(c.text).raw(), c.raw);
        EXPECT_EQ(Money::tryParse(c.text), Money::fromRaw(c.raw));
    }
}

TEST(MoneyParse, RefusedFormsNameTheText) {
    const char* cases[] = {
        "",
        "   ",
        ".",
        "-",
        "+",
        "-.",
        "1,5",
        "1e3",
        "12abc",
        "1 000",
        "- 5",
        "--5",
        "+-5",
        "5-",
        "1.2.3",
        "0x10",
        "\xA0"
        "5",                      // a Windows-1252 no-break space is not a blank
        "922337203685477.5808",   // one past the largest
        "-922337203685477.5809",  // one past the smallest
        "922337203685477.58075",  // rounds up past the largest
        "99999999999999999999999999999",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parseFailure(text),
                  "'" + std::string(text) + "' is not a valid floating point value");
        EXPECT_FALSE(Money::tryParse(text).has_value());
    }
    EXPECT_EQ(parseFailure(" 1,5 "), "' 1,5 ' is not a valid floating point value");
}

TEST(MoneyArithmetic, ExactSumsAndOverflow) {
    EXPECT_EQ(m("0.1") + m("0.2"), m("0.3"));
    EXPECT_EQ(m("1234") + m("235"), m("1469"));
    EXPECT_EQ(m("595") - m("95"), m("500"));
    EXPECT_EQ(-m("2.5"), m("-2.5"));
    Money total;
    for (int i = 0; i < 10; ++i) total += m("0.1");
    EXPECT_EQ(total, m("1"));
    total -= m("1.5");
    EXPECT_EQ(total, m("-0.5"));

    EXPECT_EQ(raw(kMaxRaw - 1) + raw(1), raw(kMaxRaw));
    EXPECT_EQ(raw(kMinRaw + 1) - raw(1), raw(kMinRaw));
    EXPECT_THROW(raw(kMaxRaw) + raw(1), std::overflow_error);
    EXPECT_THROW(raw(kMinRaw) - raw(1), std::overflow_error);
    EXPECT_THROW(raw(kMinRaw) + raw(-1), std::overflow_error);
    EXPECT_THROW(raw(-2) - raw(kMaxRaw), std::overflow_error);
    EXPECT_THROW(-raw(kMinRaw), std::overflow_error);
    EXPECT_EQ(-raw(kMaxRaw), raw(kMinRaw + 1));
}

TEST(MoneyArithmetic, Comparisons) {
    EXPECT_LT(m("-0.0001"), Money());
    EXPECT_LT(m("1234.56"), m("1234.5601"));
    EXPECT_GT(m("2"), m("1.9999"));
    EXPECT_EQ(m("1.50"), m("1.5"));
    EXPECT_NE(m("1.5"), m("-1.5"));
    EXPECT_EQ(Money::fromInt(19), m("19"));
}

TEST(MoneyConversion, FromIntLimits) {
    EXPECT_EQ(Money::fromInt(922337203685477).raw(), 9223372036854770000);
    EXPECT_EQ(Money::fromInt(-922337203685477).raw(), -9223372036854770000);
    EXPECT_THROW(Money::fromInt(922337203685478), std::overflow_error);
    EXPECT_THROW(Money::fromInt(-922337203685478), std::overflow_error);
}

TEST(MoneyText, ShortestAndFixedForms) {
    struct Case {
        int64_t raw;
        const char* shortest;
        const char* twoPlaces;
    } cases[] = {
        {15000000, "1500", "1500.00"},
        {125000, "12.5", "12.50"},
        {-2500, "-0.25", "-0.25"},
        {0, "0", "0.00"},
        {1, "0.0001", "0.00"},
        {-1, "-0.0001", "0.00"},  // rounds to zero: no "-0.00"
        {-50, "-0.005", "0.00"},  // half to even
        {-150, "-0.015", "-0.02"},
        {17850000, "1785", "1785.00"},
        {12345600, "1234.56", "1234.56"},
        {100000, "10", "10.00"},
        {kMaxRaw, "922337203685477.5807", "922337203685477.58"},
        {kMinRaw, "-922337203685477.5808", "-922337203685477.58"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shortest);
        EXPECT_EQ(raw(c.raw).toString(), c.shortest);
        EXPECT_EQ(raw(c.raw).toFixed(2), c.twoPlaces);
        EXPECT_EQ(Money::parse(raw(c.raw).toString()), raw(c.raw));
    }
    EXPECT_EQ(m("1785").toFixed(0), "1785");
    EXPECT_EQ(m("2.5").toFixed(0), "2");
    EXPECT_EQ(m("1.23").toFixed(4), "1.2300");
    EXPECT_EQ(m("1.23").toFixed(8), "1.23000000");
    EXPECT_EQ(m("-0.0001").toFixed(5), "-0.00010");
    EXPECT_THROW(m("1").toFixed(-1), std::invalid_argument);
}

TEST(MoneyConversion, DatabaseDecimals) {
    struct Case {
        int64_t value;
        int scale;
        const char* money;
    } cases[] = {
        {1500, 0, "1500"},          {-1500, 0, "-1500"},
        {123456, 2, "1234.56"},     {-25, 2, "-0.25"},
        {12345600, 4, "1234.56"},   {-1, 4, "-0.0001"},
        {123456789, 8, "1.2346"},  // a decimal(15,8) factor
        {-123456789, 8, "-1.2346"}, {100000000, 8, "1"},
        {50000, 8, "0.0005"},       {5000, 8, "0"},  // 0.00005: half to even
        {15000, 8, "0.0002"},                        // 0.00015
        {-15000, 8, "-0.0002"},     {5001, 8, "0.0001"},
        {kMaxRaw, 18, "9.2234"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " scale " + std::to_string(c.scale));
        EXPECT_EQ(Money::fromScaled(c.value, c.scale), m(c.money));
    }

    struct Back {
        const char* money;
        int scale;
        int64_t value;
    } backs[] = {
        {"1234.56", 2, 123456},
        {"0.125", 2, 12},  // storing into a decimal(15,2) column: half
                           // to even
        {"0.135", 2, 14},
        {"-0.125", 2, -12},
        {"-0.135", 2, -14},
        {"1234.5664", 2, 123457},
        {"12.5", 0, 12},
        {"13.5", 0, 14},
        {"1234.5664", 4, 12345664},
        {"1.2346", 8, 123460000},
        {"-1", 18, -1000000000000000000},
    };
    for (const Back& b : backs) {
        SCOPED_TRACE(std::string(b.money) + " scale " + std::to_string(b.scale));
        EXPECT_EQ(m(b.money).toScaled(b.scale), b.value);
    }

    EXPECT_EQ(Money::fromScaled(922337203685477, 0).raw(), 9223372036854770000);
    EXPECT_THROW(Money::fromScaled(922337203685478, 0), std::overflow_error);
    EXPECT_THROW(Money::fromScaled(kMinRaw, 2), std::overflow_error);
    EXPECT_EQ(raw(kMaxRaw).toScaled(2), 92233720368547758);
    EXPECT_THROW(m("10").toScaled(18), std::overflow_error);
    EXPECT_THROW(raw(kMaxRaw).toScaled(5), std::overflow_error);
    EXPECT_THROW(Money::fromScaled(1, 19), std::invalid_argument);
    EXPECT_THROW(Money::fromScaled(1, -1), std::invalid_argument);
    EXPECT_THROW(m("1").toScaled(19), std::invalid_argument);
}

TEST(MoneyConversion, Doubles) {
    struct Case {
        double d;
        const char* money;
    } cases[] = {
        {1.0, "1"},
        {2.675, "2.675"},
        {0.1 + 0.2, "0.3"},
        {1234.56, "1234.56"},
        {-1234.56, "-1234.56"},
        {0.00004, "0"},
        {0.00006, "0.0001"},
        {-0.00006, "-0.0001"},
        {19.0, "19"},
        {1.23456789, "1.2346"},
        {0.0, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.money);
        EXPECT_EQ(Money::fromDouble(c.d), m(c.money));
    }
    for (const char* text : {"1", "2.675", "1234.56", "-0.25", "0.0001", "123456789.1234"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Money::fromDouble(m(text).toDouble()), m(text));
    }
    EXPECT_EQ(m("1.0000").toDouble(), 1.0);
    EXPECT_EQ(m("2.675").toDouble(), 2.675);
    EXPECT_EQ(m("-0.25").toDouble(), -0.25);

    EXPECT_THROW(Money::fromDouble(std::nan("")), std::overflow_error);
    EXPECT_THROW(Money::fromDouble(std::numeric_limits<double>::infinity()), std::overflow_error);
    EXPECT_THROW(Money::fromDouble(-std::numeric_limits<double>::infinity()), std::overflow_error);
    EXPECT_THROW(Money::fromDouble(1e15), std::overflow_error);
    EXPECT_THROW(Money::fromDouble(-1e15), std::overflow_error);
    EXPECT_EQ(Money::fromDouble(9e14), Money::fromInt(900000000000000));
}
