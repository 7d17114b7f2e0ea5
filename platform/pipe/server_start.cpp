#include "platform/pipe/server_start.h"

#include <cstdio>

#include "platform/process/privilege.h"
#include "platform/win32_errors.h"

namespace platform {

int GuardExitCode(const NamedMutex& guard, std::string_view name) {
    if (guard.owned() || guard.error() == kErrorAlreadyExists) return 0;
    // The guard's lock file lies in the pipe folder: that folder is the
    // usual reason.
    std::string problem = FolderProblem(PipeDirectory());
    if (problem.empty())
        problem = "cannot take the guard " + PipeDirectory() + "/" + std::string(name) + ".lock: error " +
                  std::to_string(guard.error()) + "\n";
    std::fputs(problem.c_str(), stderr);
    return 1;
}

std::unique_ptr<PipeServer> CreateServerPipe(std::string_view name, size_t maxRequest, std::string& problem) {
    problem = FolderProblem(PipeDirectory());
    if (!problem.empty()) return nullptr;
    int error = 0;
    auto pipe = PipeServer::Create(name, maxRequest, &error);
    if (!pipe)
        problem = "cannot serve the pipe " + PipeSocketPath(name) + ": error " + std::to_string(error) +
                  (error == kErrorPipeBusy ? " (another server serves it)" : "") + "\n";
    return pipe;
}

}  // namespace platform
