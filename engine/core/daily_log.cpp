#include "engine/core/daily_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace engine {

common::DailyLogFile& EngineLog() {
    static common::DailyLogFile log(common::DailyLogFile::Stamp::Milliseconds, stderr);
    return log;
}

void WriteLog(std::string_view text) { EngineLog().write(text); }

void WriteLogF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(length));
    }
    va_end(again);
    WriteLog(text);
}

}  // namespace engine
