// The body check: every body line against the spam keyword list, and the
// host of a link or address in it against the URI blocklist zones, short
// links first replaced by their targets.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace spam {

// The lists of one request, read once at its start.
struct BodyLists {
    std::vector<std::string> keywords;   // "*" patterns
    std::vector<std::string> zones;      // "zone[<TAB>server][,N]"
    std::vector<std::string> shortUrls;  // "<host/segment><separator><target host>"
};

// The keyword list is "<data folder><list name>" when the request names
// one that exists, else spamkeyword.db.
BodyLists ReadBodyLists(const std::string& listName);

// 1: spam, the mail has been marked; 0: no hit or the mail is unreadable.
int CheckSpamBody(const std::string& mailPath, const std::string& listName);

// What the blocklist lookups of one mail may take together. Each lookup can
// wait seconds for a blocklist server that does not answer; a mail of
// thousands of links would otherwise hold the single-threaded server, and
// every mail behind it, for hours. Past the bound only the keywords are
// still checked.
constexpr std::chrono::milliseconds kBlocklistLookupBound{20 * 1000};

// The walk through the mail's MIME parts; 1 at the first hit.
int ScanMimeParts(FILE* mail, const BodyLists& lists,
                  std::chrono::milliseconds lookupBound = kBlocklistLookupBound);

// 1 when a keyword pattern matches the whole line (decoded into the local
// code page first).
int Qery_Keyword(std::string_view line, const std::vector<std::string>& keywords);

// 1 and the host when the line holds a link, a "www" name or a mail
// address; a short link is replaced by its target host.
int ExtractUrlHost(std::string& host, std::string_view line, const std::vector<std::string>& shortUrls);

// 1 and the target host when the link ("host/segment") is a short link.
int QueryShortUrl(std::string_view link, std::string& target, const std::vector<std::string>& shortUrls);

// 1 when a zone lists the host.
int Qery_SURBL(std::string_view host, const std::vector<std::string>& zones);
int QueryDnsblZone(std::string_view zoneLine, std::string_view host);

// The names QueryDnsblZone asks under the zone, in order (each without the
// zone): for "a.b.spam.example" with N = 2 "spam.example",
// "b.spam.example", "a.b.spam.example".
std::vector<std::string> DnsblQueryNames(std::string_view host, int extraNames);

}  // namespace spam
