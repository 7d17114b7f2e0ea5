// The daily log of the two watchers: every line goes to the console, and
// with the log switch also to "<log folder>/YYYYMMDD.log" (whose name the
// console shows first). One line at a time for the whole program.
#pragma once

#include <string>
#include <string_view>

namespace watch {

// Sets where the file copy goes and whether it is written.
void ConfigureFileLog(const std::string& folder, bool toFile);

// Writes "[hh:mm:ss] text"; the text carries its own line end.
void WriteFileLog(std::string_view text);

// printf-style convenience over WriteFileLog.
void LogF(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace watch
