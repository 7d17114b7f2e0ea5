// Addresses and networks compared as numbers with real prefix lengths, so
// 192.0.2.5 is not 192.0.2.50 and a /20 is a /20.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace spam {

struct IpAddress {
    bool v6 = false;
    std::array<unsigned char, 16> bytes{};  // IPv4 in the first four
};

// IPv4 or IPv6 text; an IPv4-mapped IPv6 address ("::ffff:192.0.2.1") is
// the IPv4 address. nullopt for anything else.
std::optional<IpAddress> ParseIpAddress(std::string_view text);

struct IpNetwork {
    IpAddress base;
    int prefix = 32;
};

// "address" or "address/length" (length up to 32 for IPv4, 128 for IPv6).
std::optional<IpNetwork> ParseIpNetwork(std::string_view text);

bool InNetwork(const IpAddress& address, const IpNetwork& network);

}  // namespace spam
