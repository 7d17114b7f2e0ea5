// "sendmail.ini" in the program folder: the notification mail page writes
// it on every save, the mail sender reads it from its current folder. Lines
// of "key=value" in CP932 with CR LF; the sender takes the text before the
// first "=" as the key, whole and without regard to case, so a key holds
// neither "=" nor a blank.
#pragma once

#include <array>

namespace common {
namespace sendmail_ini {

inline constexpr const char* kFileName = "sendmail.ini";

// 0: IPv4, anything else IPv6. The page always writes 0.
inline constexpr const char* kFamily = "family";
inline constexpr const char* kFrom = "from";
inline constexpr const char* kName = "name";
inline constexpr const char* kCharset = "charset";
inline constexpr const char* kSmtpServer = "smtpserver";
inline constexpr const char* kPort = "port";
// SMTP authentication on or off.
inline constexpr const char* kEsmtp = "esmtp";
inline constexpr const char* kAuthId = "authid";
inline constexpr const char* kAuthPass = "authpass";
inline constexpr const char* kSsl = "ssl";
// The page always writes 0.
inline constexpr const char* kDebug = "debug";
// The page's recipients: the sender passes the line over, it takes its
// recipients from its command line.
inline constexpr const char* kTo = "to";
// Seconds the sender waits for the server: the page never writes it.
inline constexpr const char* kTimeout = "timeout";

inline constexpr std::array kAllKeys = {kFamily,   kFrom,     kName, kCharset, kSmtpServer, kPort,   kEsmtp,
                                        kAuthId,   kAuthPass, kSsl,  kDebug,   kTo,         kTimeout};

// The charset the page always writes and the sender's own when the file
// has none: only the name the mail's headers carry.
inline constexpr const char* kCharsetName = "iso-2022-jp";

}  // namespace sendmail_ini
}  // namespace common
