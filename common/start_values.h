// The settings in the product's registry key that the settings pages write
// and the service reads when it starts the scan server, the spam check and
// the watchers, each with the default used when it is missing. The
// archiving server's are in archiver_values.h.
#pragma once

#include "common/setting_value.h"

namespace common {

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
}  // namespace common
