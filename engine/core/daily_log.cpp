#include "engine/core/daily_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

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

// A byte the log shows as "?"; LF and the CR of a CR LF end lines.
bool Hidden(std::string_view text, size_t at) {
    const char c = text[at];
    if (!IsControl(c) || c == '\t' || c == '\n') return false;
    return !(c == '\r' && at + 1 < text.size() && text[at + 1] == '\n');
}

}  // namespace

std::string ClientText(std::string_view text) {
    std::string shown(text);
    for (char& c : shown)
        if (IsControl(c) && c != '\t') c = '?';
    return shown;
}

void WriteLog(std::string_view text) {
    if (LogIsOff()) return;
    size_t at = 0;
    while (at < text.size() && !Hidden(text, at)) ++at;
    if (at == text.size()) return EngineLog().write(text);
    std::string shown(text);
    for (; at < shown.size(); ++at)
        if (Hidden(text, at)) shown[at] = '?';
    EngineLog().write(shown);
}

void WriteLogF(const char* format, ...) {
    if (LogIsOff()) return;
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
