// The archiving server's log: every line to the console and, with -w, to the
// daily log file in the sorvantlog folder, under one lock shared by the pipe
// thread and the password-mail sender.
#pragma once

#include <string>
#include <string_view>

namespace archiver {

struct ArchiveSettings;

void SetUpLog(const ArchiveSettings& settings);
// Writes one line; the text carries its own line end.
void LogLine(std::string_view text);
// printf-style convenience for lines with fields; the format is always a
// literal of this program, never text from a mail or a file.
void LogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace archiver
