#include "engine/http/http_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "common/http_date.h"
#include "common/list_file.h"
#include "common/text.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/header_text.h"
#include "engine/http/head_rewrite.h"
#include "engine/http/http_road.h"
#include "engine/http/outgoing_request.h"
#include "engine/http/response_reader.h"

namespace engine {

namespace {

constexpr const char* kFunction = "GetDispatch";
// Seconds from 1601-01-01 (the start of the 100-ns counts in the log
// lines) to 1970-01-01.
constexpr unsigned long long kEpochOffsetSeconds = 11644473600ULL;

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = common::LowerAscii(c);
    return lower;
}

// The local time as a count of 100-ns units, as the log lines show it.
unsigned long long Ticks(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return (static_cast<unsigned long long>(t + local.tm_gmtoff) + kEpochOffsetSeconds) * 10000000ULL;
}

void LogTime(int client, const char* what, std::time_t t, bool cacheTag = true) {
    if (client < 0) return;
    std::tm local{};
    localtime_r(&t, &local);
    WriteLogF("[GetDispatch] [%04d] %s%s = %04d/%02d/%02d %02d:%02d:%02d\n", client, cacheTag ? "[Cache] " : "", what,
              local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

// The rules of a stored head, line by line. A client socket below 0 logs
// nothing.
class HeadRules {
public:
    HeadRules(std::time_t lastWrite, std::time_t now, int client) : lastWrite_(lastWrite), now_(now), client_(client) {}

    // False once the head has ended.
    bool Feed(std::string_view line) {
        line = WithoutLineEnd(line);
        if (first_) {
            first_ = false;
            // Only a whole answer is served: never a 206 or a 304 to a
            // request that asked for all of it.
            if (!common::StartsWithIgnoringAsciiCase(line, "http/") || StatusOf(line) != 200) fresh_ = false;
            return fresh_;
        }
        if (line.empty()) return false;
        const std::string lower = Lower(line);
        if (lower.rfind("expires:", 0) == 0) {
            Expires(line.substr(8));
        } else if (lower.rfind("pragma:", 0) == 0) {
            if (lower.find("no-cache") != std::string::npos) fresh_ = false;
        } else if (lower.rfind("cache-control:", 0) == 0) {
            CacheControl(lower);
        }
        return true;
    }
    bool fresh() const { return fresh_; }

private:
    static int StatusOf(std::string_view statusLine) {
        size_t blank = statusLine.find(' ');
        if (blank == std::string_view::npos) return 0;
        return std::atoi(std::string(common::TrimBlanks(statusLine.substr(blank + 1)).substr(0, 3)).c_str());
    }

    void Expires(std::string_view value) {
        std::string text(common::TrimBlanks(value));
        std::time_t expires = 0;
        // A date that can't be read counts as one in the past, as servers
        // mean "0" and the like.
        if (!common::ParseHttpDate(text, &expires)) {
            fresh_ = false;
            return;
        }
        LogTime(client_, "expire time", expires);
        const bool past = expires < now_;
        if (client_ >= 0)
            WriteLogF("[GetDispatch] [%04d] [Cache] HTTP(expires) = %s. (%llu > %llu)\n", client_,
                      past ? "off" : "on", Ticks(now_), Ticks(expires));
        if (past) fresh_ = false;
    }

    void CacheControl(const std::string& lower) {
        if (lower.find("public") == std::string::npos || lower.find("no-cache") != std::string::npos) {
            fresh_ = false;
            return;
        }
        size_t maxAge = lower.find("max-age=");
        if (maxAge == std::string::npos) return;
        const char* digits = lower.c_str() + maxAge + 8;
        if (*digits < '0' || *digits > '9') return;
        const std::time_t expiry = lastWrite_ + static_cast<std::time_t>(std::strtoll(digits, nullptr, 10));
        const bool past = expiry < now_;
        if (client_ >= 0)
            WriteLogF("[GetDispatch] [%04d] HTTP Cache(maxage) = %s. (%llu > %llu)\n", client_, past ? "off" : "on",
                      Ticks(now_), Ticks(expiry));
        if (past) fresh_ = false;
    }

    const std::time_t lastWrite_;
    const std::time_t now_;
    const int client_;
    bool first_ = true;
    bool fresh_ = true;
};

// The request asks for part of the resource, or only for a change.
bool PartialOrConditional(std::string_view head) {
    bool found = false;
    ForEachHeadLine(head, false, [&](std::string_view line) {
        for (const char* name : {"range:", "if-modified-since:", "if-unmodified-since:", "if-none-match:", "if-match:",
                                 "if-range:"})
            found = found || common::StartsWithIgnoringAsciiCase(line, name);
        return !found;
    });
    return found;
}

bool HasHeadLine(std::string_view head, bool response, const char* name) {
    bool found = false;
    ForEachHeadLine(head, response, [&](std::string_view line) {
        found = common::StartsWithIgnoringAsciiCase(line, name);
        return !found;
    });
    return found;
}

// The copy would go to users other than the one it was meant for: it sets
// a cookie (a session), it varies by request lines other than the
// encoding the key can't tell apart, or it answers credentials without
// saying that it may be shared.
bool PersonalResponse(std::string_view requestHead, std::string_view responseHead) {
    bool personal = false;
    bool shared = false;
    ForEachHeadLine(responseHead, true, [&](std::string_view line) {
        line = WithoutLineEnd(line);
        if (common::StartsWithIgnoringAsciiCase(line, "set-cookie")) {
            personal = true;
        } else if (common::StartsWithIgnoringAsciiCase(line, "vary:")) {
            std::string_view values = line.substr(5);
            while (!values.empty()) {
                const size_t comma = values.find(',');
                const std::string_view value = common::TrimBlanks(values.substr(0, comma));
                if (!value.empty() && !common::EqualsIgnoringAsciiCase(value, "accept-encoding")) personal = true;
                values.remove_prefix(comma == std::string_view::npos ? values.size() : comma + 1);
            }
        } else if (common::StartsWithIgnoringAsciiCase(line, "cache-control:")) {
            const std::string lower = Lower(line);
            shared = shared || lower.find("public") != std::string::npos || lower.find("s-maxage") != std::string::npos;
        }
        return !personal;
    });
    return personal || (!shared && HasHeadLine(requestHead, false, "authorization:"));
}

}  // namespace

bool HttpCacheKeys(const RequestTarget& target, std::string_view user, CacheKeys& keys) {
    if (!common::EqualsIgnoringAsciiCase(target.method, "GET")) return false;
    if (target.absoluteForm && !common::StartsWithIgnoringAsciiCase(target.urlKey, "http://")) return false;
    const std::string rest = "," + target.host + "," + std::to_string(target.port) + "," + target.originPath;
    const auto upToBlank = [](const std::string& key) { return key.substr(0, key.find_first_of(" \r\n")); };
    // The file is named by a digest of the whole key, so a path keeps its
    // case and every character: two URLs that differ only there are two
    // resources. The host's case means nothing.
    keys.key = upToBlank("http," + std::string(user) + "," + Lower(target.host) + "," + std::to_string(target.port) +
                         "," + target.originPath);
    keys.listKey = upToBlank(Lower(("http," + rest).substr(0, kCacheKeyLimit)));
    return true;
}

std::string HttpCacheFile(const std::string& dataFolder, const std::string& key) {
    return dataFolder + kHttpCacheFolder + Md5Hex(key) + ".dat";
}

bool HeadKeepsFresh(FILE* file, std::time_t lastWrite, std::time_t now, int clientSocket) {
    HeadRules rules(lastWrite, now, clientSocket);
    std::string line;
    while (common::ReadLinePiece(file, kResponseLineLimit, line) && rules.Feed(line)) {
    }
    return rules.fresh();
}

bool ResponseIsStorable(std::string_view capturedHead, const ResponseReader& reader, std::time_t now) {
    if (!reader.headFound() || !reader.ended() || reader.truncated() || reader.head().status != 200) return false;
    if (PartialOrConditional(capturedHead) || PersonalResponse(capturedHead, reader.headText())) return false;
    // A head that makes the copy stale at once is not worth a file (and
    // may be private). Nothing is logged of this look.
    HeadRules rules(now, now, -1);
    ForEachHeadLine(reader.headText(), true, [&](std::string_view line) { return rules.Feed(line); });
    return rules.fresh();
}

bool ServeFromCache(ConnectionRecord* record, const std::string& cacheFile, long minutes,
                    const RequestTarget& target, std::string_view capturedHead) {
    const int client = record->ClientSocket;
    common::FilePtr file(std::fopen(cacheFile.c_str(), "rb"));
    struct stat info {};
    if (!file || ::fstat(::fileno(file.get()), &info) != 0) return false;
    const std::time_t now = std::time(nullptr);
    const std::time_t lastWrite = info.st_mtime;
    LogTime(client, "current time", now);
    LogTime(client, "Last write time", lastWrite);
    bool fresh = false;
    if (info.st_size > 0) {
        const std::time_t expiry = lastWrite + static_cast<std::time_t>(minutes) * 60;
        LogTime(client, "expire time", expiry);
        fresh = now <= expiry;
        WriteLogF("[GetDispatch] [%04d] [Cache] HTTP = %s. (%llu <= %llu)\n", client, fresh ? "using" : "expired",
                  Ticks(now), Ticks(expiry));
        fresh = fresh && HeadKeepsFresh(file.get(), lastWrite, now, client);
    }
    if (!fresh) {
        // Only the copy looked at goes: a new one stored meanwhile stays.
        struct stat current {};
        if (::stat(cacheFile.c_str(), &current) == 0 && current.st_ino == info.st_ino && current.st_dev == info.st_dev)
            common::DeleteWithRetry(cacheFile);
        return false;
    }

    WriteLogF("[GetDispatch] [%04d] HTTP cash useing. %s\n", client, cacheFile.c_str());
    std::rewind(file.get());
    // The copy is relayed from the open file itself: a store that
    // replaces it meanwhile puts a new file in its place and leaves this
    // one whole.
    record->KeepAlive = RequestKeepsAlive(capturedHead, target, Settings()) ? 1 : 0;
    record->StatusCode = 200;
    record->ResponseBytes = static_cast<uint64_t>(info.st_size);
    RelayResponseFile(record, file.get(), target.version, true, kFunction);
    return true;
}

}  // namespace engine
