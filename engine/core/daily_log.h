// The engine's daily log: every diagnostic line of every thread, stamped
// to the millisecond, to "<protocol>log/YYYYMMDD.log" (-w) and to the
// standard error stream (-v).
#pragma once

#include <string>
#include <string_view>

#include "common/daily_log.h"

namespace engine {

common::DailyLogFile& EngineLog();

// One line; the text carries its own line end. Never fails. Control bytes
// other than TAB, LF and the CR of a CR LF are written as "?": text from
// clients inside a line (a request line with a lone CR, a host name) can
// neither rewrite a console line nor hide bytes in the file. The engine's
// own text holds no other control bytes, and a logged head keeps its lines.
void WriteLog(std::string_view text);
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One line on the console (standard output) alone, control bytes shown as
// in the daily log: for what the administrator watching the engine should
// see whatever -v and -w say.
void WriteConsole(std::string_view text);
void WriteConsoleF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Text from a client for a field of one log line: every control byte but
// TAB, line ends included, as "?", so it can't begin a line of its own.
std::string ClientText(std::string_view text);

}  // namespace engine
