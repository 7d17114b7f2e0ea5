// The velqors command line: -install, -remove, -debug, -version, or the
// usage text and the service dispatcher.
#pragma once

#include <string>

namespace service {

int ServiceEntry(int argc, char** argv);

// "<message> (0x<code>)" for a Win32 error, as the install and remove
// messages show it.
std::string LastErrorText(int error);

}  // namespace service
