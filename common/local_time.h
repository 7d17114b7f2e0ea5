// The wall-clock reading that log lines are stamped with, and a clock that
// tests can replace.
#pragma once

#include <functional>

namespace common {

struct LocalTime {
    int year = 1970;
    int month = 1;   // 1-12
    int day = 1;     // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int weekday = 4;            // 0 Sunday - 6 Saturday
    long utcOffsetSeconds = 0;  // east of UTC is positive
};

// The local time now. A changed TZ takes effect at the next call, a changed
// zone file within a second, both without a restart.
LocalTime NowLocal();

using Clock = std::function<LocalTime()>;

// "Jan" .. "Dec" for month 1..12 ("???" outside).
const char* EnglishMonthAbbreviation(int month);

}  // namespace common
