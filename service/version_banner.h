// The version lines the service prints.
#pragma once

#include <ctime>
#include <string>

namespace service {

// "Sun, 06 Nov 1994 08:49:37 +0900": the local standard time (daylight
// saving time taken out) and the zone's standard offset, "GMT" for none.
std::string FormatRfc822Date(std::time_t now);

// "VELQORSV2 (2.03) \n<date>\n" in -debug mode; nothing otherwise.
void PrintVersionBanner(bool debug);

// The -version text.
std::string VersionText();

}  // namespace service
