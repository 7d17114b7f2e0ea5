// The body of the service: set-up, the children, and the loop that runs the
// updater at start, on each wake-up pipe connection and on its timer.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace service {

// Runs until StopService is called (true) or a set-up step fails (false).
bool RunService();

// Ends every child and then the run loop; called on the control thread.
void StopService();

// The time between two updater runs for a `Timeout` value in hours; a value
// of 0 or below means the default of 24 hours, and one beyond a hundred
// years is held at that.
std::chrono::milliseconds UpdateInterval(int32_t hours);

// The install folder from the service's image path: the path up to its
// last "/" (one at the very start is not looked at); empty when none.
std::string InstallFolderOf(const std::string& imagePath);

}  // namespace service
