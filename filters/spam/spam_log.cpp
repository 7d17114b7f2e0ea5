#include "filters/spam/spam_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "common/format_text.h"

namespace spam {
common::DailyLogFile& SpamLog() {
    static common::DailyLogFile log(common::DailyLogFile::Stamp::Milliseconds, stdout);
    return log;
}

void WriteLog(std::string_view text) {
    std::string copy;
    SpamLog().write(common::ShownInLog(text, copy));
}

void WriteLogF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = common::FormatTextV(format, args);
    va_end(args);
    WriteLog(text);
}

void WriteConsoleF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = common::FormatTextV(format, args);
    va_end(args);
    std::string copy;
    SpamLog().writeUnstamped(common::ShownInLog(text, copy));
}

}  // namespace spam
