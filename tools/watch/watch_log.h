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

// What both watchers do at start once their options are read: the data
// root from the variable, the log folder (named folderName) in the data
// folder created and shown, the log switched on it. Returns the data root.
std::string StartWatchLog(const std::string& dataRootVariable, const char* folderName, bool toFile);

}  // namespace watch
