#include "engine/access/dnsbl.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include "common/ascii_case.h"
#include "common/list_file.h"
#include "common/text.h"
#include "common/url_host.h"
#include "engine/access/admission.h"
#include "engine/core/daily_log.h"
#include "platform/dns/dns.h"

namespace engine {
namespace {

// "<p>-conbl.db", "<p>-dnsbl.db", "<p>-dnswl.db": lines of up to 510
// characters; blank, quote and empty lines are comments.
constexpr common::ListFileRules kZoneFileRules{510, common::kListCommentChars, true};

constexpr size_t kClientAddressLimit = 64;
constexpr size_t kZoneLineLimit = 255;
constexpr size_t kHostNameLimit = 255;
constexpr size_t kServerTextLimit = 254;
constexpr int kDefaultLevels = 2;

bool IsHostNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

struct ZoneLine {
    std::string_view zone;
    std::string_view server;  // empty: none
    int levels = kDefaultLevels;
};

// "zone[<TAB>server][,count|,N]"; the option is the text after the last
// comma. "N" also asked the server past its cache on the original system;
// there is no resolver cache here to pass.
ZoneLine ParseZoneLine(std::string_view line) {
    ZoneLine parsed;
    line = line.substr(0, kZoneLineLimit);
    size_t comma = line.rfind(',');
    if (comma != std::string_view::npos) {
        std::string_view option = line.substr(comma + 1);
        line = line.substr(0, comma);
        if (!option.empty() && (option[0] == 'N' || option[0] == 'n')) {
            parsed.levels = 0;
        } else {
            int levels = 0;  // a count that is no number reads as 0
            option.remove_prefix(std::min(option.find_first_not_of(" \t"), option.size()));
            if (!option.empty() && option[0] == '+') option.remove_prefix(1);
            std::from_chars(option.data(), option.data() + option.size(), levels);
            parsed.levels = std::max(levels, 0);
        }
    }
    size_t tab = line.find('\t');
    parsed.zone = line.substr(0, tab);
    if (tab != std::string_view::npos) parsed.server = line.substr(tab + 1, kServerTextLimit);
    return parsed;
}

// The prefixes (each ending in a dot) asked under a zone, in order.
std::vector<std::string> QueryPrefixes(std::string_view name, int levels) {
    std::vector<std::string> prefixes;
    if (name.find_first_not_of("0123456789.") == std::string_view::npos) {
        std::string reversed;
        common::MakeReverseQueryName(name, reversed);
        prefixes.push_back(reversed);
        if (levels > 0) prefixes.push_back(std::string(name) + ".");
        return prefixes;
    }
    if (levels == 0) return {std::string(name) + "."};
    std::vector<size_t> dots;  // label starts from the right
    for (size_t dot = name.rfind('.'); dot != std::string_view::npos;
         dot = dot == 0 ? std::string_view::npos : name.rfind('.', dot - 1)) {
        dots.push_back(dot + 1);
    }
    // The last two labels (the whole name when it has only two), then one
    // label more each time while a label is left of it: the host's first
    // label never goes into a question.
    size_t labels = dots.size() + 1;
    prefixes.push_back(labels <= 2 ? std::string(name) + "." : std::string(name.substr(dots[1])) + ".");
    for (size_t count = 3; count < labels && count <= static_cast<size_t>(levels) + 3; ++count) {
        prefixes.push_back(std::string(name.substr(dots[count - 1])) + ".");
    }
    return prefixes;
}

bool IsUsablePrefix(std::string_view prefix) {
    return !prefix.empty() && prefix[0] != '.' && prefix.find("..") == std::string_view::npos;
}

}  // namespace

int Query_DNSBL(const std::string& whiteListFile, const std::string& zoneFile, std::string_view clientAddress) {
    std::string address = CanonicalClientAddress(clientAddress).substr(0, kClientAddressLimit);
    // The exemption list holds the clients that no zone may refuse.
    if (QueryClientWhiteList(whiteListFile, address)) return 0;
    std::string prefix;
    int kind = common::MakeReverseQueryName(address, prefix);
    bool listed = false;
    common::ForEachListLine(zoneFile, kZoneFileRules, [&](std::string_view zone) {
        std::string name = prefix + std::string(zone);
        // Zones answer an A record for listed IPv6 addresses too.
        if (kind != 0 && platform::dns::HasAddressRecord(name)) {
            listed = true;
            return false;
        }
        WriteLogF("[Query_DNSBL] '%s' %s\n", name.c_str(), "not found list");
        return true;
    });
    return listed ? 1 : 0;
}

int QuerySURBLWhiteList(const std::string& whiteListFile, std::string_view host) {
    bool named = false;
    common::ForEachListLine(whiteListFile, kZoneFileRules, [&](std::string_view line) {
        named = common::EqualsIgnoringAsciiCase(line, host);
        return !named;
    });
    return named ? 1 : 0;
}

int QuerySURBLZone(std::string_view zoneLine, std::string_view host, bool httpProxy) {
    ZoneLine line = ParseZoneLine(zoneLine);
    std::optional<std::string_view> text =
        httpProxy ? std::optional<std::string_view>(host) : common::FindUrlHost(host);
    if (!text) return 0;
    std::string_view name = text->substr(0, kHostNameLimit);
    name = name.substr(0, std::find_if_not(name.begin(), name.end(), IsHostNameChar) - name.begin());
    if (name.size() > 1 && name.back() == '.') name.remove_suffix(1);  // "host.test." is host.test
    if (name.empty() || name.find('.') == std::string_view::npos) return 0;

    std::optional<platform::dns::Server> server;
    if (!line.server.empty()) server = platform::dns::ParseServer(line.server);
    for (const std::string& prefix : QueryPrefixes(name, line.levels)) {
        if (!IsUsablePrefix(prefix)) return 0;
        std::string query = prefix + std::string(line.zone);
        if (server && platform::dns::HasAddressRecord(query, server)) return 1;
        if (platform::dns::HasAddressRecord(query)) return 1;
    }
    return 0;
}

int Query_SURBLists(const std::string& whiteListFile, const std::string& zoneFile, std::string_view host,
                    bool httpProxy) {
    if (QuerySURBLWhiteList(whiteListFile, host)) return 0;
    bool hit = false;
    common::ForEachListLine(zoneFile, kZoneFileRules, [&](std::string_view line) {
        if (!QuerySURBLZone(line, host, httpProxy)) return true;
        WriteLogF("[Query_SURBLists] %s -- %s Hit.\n", std::string(line).c_str(), std::string(host).c_str());
        hit = true;
        return false;
    });
    return hit ? 1 : 0;
}

}  // namespace engine
