// The service's daily log: every line goes to the console, and to
// "<data root>/VELQOR/velqors/YYYYMMDD.log" when the log switch is on.
#pragma once

#include <string>
#include <string_view>

namespace service {

// Sets where the file copy goes and whether there is one; with the switch
// on, the folder is made (with every missing level) at once.
void ConfigureServiceLog(const std::string& folder, bool toFile);

// One entry "[hh:mm:ss] text". The text carries its own line end; an entry
// without one is continued by the next.
void WriteServiceLog(std::string_view text);

// A console-only line (the stop path's messages never touch the file).
void WriteConsole(std::string_view text);

}  // namespace service
