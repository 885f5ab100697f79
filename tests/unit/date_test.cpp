// Dates and times as the import writes and reads them: the text form yyyy/mm/dd, the day
// numbers and time ticks of the database.
#include "core/date.h"

#include <gtest/gtest.h>

#include "core/errors.h"

namespace {

using core::Date;

TEST(DateText, ReadsTheImportsFormAndRefusesTheRest) {
    struct Case {
        const char* text;
        Date expected;  // {} when refused
    } const cases[] = {
        {"2024/01/31", {2024, 1, 31}},
        {" 2024/1/5 ", {2024, 1, 5}},
        {"2024/02/29", {2024, 2, 29}},
        {"2000/02/29", {2000, 2, 29}},
        {"0001/01/01", {1, 1, 1}},
        {"9999/12/31", {9999, 12, 31}},
        {"2023/02/29", {}},
        {"1900/02/29", {}},
        {"2024/13/01", {}},
        {"2024/00/10", {}},
        {"2024/04/31", {}},
        {"2024/01/3.", {}},  // a file name with seven date digits
        {"2024-01-31", {}},
        {"20240/1/1", {}},
        {"2024/01/311", {}},
        {"", {}},
        {"//", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.expected == Date{}) {
            try {
                core::parseDate(c.text);
                ADD_FAILURE() << "accepted";
            } catch (const core::ConversionError& e) {
                EXPECT_EQ(std::string(e.what()),
                          std::string("'") + c.text + "' is not a valid date");
            }
        } else {
            EXPECT_EQ(core::parseDate(c.text), c.expected);
        }
    }
    EXPECT_EQ(core::dateText({2024, 1, 5}), "2024/01/05");
    EXPECT_EQ(core::dateText({1, 2, 3}), "0001/02/03");
}

TEST(DateNumbers, DaysFromTheDatabasesEpochAndTicksOfTheDay) {
    struct Case {
        Date date;
        int32_t days;
    } const cases[] = {
        {{1858, 11, 17}, 0},   {{1858, 11, 16}, -1},      {{1970, 1, 1}, 40587},
        {{2000, 3, 1}, 51604}, {{2024, 2, 29}, 60369},    {{2024, 3, 1}, 60370},
        {{1, 1, 1}, -678575},  {{9999, 12, 31}, 2973483},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(core::dateText(c.date));
        EXPECT_EQ(c.date.toDayNumber(), c.days);
        EXPECT_EQ(Date::fromDayNumber(c.days), c.date);
    }
    EXPECT_EQ((core::Time{13, 5, 9, 42}).toTicks(), 471'090'042u);
    EXPECT_EQ(core::Time::fromTicks(863'999'999), (core::Time{23, 59, 59, 9999}));
    EXPECT_EQ(core::timeText({13, 5, 9, 0}), "13:05:09");
}

}  // namespace
