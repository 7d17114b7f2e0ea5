// The lines with which the engine reports its settings at start.
#pragma once

#include "engine/core/engine_settings.h"

namespace engine {

inline constexpr const char* kEngineNotice = "VELQOR Server proxy engine for Linux";

// Writes the settings log through the daily log, creating the daily log
// folder before its last line.
void WriteSettingsLog(const EngineSettings& settings);

}  // namespace engine
