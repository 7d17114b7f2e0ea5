#include "common/daily_log.h"

#include <cerrno>
#include <ctime>
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

namespace {

bool Hidden(std::string_view text, size_t at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if ((c >= 0x20 && c != 0x7f) || c == '\t' || c == '\n') return false;
    return !(c == '\r' && at + 1 < text.size() && text[at + 1] == '\n');
}

}  // namespace

std::string_view ShownInLog(std::string_view text, std::string& copy) {
    size_t at = 0;
    while (at < text.size() && !Hidden(text, at)) ++at;
    if (at == text.size()) return text;
    copy.assign(text);
    for (; at < text.size(); ++at)
        if (Hidden(text, at)) copy[at] = '?';
    return copy;
}

DailyLogFile::DailyLogFile(Stamp stamp, FILE* console) : stamp_(stamp), console_(console) {}

DailyLogFile::~DailyLogFile() {
    std::lock_guard<std::mutex> guard(lock_);
    writeHeldLocked();
}

DailyLogFile::Hold::Hold(DailyLogFile& log) : log_(log) {
    std::lock_guard<std::mutex> guard(log_.lock_);
    ++log_.holds_;
}

DailyLogFile::Hold::~Hold() {
    std::lock_guard<std::mutex> guard(log_.lock_);
    if (--log_.holds_ == 0) log_.writeHeldLocked();
}

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

namespace {

char* TwoDigits(char* at, int value) {
    *at++ = static_cast<char>('0' + value / 10 % 10);
    *at++ = static_cast<char>('0' + value % 10);
    return at;
}

}  // namespace

void DailyLogFile::appendLine(std::string& out, const LocalTime& t, std::string_view text) const {
    // "[hh:mm:ss] " or "[hh:mm:ss:mmm] " by hand: snprintf was a good part
    // of the cost of a line for a server that logs every line of a mail.
    char stamp[20];
    char* at = stamp;
    *at++ = '[';
    at = TwoDigits(at, t.hour);
    *at++ = ':';
    at = TwoDigits(at, t.minute);
    *at++ = ':';
    at = TwoDigits(at, t.second);
    if (stamp_ == Stamp::Milliseconds) {
        *at++ = ':';
        *at++ = static_cast<char>('0' + t.millisecond / 100 % 10);
        at = TwoDigits(at, t.millisecond % 100);
    }
    *at++ = ']';
    *at++ = ' ';
    out.append(stamp, static_cast<size_t>(at - stamp));
    out.append(text);
}

std::string DailyLogFile::formatLine(const LocalTime& t, std::string_view text) const {
    std::string line;
    appendLine(line, t, text);
    return line;
}

void DailyLogFile::write(std::string_view text) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!toFile_ && !toConsole_) return;
    LocalTime t = clock_ ? clock_() : heldNowLocked();
    std::string& line = line_;
    line.clear();
    appendLine(line, t, text);
    if (toFile_ && !folder_.empty()) {
        std::string path = DailyFilePath(folder_, t);
        if (holds_ == 0) {
            AppendToFile(path, line);
        } else {
            // A new day's file: the lines of the day before go first.
            if (path != heldPath_) {
                writeHeldLocked();
                heldPath_ = std::move(path);
            }
            heldFile_.append(line);
        }
    }
    if (toConsole_) toConsoleLocked(line);
    if (heldFile_.size() + heldConsole_.size() >= kHeldLimit) writeHeldLocked();
}

LocalTime DailyLogFile::heldNowLocked() {
    if (holds_ == 0) return NowLocal();
    // The lines of one burst that fall into the same second share its
    // reading of the zone: looking up TZ was a tenth of the cost of a line
    // for a server that logs every line of a mail.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec != heldSecond_) {
        heldTime_ = NowLocal();
        // NowLocal reads the clock again: kept only if still in that second.
        heldSecond_ = heldTime_.millisecond >= static_cast<int>(now.tv_nsec / 1000000) ? now.tv_sec : -1;
        return heldTime_;
    }
    LocalTime t = heldTime_;
    t.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return t;
}

void DailyLogFile::writeUnstamped(std::string_view text) {
    std::lock_guard<std::mutex> guard(lock_);
    toConsoleLocked(text);
    if (heldConsole_.size() >= kHeldLimit) writeHeldLocked();
}

void DailyLogFile::toConsoleLocked(std::string_view text) {
    if (console_ == nullptr) return;
    if (holds_ > 0) {
        heldConsole_.append(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), console_);
    std::fflush(console_);
}

void DailyLogFile::writeHeldLocked() {
    heldSecond_ = -1;
    if (!heldFile_.empty()) AppendToFile(heldPath_, heldFile_);
    heldFile_.clear();
    if (!heldConsole_.empty() && console_ != nullptr) {
        std::fwrite(heldConsole_.data(), 1, heldConsole_.size(), console_);
        std::fflush(console_);
    }
    heldConsole_.clear();
}

}  // namespace common
