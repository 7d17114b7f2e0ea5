#include <algorithm>
#include <charconv>
#include <optional>

#include "common/text.h"
#include "filters/spam/body_check.h"
#include "filters/spam/spam_log.h"
#include "platform/dns/dns.h"

namespace spam {
namespace {

constexpr int kDefaultExtraNames = 2;
constexpr size_t kHostLimit = 255;

bool IsHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool IsUsableName(std::string_view name) {
    return !name.empty() && name[0] != '.' && name.find("..") == std::string_view::npos;
}

}  // namespace

std::vector<std::string> DnsblQueryNames(std::string_view host, int extraNames) {
    std::vector<std::string> names;
    if (host.find_first_not_of("0123456789.") == std::string_view::npos) {
        std::string reversed;
        if (common::MakeReverseQueryName(host, reversed) != 1) return names;
        reversed.pop_back();  // its final dot
        names.push_back(reversed);
        if (extraNames > 0) names.push_back(std::string(host));
        return names;
    }
    if (host.find('.') == std::string_view::npos) return names;
    // Label starts from the right; the last two labels first, then one
    // label more on the left for each name tried in vain.
    std::vector<size_t> starts;
    for (size_t dot = host.rfind('.'); dot != std::string_view::npos;
         dot = dot == 0 ? std::string_view::npos : host.rfind('.', dot - 1))
        starts.push_back(dot + 1);
    starts.push_back(0);
    size_t first = extraNames == 0 ? starts.size() - 1 : std::min<size_t>(1, starts.size() - 1);
    for (size_t label = first; label < starts.size() && label - first <= static_cast<size_t>(extraNames) + 1;
         ++label) {
        names.push_back(std::string(host.substr(starts[label])));
    }
    return names;
}

int QueryDnsblZone(std::string_view zoneLine, std::string_view host) {
    int extraNames = kDefaultExtraNames;
    size_t comma = zoneLine.rfind(',');
    if (comma != std::string_view::npos) {
        std::string_view option = zoneLine.substr(comma + 1);
        zoneLine = zoneLine.substr(0, comma);
        option.remove_prefix(std::min(option.find_first_not_of(" \t"), option.size()));
        extraNames = 0;  // "N", or a count that is no number
        std::from_chars(option.data(), option.data() + option.size(), extraNames);
        extraNames = std::max(extraNames, 0);
    }
    size_t tab = zoneLine.find('\t');
    std::string_view zone = zoneLine.substr(0, tab);
    std::optional<platform::dns::Server> server;
    if (tab != std::string_view::npos) server = platform::dns::ParseServer(common::TrimBlanks(zoneLine.substr(tab + 1)));
    if (zone.empty()) return 0;

    host = host.substr(0, kHostLimit);
    host = host.substr(0, std::find_if_not(host.begin(), host.end(), IsHostChar) - host.begin());
    if (host.size() > 1 && host.back() == '.') host.remove_suffix(1);
    for (const std::string& name : DnsblQueryNames(host, extraNames)) {
        if (!IsUsableName(name)) return 0;
        if (platform::dns::HasAddressRecord(name + "." + std::string(zone), server)) return 1;
    }
    return 0;
}

int Qery_SURBL(std::string_view host, const std::vector<std::string>& zones) {
    for (const std::string& zone : zones) {
        if (QueryDnsblZone(zone, host)) {
            WriteLogF("Hit. URIBL %s (%s)\n", zone.c_str(), std::string(host).c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace spam
