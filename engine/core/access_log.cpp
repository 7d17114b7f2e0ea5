#include "engine/core/access_log.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>

#include "common/ascii_case.h"
#include "common/daily_log.h"
#include "common/list_file.h"
#include "common/text.h"
#include "common/wildcard.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"

namespace engine {

namespace {

constexpr size_t kRequestLineLimit = 2048;
constexpr size_t kHeaderValueLimit = 2047;
constexpr size_t kDecodedAuthorizationSize = 2048;  // 2,047 bytes and the terminator
constexpr size_t kMaskLineLength = 256;

std::mutex& AccessLogLock() {
    static std::mutex lock;
    return lock;
}

common::Clock& AccessLogClock() {
    static common::Clock clock;
    return clock;
}

// The next line of text, without its line end, of which at most limit
// characters are kept; the rest of an overlong line is passed over, never
// read as a line of its own. False at the end of the text.
bool ReadLine(std::string_view& text, size_t limit, std::string& line) {
    if (text.empty()) return false;
    const size_t lf = text.find('\n');
    std::string_view whole = text.substr(0, lf);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    line.assign(whole.substr(0, limit));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

std::string_view CutAtLineEnd(std::string_view text) { return text.substr(0, text.find_first_of("\r\n")); }

// The value after a header name: leading blanks skipped, cut at its line
// end and at the field limit; control bytes shown as "?", as in the daily
// log, so a client's text can't move a terminal's cursor or ring its bell
// when the log is read.
std::string HeaderValue(std::string_view line, size_t nameLength) {
    std::string_view value = CutAtLineEnd(common::SkipBlanks(line.substr(nameLength)));
    return ClientText(value.substr(0, kHeaderValueLimit));
}

// The user of a Basic credential: the decoded text up to its first ":",
// ending before any control character so the name can't break the line.
// Nothing for another scheme.
std::optional<std::string> BasicUser(std::string_view value) {
    value = common::SkipBlanks(value);
    if (!common::StartsWithIgnoringAsciiCase(value, "basic ")) return std::nullopt;
    std::string decoded;
    if (common::Base64ToText(value.substr(6), decoded, kDecodedAuthorizationSize) <= 0) return "-";
    size_t end = 0;
    while (end < decoded.size() && decoded[end] != ':' && static_cast<unsigned char>(decoded[end]) >= 0x20 &&
           decoded[end] != 0x7f)
        ++end;
    return end == 0 ? "-" : decoded.substr(0, end);
}

}  // namespace

AccessLogRequest ReadAccessLogRequest(std::string_view captured) {
    AccessLogRequest request;
    std::string line;
    if (!ReadLine(captured, kRequestLineLimit, line) || line.empty()) return request;
    request.requestLine = ClientText(CutAtLineEnd(line));
    while (ReadLine(captured, kHeaderValueLimit, line) && !line.empty()) {
        if (common::StartsWithIgnoringAsciiCase(line, "user-agent:"))
            request.userAgent = HeaderValue(line, 11);
        else if (common::StartsWithIgnoringAsciiCase(line, "referer:"))
            request.referer = HeaderValue(line, 8);
        else if (common::StartsWithIgnoringAsciiCase(line, "authorization:")) {
            if (auto user = BasicUser(std::string_view(line).substr(14))) request.user = *user;
        }
    }
    return request;
}

std::string FormatAccessLogLine(const std::string& clientAddress, const AccessLogRequest& request,
                                int status, uint64_t bytes, const common::LocalTime& t) {
    long offsetMinutes = std::labs(t.utcOffsetSeconds) / 60;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02ld%02ld", t.utcOffsetSeconds < 0 ? '-' : '+',
                  offsetMinutes / 60 % 100, offsetMinutes % 60);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "[%02d/%s/%04d:%02d:%02d:%02d %s]", t.day,
                  common::EnglishMonthAbbreviation(t.month), t.year, t.hour, t.minute, t.second, zone);
    char numbers[48];
    std::snprintf(numbers, sizeof numbers, " %d %" PRIu64 " ", status, bytes);
    return clientAddress + " - " + request.user + " " + stamp + " \"" + request.requestLine + "\"" + numbers +
           "\"" + request.referer + "\" \"" + request.userAgent + "\"\n";
}

int AccessLogMask(const std::string& listenAddress, int listenPort) {
    const std::string& maskFile = Settings().accessLogMaskFile;
    if (maskFile.empty()) return 0;
    const std::string key = listenAddress + ":" + std::to_string(listenPort);
    common::ListFileRules rules;
    rules.maxLineLength = kMaskLineLength;
    bool masked = false;
    common::ForEachListLine(maskFile, rules, [&](std::string_view pattern) {
        masked = common::WildcardMatch(pattern, key);
        return !masked;
    });
    return masked ? 1 : 0;
}

void WriteAccessLog(std::string_view captured, const std::string& clientAddress, int status, uint64_t bytes) {
    const EngineSettings& s = Settings();
    if (!s.accessLog) return;
    AccessLogRequest request = ReadAccessLogRequest(captured);
    std::lock_guard<std::mutex> guard(AccessLogLock());
    common::LocalTime t = AccessLogClock() ? AccessLogClock()() : common::NowLocal();
    if (s.accessLogFolder.empty()) return;
    common::AppendToFile(common::DailyFilePath(s.accessLogFolder, t),
                         FormatAccessLogLine(clientAddress, request, status, bytes, t));
}

void SetAccessLogClock(common::Clock clock) {
    std::lock_guard<std::mutex> guard(AccessLogLock());
    AccessLogClock() = std::move(clock);
}

}  // namespace engine
