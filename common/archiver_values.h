// The archiving server's settings in the product's registry key, each value
// with the default used when it is missing: the settings pages show and
// write them, the service hands them to the server when it starts it.
#pragma once

#include "common/setting_value.h"

namespace common {
namespace archiver_value {

inline constexpr TextValue kExtension{"TQXEtend", "ZIP"};
inline constexpr TextValue kSmtpServer{"TQXSmtp", ""};
inline constexpr DwordValue kSmtpPort{"TQXSmtpPort", 25};
inline constexpr DwordValue kEsmtp{"TQXESmtp", 0};
inline constexpr TextValue kAuthId{"TQXSmtpAuthID", ""};
inline constexpr TextValue kAuthPassword{"TQXSmtpAuthPW", ""};
inline constexpr TextValue kUniquePassword{"TQXUniqPW", ""};
inline constexpr DwordValue kLog{"TQXLog", 0};
inline constexpr DwordValue kIpVersion{"TQXIPversion", 0};
inline constexpr DwordValue kRetryTime{"TQXRetryTime", 120};
inline constexpr DwordValue kUnitZip{"TQXUnitZIP", 1};
inline constexpr DwordValue kEnvelopeFromType{"TQXEnvFromType", 0};
inline constexpr TextValue kEnvelopeFromAddress{"TQXEnvFromAddr", ""};
inline constexpr DwordValue kEnvelopeTo{"TQXEnvTo", 0};
inline constexpr DwordValue kToHead{"TQXToHead", 0};
inline constexpr DwordValue kToHeadCount{"TQXToHeadCount", 1};
inline constexpr DwordValue kCcHead{"TQXCcHead", 0};
inline constexpr DwordValue kCcHeadCount{"TQXCcHeadCount", 0};
inline constexpr DwordValue kLevel{"TQXLevel", 0};

}  // namespace archiver_value
}  // namespace common
