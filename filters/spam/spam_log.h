// The spam check server's log: every line to the console, and with -w also
// to "<data folder>/spamenglog/YYYYMMDD.log", stamped to the millisecond.
#pragma once

#include <string_view>

#include "common/daily_log.h"

namespace spam {

common::DailyLogFile& SpamLog();

// One line; the text carries its own line end. Control bytes other than
// TAB and line ends show as "?": senders, hosts and header values come
// from outside and must not rewrite a console line.
void WriteLog(std::string_view text);
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// To the console alone (the pass-list note), in its order among the lines.
void WriteConsoleF(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace spam
