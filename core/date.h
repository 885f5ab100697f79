#pragma once
// Calendar date and time of day, and their text form yyyy/mm/dd used throughout the import.
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace core {

struct Date {
    int year = 0;
    int month = 0;
    int day = 0;
    auto operator<=>(const Date&) const = default;

    bool valid() const;
    // Days since 1858-11-17, the Firebird epoch.
    int32_t toDayNumber() const;
    static Date fromDayNumber(int32_t days);
};

struct Time {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int fraction = 0;  // 1/10,000 s
    auto operator<=>(const Time&) const = default;

    // Firebird's time: 1/10,000 s since midnight.
    uint32_t toTicks() const;
    static Time fromTicks(uint32_t ticks);
};

// "2024/01/31": four-digit year, two-digit month and day.
std::string dateText(const Date& d);
// Reads "yyyy/mm/dd" (blanks around it allowed; month and day may have one digit).
// Anything else, or a day the calendar lacks, throws core::ConversionError
// "'<text>' is not a valid date".
Date parseDate(std::string_view text);
// "13:05:09": the long time form of the error log.
std::string timeText(const Time& t);

}  // namespace core
