// The word filter server's log: every line to the console and, with -w, to
// "<data folder>/cwfenglog/YYYYMMDD.log", stamped to the millisecond.
#pragma once

#include <string_view>

#include "common/daily_log.h"

namespace cwfs {

common::DailyLogFile& CwfsLog();

// One line; the text carries its own line end.
void WriteLog(std::string_view text);
// printf-style for lines with fields; the format is always a literal of this
// program, never text from a page, a request or a list file.
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace cwfs
