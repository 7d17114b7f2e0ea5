#include "filters/spam/spam_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "common/format_text.h"

namespace spam {
namespace {

bool Hidden(std::string_view text, size_t at) {
    unsigned char c = static_cast<unsigned char>(text[at]);
    bool lineEnd = c == '\n' || (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n');
    return (c < 0x20 || c == 0x7f) && c != '\t' && !lineEnd;
}

std::string Shown(std::string_view text) {
    std::string shown(text);
    for (size_t at = 0; at < shown.size(); ++at)
        if (Hidden(text, at)) shown[at] = '?';
    return shown;
}

}  // namespace

common::DailyLogFile& SpamLog() {
    static common::DailyLogFile log(common::DailyLogFile::Stamp::Milliseconds, stdout);
    return log;
}

void WriteLog(std::string_view text) {
    // Most lines have nothing to hide and go as they are, uncopied.
    for (size_t at = 0; at < text.size(); ++at) {
        if (Hidden(text, at)) {
            SpamLog().write(Shown(text));
            return;
        }
    }
    SpamLog().write(text);
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
    SpamLog().writeUnstamped(Shown(text));
}

}  // namespace spam
