#include "service/version_banner.h"

#include <cstdio>
#include <cstdlib>

#include "common/local_time.h"
#include "service/service_log.h"
#include "service/service_names.h"

namespace service {

std::string FormatRfc822Date(std::time_t now) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    tzset();
    tm parts{};
    localtime_r(&now, &parts);
    if (daylight && parts.tm_isdst > 0) {
        now -= 3600;
        localtime_r(&now, &parts);
    }
    long eastMinutes = -timezone / 60;
    char zone[8] = "GMT";
    if (eastMinutes != 0) {
        long magnitude = std::labs(eastMinutes);
        if (magnitude > 1439) magnitude = 1439;
        std::snprintf(zone, sizeof zone, "%c%02ld%02ld", eastMinutes > 0 ? '+' : '-', magnitude / 60, magnitude % 60);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%3s, %02d %3s %04d %02d:%02d:%02d %s", kDays[parts.tm_wday % 7], parts.tm_mday,
                  common::EnglishMonthAbbreviation(parts.tm_mon + 1), parts.tm_year + 1900, parts.tm_hour,
                  parts.tm_min, parts.tm_sec, zone);
    return text;
}

void PrintVersionBanner(bool debug) {
    if (!debug) return;
    WriteConsole(std::string(kServiceName) + " " + kVersionText + " \n" + FormatRfc822Date(std::time(nullptr)) + "\n");
}

std::string VersionText() {
    return std::string(kServiceName) + " " + kVersionText + " \n" + kDisplayName + " for Linux.\n\n";
}

}  // namespace service
