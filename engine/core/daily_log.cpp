#include "engine/core/daily_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "common/format_text.h"

namespace engine {

common::DailyLogFile& EngineLog() {
    static common::DailyLogFile log(common::DailyLogFile::Stamp::Milliseconds, stderr);
    return log;
}

namespace {

// Neither copy is on: the line would be built only to be dropped, which on
// a relay that logs every piece costs more than the relay's own work.
bool LogIsOff() {
    const common::DailyLogFile& log = EngineLog();
    return !log.toConsole() && !log.toFile();
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

}  // namespace

std::string ClientText(std::string_view text) {
    std::string shown(text);
    for (char& c : shown)
        if (IsControl(c) && c != '\t') c = '?';
    return shown;
}

void WriteLog(std::string_view text) {
    if (LogIsOff()) return;
    std::string copy;
    EngineLog().write(common::ShownInLog(text, copy));
}

void WriteLogF(const char* format, ...) {
    if (LogIsOff()) return;
    va_list args;
    va_start(args, format);
    std::string text = common::FormatTextV(format, args);
    va_end(args);
    WriteLog(text);
}

void WriteConsole(std::string_view text) {
    static std::mutex lock;
    std::string copy;
    const std::string_view shown = common::ShownInLog(text, copy);
    std::lock_guard<std::mutex> guard(lock);
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    std::fflush(stdout);
}

void WriteConsoleF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = common::FormatTextV(format, args);
    va_end(args);
    WriteConsole(text);
}

}  // namespace engine
