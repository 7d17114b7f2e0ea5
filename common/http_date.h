// The date texts of the engine's own replies and mails, and the reader of
// the dates that HTTP servers send. Both work in local standard time: the
// zone's offset without daylight saving time.
#pragma once

#include <ctime>
#include <string>

namespace common {

// "Sun, 06 Nov 1994 17:49:37 +0900" for the instant t in local standard
// time; the zone is "GMT" when the standard offset is zero, else a sign
// and hhmm (at most 1439 minutes).
std::string FormatRfc822DateOf(std::time_t t);

// The same for the current time, which is also stored in *now when given.
std::string FormatRfc822Date(std::time_t* now = nullptr);

// Reads an HTTP date in any of its three forms,
//   "Sun, 06 Nov 1994 08:49:37 GMT"    (RFC 1123; the weekday may be left out)
//   "Sunday, 06-Nov-94 08:49:37 GMT"   (RFC 850)
//   "Sun Nov  6 08:49:37 1994"         (asctime, always UTC)
// or year first, "1994-11-06 08:49:37 +0000". The zone after the time is
// "GMT", "UTC", "UT", "Z", "+hhmm" or "-hhmm" (none means UTC). On success
// text becomes the instant in local standard time, "1994/11/06 17:49:37",
// and the instant goes to *timeOut when given. Anything else, an unknown
// month name or an impossible day or time included, fails and leaves both
// untouched.
bool ParseHttpDate(std::string& text, std::time_t* timeOut = nullptr);

}  // namespace common
