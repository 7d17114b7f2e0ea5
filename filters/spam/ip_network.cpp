#include "filters/spam/ip_network.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstring>
#include <string>

namespace spam {

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
    if (text.empty() || text.size() > 64) return std::nullopt;
    std::string copy(text);
    IpAddress address;
    in_addr v4{};
    if (copy.find(':') == std::string::npos) {
        if (inet_pton(AF_INET, copy.c_str(), &v4) != 1) return std::nullopt;
        std::memcpy(address.bytes.data(), &v4, 4);
        return address;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, copy.c_str(), &v6) != 1) return std::nullopt;
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
        std::memcpy(address.bytes.data(), v6.s6_addr + 12, 4);
        return address;
    }
    address.v6 = true;
    std::memcpy(address.bytes.data(), v6.s6_addr, 16);
    return address;
}

std::optional<IpNetwork> ParseIpNetwork(std::string_view text) {
    size_t slash = text.find('/');
    std::optional<IpAddress> base = ParseIpAddress(text.substr(0, slash));
    if (!base) return std::nullopt;
    IpNetwork network{*base, base->v6 ? 128 : 32};
    if (slash != std::string_view::npos) {
        std::string_view length = text.substr(slash + 1);
        int prefix = -1;
        auto [end, ec] = std::from_chars(length.data(), length.data() + length.size(), prefix);
        if (length.empty() || ec != std::errc() || end != length.data() + length.size() || prefix < 0 ||
            prefix > network.prefix)
            return std::nullopt;
        network.prefix = prefix;
    }
    return network;
}

bool InNetwork(const IpAddress& address, const IpNetwork& network) {
    if (address.v6 != network.base.v6) return false;
    int bits = network.prefix;
    for (size_t i = 0; bits > 0; ++i, bits -= 8) {
        unsigned mask = bits >= 8 ? 0xFFu : (0xFFu << (8 - bits)) & 0xFFu;
        if ((address.bytes[i] & mask) != (network.base.bytes[i] & mask)) return false;
    }
    return true;
}

}  // namespace spam
