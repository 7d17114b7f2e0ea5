#include "archiver/svt/archive_log.h"

#include <cstdarg>
#include <cstdio>

#include "archiver/svt/archive_settings.h"
#include "common/daily_log.h"
#include "common/format_text.h"

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
    std::string text = common::FormatTextV(format, args);
    va_end(args);
    LogLine(text);
}

}  // namespace archiver
