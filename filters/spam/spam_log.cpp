#include "filters/spam/spam_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "common/format_text.h"

namespace spam {
namespace {

std::string Shown(std::string_view text) {
    std::string shown(text);
    for (size_t at = 0; at < shown.size(); ++at) {
        unsigned char c = static_cast<unsigned char>(shown[at]);
        bool lineEnd = c == '\n' || (c == '\r' && at + 1 < shown.size() && shown[at + 1] == '\n');
        if ((c < 0x20 || c == 0x7f) && c != '\t' && !lineEnd) shown[at] = '?';
    }
    return shown;
}

}  // namespace

common::DailyLogFile& SpamLog() {
    static common::DailyLogFile log(common::DailyLogFile::Stamp::Milliseconds, stdout);
    return log;
}

void WriteLog(std::string_view text) { SpamLog().write(Shown(text)); }

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
    std::fputs(Shown(text).c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace spam
