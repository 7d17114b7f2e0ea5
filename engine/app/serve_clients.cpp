#include "engine/app/startup.h"

#include <atomic>

#include "engine/core/engine_settings.h"
#include "engine/core/engine_stop.h"
#include "engine/listener/listener.h"
#include "engine/tls/tls.h"
#include "platform/process/privilege.h"

namespace engine {

void ServeClients() {
    InitTls();
    static const std::atomic<bool> stop{false};
    // A port below 1024 needs root to bind; nothing after it does.
    AcceptClients({Settings().listenList, Settings().listenPort, &stop, StopSignalDescriptor(),
                   [] { platform::DropToServiceUser(); }});
    if (StopRequested()) FinishStop(Settings());
    CleanupTls();
}

}  // namespace engine
