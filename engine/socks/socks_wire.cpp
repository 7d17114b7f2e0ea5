#include "engine/socks/socks_wire.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace engine {
namespace {

unsigned char Byte(std::string_view bytes, std::size_t at) { return static_cast<unsigned char>(bytes[at]); }

int PortAt(std::string_view bytes, std::size_t at) { return Byte(bytes, at) << 8 | Byte(bytes, at + 1); }

std::string IPv4Text(std::string_view bytes, std::size_t at) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", Byte(bytes, at), Byte(bytes, at + 1), Byte(bytes, at + 2),
                  Byte(bytes, at + 3));
    return text;
}

std::string IPv6Text(std::string_view bytes, std::size_t at) {
    char text[INET6_ADDRSTRLEN];
    in6_addr address;
    std::memcpy(&address, bytes.data() + at, sizeof address);
    return ::inet_ntop(AF_INET6, &address, text, sizeof text) ? text : "";
}

// A name goes to the resolver and into blank-separated texts: nothing that
// would cut or split it may pass.
bool UsableName(std::string_view name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= ' ' || u == 0x7f;
    });
}

// The address field of a SOCKS 5 form (ATYP at `at`, address, port);
// kIncomplete until it is whole.
SocksParse ParseAddress(std::string_view bytes, std::size_t at, int& type, std::string& host, int& port,
                        std::size_t& end) {
    if (bytes.size() <= at) return SocksParse::kIncomplete;
    type = Byte(bytes, at);
    std::size_t addressAt = at + 1;
    std::size_t addressLength = 0;
    switch (type) {
    case kSocksIPv4:
        addressLength = 4;
        break;
    case kSocksIPv6:
        addressLength = 16;
        break;
    case kSocksDomain:
        if (bytes.size() <= at + 1) return SocksParse::kIncomplete;
        addressLength = Byte(bytes, at + 1);
        addressAt = at + 2;
        if (addressLength == 0) return SocksParse::kBad;
        break;
    default:
        return SocksParse::kBad;
    }
    end = addressAt + addressLength + 2;
    if (bytes.size() < end) return SocksParse::kIncomplete;
    if (type == kSocksIPv4) host = IPv4Text(bytes, addressAt);
    else if (type == kSocksIPv6) host = IPv6Text(bytes, addressAt);
    else host.assign(bytes.substr(addressAt, addressLength));
    if (type == kSocksDomain && !UsableName(host)) return SocksParse::kBad;
    port = PortAt(bytes, addressAt + addressLength);
    return SocksParse::kComplete;
}

void AppendPort(std::string& out, int port) {
    out.push_back(static_cast<char>((port >> 8) & 0xff));
    out.push_back(static_cast<char>(port & 0xff));
}

}  // namespace

bool SocksRequest::hasAddress() const {
    if (addressType == kSocksDomain) return true;
    return host != "0.0.0.0" && host != "::";
}

SocksParse ParseSocks4Request(std::string_view bytes, SocksRequest& request) {
    if (!bytes.empty() && Byte(bytes, 0) != 4) return SocksParse::kBad;
    if (bytes.size() < 9) return SocksParse::kIncomplete;
    const std::size_t userEnd = bytes.find('\0', 8);
    if (userEnd == std::string_view::npos) return SocksParse::kIncomplete;
    request.version = 4;
    request.command = Byte(bytes, 1);
    request.port = PortAt(bytes, 2);
    request.addressField.assign(bytes.substr(2, 6));
    request.userId.assign(bytes.substr(8, userEnd - 8));
    // 0.0.0.x with x not 0: SOCKS 4a, the name follows the user id.
    const bool named = Byte(bytes, 4) == 0 && Byte(bytes, 5) == 0 && Byte(bytes, 6) == 0 && Byte(bytes, 7) != 0;
    if (!named) {
        request.addressType = kSocksIPv4;
        request.host = IPv4Text(bytes, 4);
        request.length = userEnd + 1;
        return SocksParse::kComplete;
    }
    const std::size_t hostEnd = bytes.find('\0', userEnd + 1);
    if (hostEnd == std::string_view::npos) return SocksParse::kIncomplete;
    request.addressType = kSocksDomain;
    request.host.assign(bytes.substr(userEnd + 1, hostEnd - userEnd - 1));
    request.length = hostEnd + 1;
    if (request.host.size() > 255 || !UsableName(request.host)) return SocksParse::kBad;
    return SocksParse::kComplete;
}

SocksParse ParseSocks5Greeting(std::string_view bytes, std::vector<unsigned char>& methods, std::size_t& length) {
    if (!bytes.empty() && Byte(bytes, 0) != 5) return SocksParse::kBad;
    if (bytes.size() < 2) return SocksParse::kIncomplete;
    const std::size_t count = Byte(bytes, 1);
    if (count == 0) return SocksParse::kBad;
    if (bytes.size() < 2 + count) return SocksParse::kIncomplete;
    methods.assign(bytes.begin() + 2, bytes.begin() + 2 + static_cast<std::ptrdiff_t>(count));
    length = 2 + count;
    return SocksParse::kComplete;
}

unsigned char ChooseSocks5Method(const std::vector<unsigned char>& methods, bool authenticationOn) {
    const auto offered = [&](unsigned char method) {
        return std::find(methods.begin(), methods.end(), method) != methods.end();
    };
    if (authenticationOn) return offered(kSocksMethodPassword) ? kSocksMethodPassword : kSocksMethodNoneAcceptable;
    if (offered(kSocksMethodNone)) return kSocksMethodNone;
    if (offered(kSocksMethodPassword)) return kSocksMethodPassword;
    return kSocksMethodNoneAcceptable;
}

SocksParse ParseSocks5Credentials(std::string_view bytes, std::string& user, std::string& password,
                                  std::size_t& length) {
    if (!bytes.empty() && Byte(bytes, 0) != 1) return SocksParse::kBad;
    if (bytes.size() < 2) return SocksParse::kIncomplete;
    const std::size_t userLength = Byte(bytes, 1);
    if (bytes.size() < 2 + userLength + 1) return SocksParse::kIncomplete;
    const std::size_t passwordLength = Byte(bytes, 2 + userLength);
    length = 2 + userLength + 1 + passwordLength;
    if (bytes.size() < length) return SocksParse::kIncomplete;
    user.assign(bytes.substr(2, userLength));
    password.assign(bytes.substr(3 + userLength, passwordLength));
    return SocksParse::kComplete;
}

SocksParse ParseSocks5Request(std::string_view bytes, SocksRequest& request) {
    if (!bytes.empty() && Byte(bytes, 0) != 5) return SocksParse::kBad;
    if (bytes.size() < 4) return SocksParse::kIncomplete;
    request.version = 5;
    request.command = Byte(bytes, 1);
    std::size_t end = 0;
    const SocksParse parse = ParseAddress(bytes, 3, request.addressType, request.host, request.port, end);
    if (parse != SocksParse::kComplete) return parse;
    request.addressField.assign(bytes.substr(4, end - 4));
    request.length = end;
    return SocksParse::kComplete;
}

std::string BuildSocksReply(const SocksRequest& request, int code) {
    std::string reply;
    if (request.version == 4) {
        reply.push_back('\0');
        reply.push_back(static_cast<char>(code));
        std::string field = request.addressField;
        field.resize(6, '\0');
        return reply + field;
    }
    reply = {'\5', static_cast<char>(code), '\0', static_cast<char>(request.addressType)};
    if (request.addressField.empty()) {
        // A request whose address could not be read: an empty IPv4 address.
        reply[3] = static_cast<char>(kSocksIPv4);
        return reply + std::string(6, '\0');
    }
    return reply + request.addressField;
}

std::string BuildSocksAddressReply(int version, int code, const std::string& address, int port) {
    in_addr v4;
    in6_addr v6;
    std::string reply;
    if (version == 4) {
        if (::inet_pton(AF_INET, address.c_str(), &v4) != 1) {
            // An IPv4 client reached over IPv6 as a mapped address.
            if (::inet_pton(AF_INET6, address.c_str(), &v6) != 1 || !IN6_IS_ADDR_V4MAPPED(&v6)) return {};
            std::memcpy(&v4, v6.s6_addr + 12, sizeof v4);
        }
        reply = {'\0', static_cast<char>(code)};
        AppendPort(reply, port);
        reply.append(reinterpret_cast<const char*>(&v4), sizeof v4);
        return reply;
    }
    reply = {'\5', static_cast<char>(code), '\0'};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        reply.push_back(static_cast<char>(kSocksIPv4));
        reply.append(reinterpret_cast<const char*>(&v4), sizeof v4);
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
        reply.push_back(static_cast<char>(kSocksIPv6));
        reply.append(reinterpret_cast<const char*>(&v6), sizeof v6);
    } else {
        if (!UsableName(address) || address.size() > 255) return {};
        reply.push_back(static_cast<char>(kSocksDomain));
        reply.push_back(static_cast<char>(address.size()));
        reply += address;
    }
    AppendPort(reply, port);
    return reply;
}

bool ParseSocksUdpHeader(std::string_view datagram, SocksUdpHeader& header) {
    if (datagram.size() < 4 || Byte(datagram, 0) != 0 || Byte(datagram, 1) != 0) return false;
    header.fragment = Byte(datagram, 2);
    std::size_t end = 0;
    if (ParseAddress(datagram, 3, header.addressType, header.host, header.port, end) != SocksParse::kComplete)
        return false;
    header.length = end;
    return true;
}

}  // namespace engine
