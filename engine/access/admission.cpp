#include "engine/access/admission.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <cstring>
#include <optional>

#include "common/list_file.h"

namespace engine {
namespace {

// "<p>-con.ini": lines of up to 511 characters; an empty line is a rule.
constexpr common::ListFileRules kRuleFileRules{511, common::kListCommentChars, false};
// "<p>-conwl.db": lines of up to 255 characters; a double quote starts no
// comment here.
constexpr common::ListFileRules kWhiteListRules{255, " '", true};

struct Address {
    int family = 0;  // AF_INET or AF_INET6
    unsigned char bytes[16] = {};
    int bits() const { return family == AF_INET ? 32 : 128; }
};

// IPv4 as a strict dotted quad, IPv6 in any spelling. An IPv4-mapped IPv6
// address reads as its IPv4 address.
std::optional<Address> ParseAddress(std::string_view text) {
    Address address;
    std::string copy(text);
    if (inet_pton(AF_INET, copy.c_str(), address.bytes) == 1) {
        address.family = AF_INET;
        return address;
    }
    in6_addr v6;
    if (inet_pton(AF_INET6, copy.c_str(), &v6) != 1) return std::nullopt;
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
        address.family = AF_INET;
        std::memcpy(address.bytes, v6.s6_addr + 12, 4);
    } else {
        address.family = AF_INET6;
        std::memcpy(address.bytes, v6.s6_addr, 16);
    }
    return address;
}

bool SamePrefix(const Address& a, const Address& b, int bits) {
    if (a.family != b.family) return false;
    int whole = bits / 8;
    if (std::memcmp(a.bytes, b.bytes, static_cast<size_t>(whole)) != 0) return false;
    int rest = bits % 8;
    if (rest == 0) return true;
    unsigned mask = (0xFF00u >> rest) & 0xFF;
    return (a.bytes[whole] & mask) == (b.bytes[whole] & mask);
}

bool SameAddress(const Address& a, const Address& b) { return SamePrefix(a, b, a.bits()); }

// "ADDR/N" rules.
bool MatchPrefixRule(std::string_view addressPart, std::string_view lengthPart, std::string_view addressText) {
    int length = -1;
    auto [end, ec] = std::from_chars(lengthPart.data(), lengthPart.data() + lengthPart.size(), length);
    if (ec != std::errc() || end != lengthPart.data() + lengthPart.size() || lengthPart.size() > 3) return false;
    bool ipv6Rule = addressPart.find(':') != std::string_view::npos;
    std::optional<Address> rule = ParseAddress(addressPart);
    std::optional<Address> address = ParseAddress(addressText);
    if (!rule || !address) return false;
    if (ipv6Rule && rule->family == AF_INET) length -= 96;  // IPv4-mapped rule
    if (length < 0 || length > rule->bits()) return false;
    return SamePrefix(*rule, *address, length);
}

// The part of a "*" rule before the star, when it holds a colon: an IPv6
// address whose missing groups are zero ("2001:db8:" and "2001:db8" both
// read as 2001:db8::).
std::optional<Address> ParseIPv6Head(std::string_view head) {
    for (const char* tail : {"", ":", "::"}) {
        std::optional<Address> address = ParseAddress(std::string(head) + tail);
        if (address) return address;
    }
    return std::nullopt;
}

}  // namespace

std::string CanonicalClientAddress(std::string_view address) {
    if (address.find(':') == std::string_view::npos) return std::string(address);
    std::optional<Address> parsed = ParseAddress(address);
    if (!parsed || parsed->family != AF_INET) return std::string(address);
    char dotted[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, parsed->bytes, dotted, sizeof dotted);
}

bool MatchAddressRule(std::string_view rule, std::string_view addressText) {
    std::string address = CanonicalClientAddress(addressText);
    size_t star = rule.find('*');
    if (star != std::string_view::npos) {
        std::string_view head = rule.substr(0, star);
        if (head.find(':') == std::string_view::npos) return std::string_view(address).substr(0, head.size()) == head;
        std::optional<Address> ruleAddress = ParseIPv6Head(head);
        std::optional<Address> client = ParseAddress(address);
        return ruleAddress && client && SameAddress(*ruleAddress, *client);
    }
    size_t slash = rule.find('/');
    if (slash != std::string_view::npos) return MatchPrefixRule(rule.substr(0, slash), rule.substr(slash + 1), address);
    if (rule.find(':') != std::string_view::npos || rule.find('.') != std::string_view::npos) {
        std::optional<Address> ruleAddress = ParseAddress(rule);
        std::optional<Address> client = ParseAddress(address);
        if (ruleAddress && client) return SameAddress(*ruleAddress, *client);
    }
    return rule == address;
}

int QueryConnectPerimisson(const std::string& ruleFile, std::string_view clientAddress) {
    std::string address = CanonicalClientAddress(clientAddress);
    bool anyRule = false;
    int verdict = -1;
    bool opened = common::ForEachListLine(ruleFile, kRuleFileRules, [&](std::string_view line) {
        anyRule = true;
        size_t blank = line.find(' ');
        std::string_view word = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
        if (!MatchAddressRule(line.substr(0, blank), address)) return true;
        verdict = word == "pass" ? kAdmissionPass : word == "reject" ? kAdmissionRefuse : kAdmissionAdmit;
        return false;
    });
    if (!opened) return kAdmissionAdmit;
    if (verdict >= 0) return verdict;
    return anyRule ? kAdmissionRefuse : kAdmissionAdmit;
}

int QueryClientWhiteList(const std::string& whiteListFile, std::string_view clientAddress) {
    std::string address = CanonicalClientAddress(clientAddress);
    bool matched = false;
    common::ForEachListLine(whiteListFile, kWhiteListRules, [&](std::string_view line) {
        matched = MatchAddressRule(line, address);
        return !matched;
    });
    return matched ? 1 : 0;
}

}  // namespace engine
