// Setting a buffer column from the program's types and reading it back: widths, empty
// values, refused texts, the rounding of money into fewer decimals, and the generic copy.
#include "records/conversions.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/errors.h"

namespace {

using fb::Value;
using records::FieldDef;

// What a setting gives: the stored value, or the conversion's message when it is refused.
struct Outcome {
    std::optional<Value> value;
    std::string error;
};

template <class F>
Outcome outcomeOf(F set) {
    try {
        return {set(), ""};
    } catch (const core::ConversionError& e) {
        return {std::nullopt, e.what()};
    }
}

std::string describe(const Outcome& o) {
    if (!o.value) return "error: " + o.error;
    if (o.value->isNull()) return "NULL";
    return "kind " + std::to_string(static_cast<int>(o.value->kind)) + " '" + o.value->asText() +
           "' scale " + std::to_string(o.value->scale);
}

Outcome refused(const std::string& message) {
    return {std::nullopt, message};
}
Outcome stored(Value v) {
    return {v, ""};
}

TEST(ConversionsFromText, FollowTheColumnType) {
    const std::string name70(70, 'n');
    struct Case {
        FieldDef field;
        std::string text;
        Outcome expected;
    } cases[] = {
        // Text is cut to the column's width.
        {records::text("FACT_NOMCLIENTE", 60), name70, stored(Value::ofText(std::string(60, 'n')))},
        {records::text("PREF_PRE", 4), "AB01", stored(Value::ofText("AB01"))},
        {records::fixedText("FACT_IVAINC", 1), "NO", stored(Value::ofText("N"))},
        {records::textBlob("FACT_OBS"), name70, stored(Value::ofText(name70))},
        // An empty text leaves any column empty.
        {records::text("FACT_USUARIO", 10), "", stored(Value())},
        {records::integer("VEND_COD"), "", stored(Value())},
        {records::decimal("FACT_RTCREE", 15, 4), "", stored(Value())},
        {records::integer("LIPR_COD"), "  ", stored(Value())},
        {records::date("FACT_VENCE"), "", stored(Value())},
        // Numbers.
        {records::integer("VEND_COD"), "7", stored(Value::ofInt(7))},
        {records::integer("VEND_COD"), " -7 ", stored(Value::ofInt(-7))},
        {records::decimal("FACT_RTCREE", 15, 4), "2.5", stored(Value::ofDecimal(25000, 4))},
        {records::decimal("FADE_PRUNIT", 15, 2), "12.345", stored(Value::ofDecimal(1234, 2))},
        {records::decimal("FADE_PRUNIT", 15, 2), "12.355", stored(Value::ofDecimal(1236, 2))},
        {records::doubleField("FACT_TRM"), "1", stored(Value::ofDouble(1))},
        // Texts that are not numbers or dates are refused with the conversion's message.
        {records::integer("VEND_COD"), "abc", refused("'abc' is not a valid integer value")},
        {records::integer("VEND_COD"), "12.5", refused("'12.5' is not a valid integer value")},
        {records::smallInt("FACT_ESTADO"), "40000",
         refused("'40000' is not a valid integer value")},
        {records::decimal("FACT_TOTAL", 15, 2), "1,5",
         refused("'1,5' is not a valid floating point value")},
        {records::doubleField("FACT_FACTOR"), "uno",
         refused("'uno' is not a valid floating point value")},
        {records::date("FACT_FECHA"), "2024/01/31", stored(Value::ofDate({2024, 1, 31}))},
        {records::date("FACT_FECHA"), "31/01/2024", refused("'31/01/2024' is not a valid date")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field.name + " <- '" + c.text + "'");
        Outcome got = outcomeOf([&] { return records::valueFromText(c.field, c.text); });
        EXPECT_EQ(describe(got), describe(c.expected));
        if (got.value && c.expected.value) {
            EXPECT_EQ(*got.value, *c.expected.value);
        }
    }
}

TEST(ConversionsFromMoney, RoundHalfToEvenIntoFewerDecimals) {
    struct Case {
        FieldDef field;
        const char* money;
        Value expected;
    } cases[] = {
        {records::decimal("FADE_PRUNIT", 15, 2), "12.345", Value::ofDecimal(1234, 2)},
        {records::decimal("FADE_PRUNIT", 15, 2), "12.355", Value::ofDecimal(1236, 2)},
        {records::decimal("FADE_PRUNIT", 15, 2), "-12.345", Value::ofDecimal(-1234, 2)},
        {records::decimal("FADE_PRUNIT", 15, 2), "0.125", Value::ofDecimal(12, 2)},
        {records::decimal("FADE_PRUNIT", 15, 2), "0.1251", Value::ofDecimal(13, 2)},
        {records::decimal("FADE_IVAPORC", 15, 4), "19", Value::ofDecimal(190000, 4)},
        {records::decimal("FACTOR", 15, 8), "1.2346", Value::ofDecimal(123460000, 8)},
        // A double receives the same value.
        {records::doubleField("FACT_FACTOR"), "1.0000", Value::ofDouble(1)},
        {records::doubleField("FACT_FACTOR"), "0.1", Value::ofDouble(0.1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field.name + " <- " + c.money);
        EXPECT_EQ(records::valueFromMoney(c.field, core::Money::parse(c.money)), c.expected);
    }
}

TEST(ConversionsReading, EmptyColumnsReadAsEmptyTextOrZero) {
    // NULL and an empty (or blank, as CHAR pads it) text are the same when read.
    for (const Value& v : {Value(), Value::ofText(""), Value::ofText("   ")}) {
        SCOPED_TRACE("'" + v.text + "'");
        EXPECT_EQ(records::intOf(v), 0);
        EXPECT_EQ(records::moneyOf(v), core::Money());
        EXPECT_EQ(records::doubleOf(v), 0.0);
        EXPECT_EQ(records::dateOf(v), core::Date{});
    }
}

TEST(ConversionsReading, ValuesReadAsTextAndNumbers) {
    EXPECT_EQ(records::textOf(Value()), "");
    EXPECT_EQ(records::textOf(Value::ofDate({2024, 1, 5})), "2024/01/05");
    EXPECT_EQ(records::textOf(Value::ofDouble(1)), "1");  // FACT_TRM 1
    EXPECT_EQ(records::textOf(Value::ofDecimal(100, 2)), "1");
    EXPECT_EQ(records::textOf(Value::ofDecimal(123450, 4)), "12.345");
    EXPECT_EQ(records::textOf(Value::ofInt(4711)), "4711");
    EXPECT_EQ(records::intOf(Value::ofText("17")), 17);
    EXPECT_EQ(records::intOf(Value::ofText("7 ")), 7);
    EXPECT_EQ(records::moneyOf(Value::ofDecimal(1785, 2)), core::Money::parse("17.85"));
    EXPECT_EQ(records::moneyOf(Value::ofText("2.5")), core::Money::parse("2.5"));
    EXPECT_EQ(records::doubleOf(Value::ofDecimal(100, 2)), 1.0);
    EXPECT_EQ(records::dateOf(Value::ofText("2024/02/29")), (core::Date{2024, 2, 29}));
    EXPECT_THROW(records::intOf(Value::ofText("x")), core::ConversionError);
}

TEST(ConversionsGenericCopy, ConvertsToTheTargetColumnType) {
    // The replica copy: each value of the saved header goes into the replica's own type.
    struct Case {
        FieldDef field;
        Value from;
        Value expected;
    } cases[] = {
        {records::decimal("FACT_TRM", 15, 2), Value::ofDouble(1), Value::ofDecimal(100, 2)},
        {records::doubleField("FACT_TRM"), Value::ofDecimal(100, 2), Value::ofDouble(1)},
        {records::decimal("FACT_RTCREE", 15, 4), Value::ofDecimal(25000, 4),
         Value::ofDecimal(25000, 4)},
        {records::decimal("FACT_TOTAL", 15, 2), Value::ofDecimal(178500, 4),
         Value::ofDecimal(1785, 2)},
        {records::decimal("FACTOR", 15, 8), Value::ofDecimal(123456789, 8),
         Value::ofDecimal(123456789, 8)},
        {records::integer("FACT_ID"), Value::ofInt(1001), Value::ofInt(1001)},
        {records::text("PREF_PRE", 4), Value::ofText("AB01X"), Value::ofText("AB01")},
        {records::date("FACT_FECHA"), Value::ofDate({2024, 1, 31}), Value::ofDate({2024, 1, 31})},
        {records::text("FACT_NUMERO", 8), Value::ofInt(20240131), Value::ofText("20240131")},
        {records::text("FACT_USUARIO", 10), Value(), Value()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field.name + " <- " + c.from.asText());
        EXPECT_EQ(records::valueFromValue(c.field, c.from), c.expected);
    }
}

TEST(ConversionsTypeMatch, DeclaredAgainstResultColumns) {
    auto column = [](fb::FieldType t, int scale = 0) {
        fb::ColumnInfo c;
        c.type = t;
        c.scale = scale;
        return c;
    };
    using T = fb::FieldType;
    struct Case {
        FieldDef declared;
        fb::ColumnInfo actual;
        bool matches;
    } cases[] = {
        {records::decimal("FACT_TRM", 15, 2), column(T::Decimal, 2), true},
        {records::decimal("FACT_TRM", 15, 2), column(T::Double), false},
        {records::doubleField("FACT_TRM"), column(T::Decimal, 2), false},
        {records::decimal("FACT_RTCREE", 15, 4), column(T::Decimal, 2), false},
        {records::integer("PTVT_ID"), column(T::Integer), true},
        {records::integer("PTVT_ID"), column(T::VarChar), false},
        {records::smallInt("FACT_ESTADO"), column(T::Integer), false},
        {records::text("PREF_PRE", 4), column(T::VarChar), true},
        {records::fixedText("RPVE_COD", 3), column(T::VarChar), false},
        {records::date("FACT_FECHA"), column(T::Timestamp), true},
        {records::textBlob("FACT_OBS"), column(T::ByteBlob), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.declared.name + " vs " + fb::fieldTypeName(c.actual.type));
        EXPECT_EQ(records::typeMatches(c.declared, c.actual), c.matches);
    }
}

}  // namespace
