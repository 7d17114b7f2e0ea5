// The kids-safe site check: a page is blocked unless the outside kids-safe
// search portal of each record of kidssearch.ini vouches for it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cwfs {

struct KidsEntry {
    int flag = 0;                    // non-zero reads as 1
    std::optional<std::string> pattern;
};

struct KidsRecord {
    std::string name;  // what the reply reports
    std::string url;   // "http://host/path" with "%s" where the page goes
    std::array<KidsEntry, 5> entries;
};

// The records of a kids-search file's text, in file order: a "name,URL"
// line, then up to five "flag,pattern" lines; an empty line ends a record
// early; lines that begin with a blank or a quote between records are
// comments.
std::vector<KidsRecord> ParseKidsRecords(const std::string& path);

// True when the page (host and path) needs the check: no "?", a page type
// (".html", ".htm", "/", or no extension) and no exempt domain.
bool NeedsKidsCheck(std::string_view url);

// 1 = blocked (name holds the record's name), 0 = pass.
int Query_KIDS_FILTER_SITE(const std::optional<std::string>& url, std::string& name,
                           const std::optional<std::string>& listName);

// An entry pattern: backslash-r and backslash-n as CR and LF, and, in a
// pattern that holds "%s", the first "%s" replaced by the host and path and
// "%%" read as "%".
std::string PrepareEntryPattern(std::string_view pattern, std::string_view url);

// 1 = the record's portal did not vouch for the page, 0 = passed.
int Query_KIDS_SEARCH_SITE(const std::string& url, const KidsRecord& record);

// The portal's query path: the first "%s" in the path format replaced by
// the page's host and path with each "/" written "%2F", and "%%" (as the
// control panel writes a "%" of the URL) read as "%".
std::string KidsQueryPath(std::string_view pathFormat, std::string_view url);

}  // namespace cwfs
