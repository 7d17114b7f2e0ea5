#include "service/service_log.h"

#include <cstdio>
#include <filesystem>

#include "common/daily_log.h"

namespace service {

namespace {

common::DailyLogFile& Log() {
    static common::DailyLogFile log(common::DailyLogFile::Stamp::Seconds, stdout);
    static const bool toConsole = (log.setToConsole(true), true);
    (void)toConsole;
    return log;
}

}  // namespace

void ConfigureServiceLog(const std::string& folder, bool toFile) {
    Log().setFolder(folder);
    Log().setToFile(toFile);
    if (toFile) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
    }
}

void WriteServiceLog(std::string_view text) { Log().write(text); }

void WriteConsole(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace service
