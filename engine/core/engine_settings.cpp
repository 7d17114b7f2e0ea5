#include "engine/core/engine_settings.h"

namespace engine {

EngineSettings& Settings() {
    static EngineSettings settings;
    return settings;
}

EngineShared& Shared() {
    static EngineShared shared;
    return shared;
}

}  // namespace engine
