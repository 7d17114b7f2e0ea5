#include "tools/watch/watch_log.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "common/daily_log.h"
#include "common/format_text.h"
#include "common/data_folder.h"
#include "common/local_time.h"

namespace watch {

namespace {

struct FileLog {
    std::mutex lock;
    std::string folder;
    bool toFile = false;
};

FileLog& TheLog() {
    static FileLog log;
    return log;
}

}  // namespace

void ConfigureFileLog(const std::string& folder, bool toFile) {
    FileLog& log = TheLog();
    std::lock_guard<std::mutex> guard(log.lock);
    log.folder = folder;
    log.toFile = toFile;
}

void WriteFileLog(std::string_view text) {
    FileLog& log = TheLog();
    std::lock_guard<std::mutex> guard(log.lock);
    common::LocalTime t = common::NowLocal();
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d] ", t.hour, t.minute, t.second);
    std::string line = stamp;
    line.append(text);
    if (log.toFile) {
        std::string path = common::DailyFilePath(log.folder, t);
        std::printf("%s\n", path.c_str());
        common::AppendToFile(path, line);
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

std::string StartWatchLog(const std::string& dataRootVariable, const char* folderName, bool toFile) {
    std::string root = common::LookUpDataRoot(dataRootVariable).path;
    std::string folder = common::DataFolderPath(root) + folderName + "/";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);  // without it only the console shows the log
    std::printf("%s\n", folder.c_str());
    ConfigureFileLog(folder, toFile);
    return root;
}

void LogF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = common::FormatTextV(format, args);
    va_end(args);
    WriteFileLog(text.c_str());
}

}  // namespace watch
