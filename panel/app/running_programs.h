// Whether a program of the suite is running, for the tray and start-up.
#pragma once

#include <string_view>

namespace panel {

// True when no running program of the program folder has this file name
// (ASCII case ignored; a ".exe" ending is dropped).
bool IsProcessAbsent(std::string_view fileName);

}  // namespace panel
