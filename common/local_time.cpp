#include "common/local_time.h"

#include <ctime>

namespace common {

LocalTime NowLocal() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tzset();
    tm parts{};
    localtime_r(&now.tv_sec, &parts);
    LocalTime t;
    t.year = parts.tm_year + 1900;
    t.month = parts.tm_mon + 1;
    t.day = parts.tm_mday;
    t.hour = parts.tm_hour;
    t.minute = parts.tm_min;
    t.second = parts.tm_sec;
    t.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    t.weekday = parts.tm_wday;
    t.utcOffsetSeconds = parts.tm_gmtoff;
    return t;
}

const char* EnglishMonthAbbreviation(int month) {
    static const char* const kNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return month >= 1 && month <= 12 ? kNames[month - 1] : "???";
}

}  // namespace common
