#include "core/date.h"

#include <cstdio>

#include "core/errors.h"

namespace core {
namespace {

bool leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : days[m - 1];
}

// Days from 1970-01-01 (proleptic Gregorian), after H. Hinnant's days_from_civil.
int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Date civilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return Date{static_cast<int>(yoe + era * 400 + (m <= 2)), m, d};
}

const int64_t kEpochOffset = daysFromCivil(1858, 11, 17);

bool readNumber(std::string_view s, size_t& pos, size_t maxDigits, int& out) {
    size_t start = pos;
    int v = 0;
    while (pos < s.size() && pos - start < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
        v = v * 10 + (s[pos] - '0');
        ++pos;
    }
    out = v;
    return pos > start;
}

}  // namespace

bool Date::valid() const {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= daysInMonth(year, month);
}

int32_t Date::toDayNumber() const {
    return static_cast<int32_t>(daysFromCivil(year, month, day) - kEpochOffset);
}

Date Date::fromDayNumber(int32_t days) {
    return civilFromDays(days + kEpochOffset);
}

uint32_t Time::toTicks() const {
    return static_cast<uint32_t>(((hour * 60 + minute) * 60 + second) * 10000 + fraction);
}

Time Time::fromTicks(uint32_t ticks) {
    Time t;
    t.fraction = static_cast<int>(ticks % 10000);
    uint32_t s = ticks / 10000;
    t.second = static_cast<int>(s % 60);
    t.minute = static_cast<int>(s / 60 % 60);
    t.hour = static_cast<int>(s / 3600);
    return t;
}

std::string dateText(const Date& d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", d.year, d.month, d.day);
    return buf;
}

Date parseDate(std::string_view text) {
    std::string_view s = text;
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    Date d;
    size_t pos = 0;
    bool ok = readNumber(s, pos, 4, d.year) && pos < s.size() && s[pos++] == '/' &&
              readNumber(s, pos, 2, d.month) && pos < s.size() && s[pos++] == '/' &&
              readNumber(s, pos, 2, d.day) && pos == s.size() && d.valid();
    if (!ok) throw ConversionError("'" + std::string(text) + "' is not a valid date");
    return d;
}

std::string timeText(const Time& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

}  // namespace core
