#include "engine/app/startup.h"

#include <atomic>

#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/engine_stop.h"
#include "engine/listener/listener.h"
#include "engine/tls/tls.h"
#include "platform/process/privilege.h"

namespace engine {

namespace {

bool g_foldersUsable = true;

// A port below 1024 needs root to bind; nothing after it does. Whom the
// engine has become must be able to write every spool file, or each
// request would get an error page instead of its answer.
bool LeaveRoot() {
    platform::DropToServiceUser();
    for (const std::string& folder : WorkFolders()) {
        const std::string problem = platform::FolderProblem(folder);
        if (!problem.empty()) {
            // Whatever -v and -w say, the administrator must see why.
            const std::string line = "[AcceptClients] " + problem;
            WriteLog(line);
            if (!EngineLog().toConsole()) WriteConsole(line);
            return g_foldersUsable = false;
        }
    }
    return true;
}

}  // namespace

bool ServeClients() {
    InitTls();
    static const std::atomic<bool> stop{false};
    AcceptClients({Settings().listenList, Settings().listenPort, &stop, StopSignalDescriptor(), LeaveRoot});
    if (StopRequested()) FinishStop(Settings());
    CleanupTls();
    return g_foldersUsable;
}

}  // namespace engine
