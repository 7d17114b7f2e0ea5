// The engine's daily log: every diagnostic line of every thread, stamped
// to the millisecond, to "<protocol>log/YYYYMMDD.log" (-w) and to the
// standard error stream (-v).
#pragma once

#include <string_view>

#include "common/daily_log.h"

namespace engine {

common::DailyLogFile& EngineLog();

// One line; the text carries its own line end. Never fails.
void WriteLog(std::string_view text);
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace engine
