#include "filters/cwfs/cwfs_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "common/format_text.h"

namespace cwfs {

common::DailyLogFile& CwfsLog() {
    static common::DailyLogFile log(common::DailyLogFile::Stamp::Milliseconds, stdout);
    return log;
}

void WriteLog(std::string_view text) { CwfsLog().write(text); }

void WriteLogF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = common::FormatTextV(format, args);
    va_end(args);
    WriteLog(text);
}

}  // namespace cwfs
