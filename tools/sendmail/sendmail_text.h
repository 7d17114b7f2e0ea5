// The byte-exact pieces of the sender's messages: ISO-2022-JP text, the
// header date, the MIME boundary and the send log.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace sendmail {

// Text in the locale's character set (from the shell) as UTF-8; a C or
// POSIX locale counts as UTF-8.
std::string LocaleToUtf8(std::string_view text);

// UTF-8 text as ISO-2022-JP the way code page 50220 writes it: half-width
// katakana widened, plain ASCII unchanged.
std::string ToIso2022Jp(std::string_view utf8);

// "Thu, 10 Dec 2026 19:00:00 +0900": local standard time and the zone's
// standard offset ("GMT" when it is 0).
std::string FormatMailDate(std::time_t now);

// "----" followed by the Base64 of the date text and the server name.
std::string MakeMimeBoundary(std::string_view dateText, std::string_view smtpServer);

// Appends "[08/Dec/2026:11:41:13] text" to the log file; no log file set, or
// one that cannot be opened, writes nothing.
void WriteSendLog(const std::string& logFile, std::string_view text, std::time_t now);

}  // namespace sendmail
