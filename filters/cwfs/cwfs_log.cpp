#include "filters/cwfs/cwfs_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace cwfs {

common::DailyLogFile& CwfsLog() {
    static common::DailyLogFile log(common::DailyLogFile::Stamp::Milliseconds, stdout);
    return log;
}

void WriteLog(std::string_view text) { CwfsLog().write(text); }

void WriteLogF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    WriteLog(text);
}

}  // namespace cwfs
