// The proxies' settings in the product's registry key that the settings
// pages write and the service reads when it starts each proxy, each with
// the default used when it is missing. Values only the service reads stay
// in its start table.
#pragma once

#include "common/setting_value.h"

namespace common {

namespace http_value {

inline constexpr DwordValue kOn{"http", 0};
inline constexpr DwordValue kLog{"httplog", 0};
inline constexpr DwordValue kMaxConnections{"httpmaxconn", 0};
inline constexpr DwordValue kIpVersion{"httpipverstion", 0};
inline constexpr DwordValue kCacheExpire{"httpcacheexpire", 0};
// Credentials asked for (on unless switched off) and where the users come
// from (0: the page's own list, 1: the LDAP directory).
inline constexpr DwordValue kAuth{"httpproxyauth", 1};
inline constexpr DwordValue kAuthType{"httpproxyauthtype", 0};
// The content rating: on or off, then each category's highest level.
inline constexpr DwordValue kPicsUse{"pics_use", 0};
inline constexpr DwordValue kPicsNudity{"pics_nude", 4};
inline constexpr DwordValue kPicsSex{"pics_sex", 4};
inline constexpr DwordValue kPicsViolence{"pics_violence", 4};
inline constexpr DwordValue kPicsLanguage{"pics_language", 4};
inline constexpr DwordValue kPicsOther{"pics_other", 3};
inline constexpr DwordValue kPicsCommunication{"pics_communication", 2};

}  // namespace http_value

namespace ftp_value {

inline constexpr DwordValue kOn{"ftp", 0};
inline constexpr DwordValue kLog{"ftplog", 0};
inline constexpr DwordValue kMaxConnections{"ftpmaxconn", 0};
inline constexpr DwordValue kIpVersion{"ftpipverstion", 0};
inline constexpr DwordValue kCacheExpire{"ftpcacheexpire", 0};
// The data connections' ports (the web proxy's FTP side uses them too).
inline constexpr DwordValue kPortStart{"ftpportstartrenge", 0};
inline constexpr DwordValue kPortEnd{"ftpportendrenge", 0};

}  // namespace ftp_value

namespace socks_value {

inline constexpr DwordValue kOn{"socks", 0};
inline constexpr DwordValue kLog{"sockslog", 0};
inline constexpr DwordValue kMaxConnections{"socksmaxconn", 0};
inline constexpr DwordValue kIpVersion{"socksipverstion", 0};
inline constexpr DwordValue kCacheExpire{"sockscacheexpire", 0};
inline constexpr DwordValue kPortStart{"socksportstartrenge", 0};
inline constexpr DwordValue kPortEnd{"socksportendrenge", 0};
// 0: v4 and v5, 1: v4 only, 2: v5 only.
inline constexpr DwordValue kType{"sockstype", 0};
inline constexpr DwordValue kAuth{"socksproxyauth", 1};
inline constexpr DwordValue kAuthType{"socksproxyauthtype", 0};

}  // namespace socks_value

namespace smtp_value {

inline constexpr DwordValue kOn{"smtp", 0};
inline constexpr DwordValue kLog{"smtplog", 0};
inline constexpr DwordValue kMaxConnections{"smtpmaxconn", 0};
inline constexpr DwordValue kIpVersion{"smtpipverstion", 0};
inline constexpr DwordValue kSpamReject{"smtpspamreject", 0};
// A copy of every mail kept in a folder.
inline constexpr DwordValue kMailBackup{"smtpmailbackup", 0};
inline constexpr TextValue kBackupFolder{"smtpbackupfolder", ""};

}  // namespace smtp_value

namespace pop3_value {

inline constexpr DwordValue kOn{"pop3", 0};
inline constexpr DwordValue kLog{"pop3log", 0};
inline constexpr DwordValue kMaxConnections{"pop3maxconn", 0};
inline constexpr DwordValue kIpVersion{"pop3ipverstion", 0};
// What becomes of an infected mail's body.
inline constexpr DwordValue kVirusBody{"pop3virusbody", 0};

}  // namespace pop3_value
}  // namespace common
