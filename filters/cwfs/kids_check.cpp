#include "filters/cwfs/kids_check.h"

#include <cstdio>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "common/filter_text.h"
#include "common/option_arg.h"
#include "filters/cwfs/cwfs_log.h"
#include "filters/cwfs/cwfs_settings.h"
#include "filters/cwfs/keyword_check.h"
#include "filters/cwfs/kids_fetch.h"

namespace cwfs {
namespace {

// Lines are taken whole: the control panel writes record lines of up to
// 520 bytes, and a cut pattern would match what it was not meant to.
constexpr size_t kKidsLineLimit = 64 * 1024;
// All records of one page together; the engine waits for the answer.
constexpr std::chrono::seconds kKidsCheckBound{30};
constexpr int kPortalPort = 80;

const char* const kExemptPatterns[] = {"*.edu",    "*.gov",    "*.edu/*",  "*.gov/*",  "*.go.jp",
                                       "*.ac.jp",  "*.ed.jp",  "*.go.jp/*", "*.ac.jp/*", "*.ed.jp/*"};

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && common::EqualsIgnoringAsciiCase(text.substr(text.size() - end.size()), end);
}

bool IsSkippedLine(std::string_view line) {
    return line.empty() || line[0] == ' ' || line[0] == '"' || line[0] == '\'';
}

// "%%" read as "%" and the first "%s" replaced; any other "%" kept as it is.
std::string FillPercentS(std::string_view format, std::string_view value) {
    std::string out;
    bool filled = false;
    for (size_t at = 0; at < format.size(); ++at) {
        if (format[at] == '%' && at + 1 < format.size()) {
            if (format[at + 1] == '%') {
                out += '%';
                ++at;
                continue;
            }
            if (format[at + 1] == 's' && !filled) {
                out.append(value);
                filled = true;
                ++at;
                continue;
            }
        }
        out += format[at];
    }
    return out;
}

}  // namespace

std::vector<KidsRecord> ParseKidsRecords(const std::string& path) {
    std::vector<KidsRecord> records;
    const common::FilePtr file = common::OpenRegularFile(path);
    if (!file) return records;
    std::string raw;
    auto nextLine = [&](std::string& line) {
        if (!common::ReadWholeLine(file.get(), raw, kKidsLineLimit)) return false;
        line = raw.substr(0, raw.find_first_of(std::string_view("\r\n\0", 3)));
        return true;
    };
    std::string line;
    while (nextLine(line)) {
        if (IsSkippedLine(line)) continue;
        const size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        KidsRecord record;
        record.name = line.substr(0, comma);
        record.url = line.substr(comma + 1);
        for (KidsEntry& entry : record.entries) {
            if (!nextLine(line) || line.empty()) break;
            const size_t entryComma = line.find(',');
            if (entryComma == std::string::npos) {
                entry.flag = 1;
                continue;
            }
            entry.flag = common::ParseDecimal(line.substr(0, entryComma)) != 0 ? 1 : 0;
            entry.pattern = line.substr(entryComma + 1);
        }
        records.push_back(std::move(record));
    }
    return records;
}

bool NeedsKidsCheck(std::string_view url) {
    if (url.find('?') != std::string_view::npos) return false;
    if (url.size() > 5) {
        if (!(EndsWith(url, ".html") || EndsWith(url, ".htm") || EndsWith(url, "/") ||
              url.substr(url.size() - 5).find('.') == std::string_view::npos))
            return false;
    } else if (url.size() == 5) {
        if (!(EndsWith(url, ".htm") || EndsWith(url, "/") || url.substr(1).find('.') == std::string_view::npos))
            return false;
    } else {
        return false;
    }
    for (const char* exempt : kExemptPatterns)
        if (common::MatchPattern(exempt, url)) return false;
    return true;
}

std::string KidsQueryPath(std::string_view pathFormat, std::string_view url) {
    std::string encoded;
    for (char c : url) {
        if (c == '/')
            encoded += "%2F";
        else
            encoded += c;
    }
    return FillPercentS(pathFormat, encoded);
}

std::string PrepareEntryPattern(std::string_view pattern, std::string_view url) {
    std::string out;
    for (size_t at = 0; at < pattern.size(); ++at) {
        if (pattern[at] == '\\' && at + 1 < pattern.size() && (pattern[at + 1] == 'r' || pattern[at + 1] == 'n')) {
            out += pattern[++at] == 'r' ? '\r' : '\n';
            continue;
        }
        out += pattern[at];
    }
    if (out.find("%s") == std::string::npos) return out;
    return FillPercentS(out, url);
}

int Query_KIDS_SEARCH_SITE(const std::string& url, const KidsRecord& record, Deadline deadline) {
    std::string patterns[5];
    for (size_t i = 0; i < record.entries.size(); ++i)
        if (record.entries[i].pattern) patterns[i] = PrepareEntryPattern(*record.entries[i].pattern, url);

    const std::string_view address = std::string_view(record.url).substr(std::min<size_t>(7, record.url.size()));
    const size_t slash = address.find('/');
    // A record that names no page of its portal cannot vouch for anything.
    if (slash == std::string_view::npos) return 1;
    const std::string host(address.substr(0, slash));
    const std::string path = KidsQueryPath(address.substr(slash), url);
    WriteLog("[Query_KIDS_SEARCH_SITE] GetRemoteData() http://" + host + path + "\n");

    // "host:port" in the record's URL names the portal's port.
    std::string connectHost = host;
    int port = kPortalPort;
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos && colon + 1 < host.size()) {
        const int64_t given = common::ParseDecimal(host.substr(colon + 1));
        if (given > 0 && given < 65536) {
            port = static_cast<int>(given);
            connectHost = host.substr(0, colon);
        }
    }
    if (!connectHost.empty() && connectHost.front() == '[' && connectHost.back() == ']')
        connectHost = connectHost.substr(1, connectHost.size() - 2);

    int blocked = 0;
    int entryNumber = 0;
    const Deadline fetchDeadline = std::min(deadline, std::chrono::steady_clock::now() + kPortalFetchBound);
    if (const auto answer = FetchPortalAnswer(host, connectHost, port, path, fetchDeadline)) {
        // The answer is judged whole: a word split between two reads, or an
        // entry that must be missing from the page, is only decided on all of it.
        for (size_t i = 0; i < record.entries.size(); ++i) {
            if (!record.entries[i].pattern) continue;
            if ((common::MatchPattern(patterns[i], *answer) ? 1 : 0) == record.entries[i].flag) {
                blocked = 1;
                entryNumber = static_cast<int>(i + 1);
                break;
            }
        }
    }
    WriteLogF("[Query_KIDS_SEARCH_SITE] GetRemoteData() %s.(%d)\n", blocked ? "blocked" : "passed", entryNumber);
    return blocked;
}

int Query_KIDS_SEARCH_SITE(const std::string& url, const KidsRecord& record) {
    return Query_KIDS_SEARCH_SITE(url, record, std::chrono::steady_clock::now() + kPortalFetchBound);
}

int Query_KIDS_FILTER_SITE(const std::optional<std::string>& url, std::string& name,
                           const std::optional<std::string>& listName) {
    // A request without a URL names no page to ask about.
    if (!url || !NeedsKidsCheck(*url)) return 0;
    const std::string path = ChooseDataFile(listName, ".kidssearch.ini", "kidssearch.ini");
    WriteLog(path + "\n");
    const Deadline deadline = std::chrono::steady_clock::now() + kKidsCheckBound;
    for (const KidsRecord& record : ParseKidsRecords(path)) {
        if (std::chrono::steady_clock::now() >= deadline) break;
        if (Query_KIDS_SEARCH_SITE(*url, record, deadline)) {
            name = record.name;
            return 1;
        }
    }
    return 0;
}

}  // namespace cwfs
