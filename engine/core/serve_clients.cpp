#include "engine/core/startup.h"

namespace engine {

// The listener is not there yet: the engine ends after its settings log.
void ServeClients() {}

}  // namespace engine
