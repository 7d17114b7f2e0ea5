#include "common/local_time.h"

#include <cstdlib>
#include <ctime>
#include <string>

namespace common {

namespace {

// The local time of one second. Without TZ, every tzset() checks the zone
// file (a stat): once per call that was most of the cost of a log line. The
// zone is read again at each new second, and at once when TZ changes.
struct SecondParts {
    time_t second = -1;
    bool hadZone = false;
    std::string zone;
    tm parts{};

    bool Holds(time_t when, const char* tz) const {
        return when == second && (tz != nullptr) == hadZone && (tz == nullptr || zone == tz);
    }
};

}  // namespace

LocalTime NowLocal() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    thread_local SecondParts cache;
    const char* tz = std::getenv("TZ");
    if (!cache.Holds(now.tv_sec, tz)) {
        tzset();
        localtime_r(&now.tv_sec, &cache.parts);
        cache.second = now.tv_sec;
        cache.hadZone = tz != nullptr;
        cache.zone = tz != nullptr ? tz : "";
    }
    const tm& parts = cache.parts;
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
