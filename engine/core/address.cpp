#include "engine/core/address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace engine {

int TextToAddress(int family, const std::string& text, sockaddr_storage& address) {
    std::memset(&address, 0, sizeof address);
    if (family == AF_INET) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        // inet_aton keeps the classic forms ("10.1" and friends) that
        // hand-written lists may hold.
        if (inet_aton(text.c_str(), &v4->sin_addr) == 0) return 0;
        if (v4->sin_addr.s_addr == INADDR_NONE) return 0;
        return 1;
    }
    if (family == AF_INET6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        return inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1 ? 1 : 0;
    }
    errno = kAddressFamilyNotSupported;
    return -1;
}

void UnmapIPv4(sockaddr_storage& address, socklen_t& length) {
    if (address.ss_family != AF_INET6) return;
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    if (!IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) return;
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = v6->sin6_port;
    std::memcpy(&v4.sin_addr, &v6->sin6_addr.s6_addr[12], 4);
    std::memset(&address, 0, sizeof address);
    std::memcpy(&address, &v4, sizeof v4);
    length = sizeof v4;
}

std::optional<std::string> AddressToText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN];
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        if (!inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text)) return std::nullopt;
        return std::string(text);
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
            if (!inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], text, sizeof text)) return std::nullopt;
            return std::string(text);
        }
        if (!inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text)) return std::nullopt;
        return std::string(text);
    }
    return std::nullopt;
}

int AddressPort(const sockaddr* address) {
    if (address->sa_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(address)->sin_port);
    if (address->sa_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(address)->sin6_port);
    return 0;
}

std::string ReverseName(const std::string& addressText) {
    sockaddr_storage address;
    socklen_t length;
    if (TextToAddress(AF_INET, addressText, address) == 1) {
        length = sizeof(sockaddr_in);
    } else if (TextToAddress(AF_INET6, addressText, address) == 1) {
        length = sizeof(sockaddr_in6);
    } else {
        return "[" + addressText + "]";
    }
    char host[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0) {
        return "";
    }
    return host;
}

std::string QueryHostDomain(int ipVersion) {
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    addrinfo hints{};
    hints.ai_family = ipVersion == 0 ? AF_INET : ipVersion == 1 ? AF_INET6 : AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    std::string name = host;
    if (getaddrinfo(host, nullptr, &hints, &result) == 0 || getaddrinfo(host, nullptr, &hints, &result) == 0) {
        if (result->ai_canonname) name = result->ai_canonname;
        freeaddrinfo(result);
    }
    if (name.find('.') == std::string::npos) name += '.';
    return name;
}

}  // namespace engine
