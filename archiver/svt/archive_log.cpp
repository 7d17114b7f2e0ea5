#include "archiver/svt/archive_log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "archiver/svt/archive_settings.h"
#include "common/daily_log.h"

namespace archiver {
namespace {

common::DailyLogFile& Log() {
    static common::DailyLogFile log(common::DailyLogFile::Stamp::Seconds, stdout);
    return log;
}

}  // namespace

void SetUpLog(const ArchiveSettings& settings) {
    Log().setFolder(settings.logFolder);
    Log().setToFile(settings.logToFile);
    Log().setToConsole(true);
}

void LogLine(std::string_view text) { Log().write(text); }

void LogFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) + 1 : 1, '\0');
    if (size > 0) std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    LogLine(std::string_view(buffer.data(), size > 0 ? static_cast<size_t>(size) : 0));
}

}  // namespace archiver
