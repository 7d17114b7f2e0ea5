// What every pipe server checks as it starts. A second copy ends quietly
// with exit code 0, as it always has; a server that cannot take its guard
// or serve its pipe says which place and why and ends with 1, so that the
// service and whoever reads its log see a failure and its reason, not a
// clean end.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/pipe/named_mutex.h"
#include "platform/pipe/pipe.h"

namespace platform {

// For a guard this copy does not own: 0 when another copy holds it;
// otherwise 1, after a line on standard error (no log is set up yet) that
// names the place and says why the guard could not be taken.
int GuardExitCode(const NamedMutex& guard, std::string_view name);

// The server's pipe, made once the server runs as whom it serves as. Null
// when the pipe folder cannot be used or the pipe cannot be made, with
// `problem` the line that says which and why (for the server's log).
std::unique_ptr<PipeServer> CreateServerPipe(std::string_view name, size_t maxRequest, std::string& problem);

}  // namespace platform
