#include "engine/core/startup.h"

#include <atomic>

#include "engine/core/engine_settings.h"
#include "engine/core/engine_stop.h"
#include "engine/listener/listener.h"
#include "engine/tls/tls.h"

namespace engine {

void ServeClients() {
    InitTls();
    static const std::atomic<bool> stop{false};
    AcceptClients({Settings().listenList, Settings().listenPort, &stop, StopSignalDescriptor()});
    if (StopRequested()) FinishStop(Settings());
    CleanupTls();
}

}  // namespace engine
