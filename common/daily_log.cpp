#include "common/daily_log.h"

#include <cerrno>
#include <filesystem>

namespace common {

std::string DailyFilePath(const std::string& folder, const LocalTime& t) {
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d.log", t.year, t.month, t.day);
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool AppendToFile(const std::string& path, std::string_view text) {
    FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr && errno == ENOENT) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
        file = std::fopen(path.c_str(), "ab");
    }
    if (file == nullptr) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

DailyLogFile::DailyLogFile(Stamp stamp, FILE* console) : stamp_(stamp), console_(console) {}

void DailyLogFile::setFolder(std::string folder) {
    std::lock_guard<std::mutex> guard(lock_);
    folder_ = std::move(folder);
}

void DailyLogFile::setToFile(bool on) {
    std::lock_guard<std::mutex> guard(lock_);
    toFile_ = on;
}

void DailyLogFile::setToConsole(bool on) {
    std::lock_guard<std::mutex> guard(lock_);
    toConsole_ = on;
}

void DailyLogFile::setClock(Clock clock) {
    std::lock_guard<std::mutex> guard(lock_);
    clock_ = std::move(clock);
}

std::string DailyLogFile::folder() const {
    std::lock_guard<std::mutex> guard(lock_);
    return folder_;
}

bool DailyLogFile::toFile() const {
    std::lock_guard<std::mutex> guard(lock_);
    return toFile_;
}

bool DailyLogFile::toConsole() const {
    std::lock_guard<std::mutex> guard(lock_);
    return toConsole_;
}

std::string DailyLogFile::formatLine(const LocalTime& t, std::string_view text) const {
    char stamp[40];
    if (stamp_ == Stamp::Milliseconds)
        std::snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d:%03d] ", t.hour, t.minute, t.second,
                      t.millisecond);
    else
        std::snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d] ", t.hour, t.minute, t.second);
    std::string line = stamp;
    line.append(text);
    return line;
}

void DailyLogFile::write(std::string_view text) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!toFile_ && !toConsole_) return;
    LocalTime t = clock_ ? clock_() : NowLocal();
    std::string line = formatLine(t, text);
    if (toFile_ && !folder_.empty()) AppendToFile(DailyFilePath(folder_, t), line);
    if (toConsole_ && console_ != nullptr) {
        std::fwrite(line.data(), 1, line.size(), console_);
        std::fflush(console_);
    }
}

}  // namespace common
