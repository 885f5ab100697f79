// Today's date and the time of day as the program reads them on Windows: the machine's local
// clock, in its time zone. scripts/windows_check.sh runs this under wine in a zone far from UTC
// and hands over the host's own local time when the run began.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "core/date.h"
#include "platform/system.h"

namespace {

// Seconds since 1858-11-17 of a local date and time.
long long secondsOf(const core::Date& d, const core::Time& t) {
    return d.toDayNumber() * 86400LL + t.hour * 3600 + t.minute * 60 + t.second;
}

TEST(Today, IsTheDateAndTimeOfTheLocalClock) {
    const core::Date today = platform::today();
    const core::Time now = platform::timeOfDay();
    ASSERT_TRUE(today.valid()) << core::dateText(today);
    core::Date hostDate;
    core::Time hostTime;
    if (const char* host = std::getenv("IMPORTARFAC_HOST_LOCAL_TIME")) {
        // "yyyy/mm/dd hh:mm:ss", the host's clock in the zone the run has.
        const std::string text = host;
        hostDate = core::parseDate(text.substr(0, 10));
        hostTime = {std::stoi(text.substr(11, 2)), std::stoi(text.substr(14, 2)),
                    std::stoi(text.substr(17, 2)), 0};
    } else {
        // Run by hand on Windows: the C runtime's own local time.
        const std::time_t t = std::time(nullptr);
        std::tm local{};
        localtime_s(&local, &t);
        hostDate = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
        hostTime = {local.tm_hour, local.tm_min, local.tm_sec, 0};
    }
    const long long ahead = secondsOf(today, now) - secondsOf(hostDate, hostTime);
    EXPECT_GE(ahead, -5) << core::dateText(today) << " " << core::timeText(now) << " vs "
                         << core::dateText(hostDate) << " " << core::timeText(hostTime);
    EXPECT_LE(ahead, 30 * 60) << core::dateText(today) << " " << core::timeText(now) << " vs "
                              << core::dateText(hostDate) << " " << core::timeText(hostTime);
}

}  // namespace
