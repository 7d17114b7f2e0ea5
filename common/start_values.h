// The settings in the product's registry key that the settings pages write
// and the service reads when it starts the scan server, the spam check, the
// watchers and the updater, each with the default used when it is missing,
// and the data root every program finds its data folder by. The archiving
// server's are in archiver_values.h.
#pragma once

#include "common/setting_value.h"

namespace common {

// The name of the environment variable whose value is the data root: the
// service hands it to every child as -e, the panel and the backup tool look
// it up themselves.
inline constexpr TextValue kDataRootVariable{"workenv", "ALLUSERSPROFILE"};

namespace scan_value {

// 1: the service starts the scan server (and waits for it to answer).
inline constexpr DwordValue kScanMode{"scanmode", 0};
inline constexpr DwordValue kLog{"enginelog", 1};

}  // namespace scan_value

namespace spam_value {

inline constexpr DwordValue kCheck{"spamcheck", 1};
inline constexpr TextValue kTag{"spamtag", "[SPAM]"};
inline constexpr DwordValue kLog{"spamenglog", 0};
inline constexpr DwordValue kSpf{"spamspf1", 0};
inline constexpr DwordValue kDate{"spamdate", 0};

}  // namespace spam_value

namespace watch_value {

// The program watcher: on or off, its log and its round in minutes.
inline constexpr DwordValue kProcess{"process", 1};
inline constexpr DwordValue kProcessLog{"processlog", 0};
inline constexpr TextValue kProcessTime{"processtime", "30"};
// The folder watcher: on or off, its log and the places it watches.
inline constexpr DwordValue kFolder{"folder", 1};
inline constexpr DwordValue kFolderLog{"folderlog", 0};
inline constexpr TextValue kDrivePath{"drivepath", "/"};

}  // namespace watch_value

namespace update_value {

// The updater's round in hours. One value whose two readers differ on a
// missing one: the service runs the updater once a day, the settings page
// shows 1 (and writes it on Apply).
inline constexpr DwordValue kHours{"Timeout", 24};
inline constexpr DwordValue kHoursOnPage{kHours.name, 1};
inline constexpr DwordValue kLog{"LogEnabled", 0};
// The proxy the updater and the panel's version check fetch through, when
// it is on.
inline constexpr DwordValue kProxyUsed{"ProxyServerUsed", 0};
inline constexpr TextValue kProxyName{"ProxyServerName", ""};
inline constexpr DwordValue kProxyPort{"ProxyServerPort", 8080};

}  // namespace update_value
}  // namespace common
