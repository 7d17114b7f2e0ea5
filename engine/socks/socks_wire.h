// The SOCKS 4, 4a and 5 wire forms: the client's greeting, user name and
// password, and request, read from the bytes received so far, and the
// replies sent back. Nothing here touches a socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The most bytes a negotiation step may take before it counts as broken:
// the request buffer less its terminating NUL.
inline constexpr std::size_t kSocksReadLimit = 16384;

enum class SocksParse {
    kIncomplete,  // more bytes are needed
    kComplete,
    kBad,  // no valid form can follow: the client is dropped
};

enum SocksCommand : int { kSocksConnect = 1, kSocksBind = 2, kSocksUdpAssociate = 3 };

enum SocksAddressType : int { kSocksIPv4 = 1, kSocksDomain = 3, kSocksIPv6 = 4 };

// SOCKS 4 reply codes.
inline constexpr int kSocks4Granted = 90;
inline constexpr int kSocks4Failed = 91;
inline constexpr int kSocks4ConnectFailed = 92;
inline constexpr int kSocks4NoUserId = 93;
// SOCKS 5 reply codes.
inline constexpr int kSocks5Succeeded = 0;
inline constexpr int kSocks5GeneralFailure = 1;
inline constexpr int kSocks5NotAllowed = 2;
inline constexpr int kSocks5NetworkUnreachable = 3;
inline constexpr int kSocks5HostUnreachable = 4;
inline constexpr int kSocks5ConnectionRefused = 5;
inline constexpr int kSocks5CommandNotSupported = 7;
inline constexpr int kSocks5AddressTypeNotSupported = 8;

inline constexpr unsigned char kSocksMethodNone = 0;
inline constexpr unsigned char kSocksMethodPassword = 2;
inline constexpr unsigned char kSocksMethodNoneAcceptable = 255;

// One request of either version, taken apart.
struct SocksRequest {
    int version = 0;  // 4 or 5
    int command = 0;
    int addressType = kSocksIPv4;  // SOCKS 4 (not 4a): IPv4; 4a: a domain name
    std::string host;              // "%u.%u.%u.%u", the name, or IPv6 text
    int port = 0;
    // SOCKS 5: the address field and port as they came (the reply echoes
    // them); SOCKS 4: the port and the four address bytes.
    std::string addressField;
    std::string userId;  // SOCKS 4 only
    std::size_t length = 0;  // bytes of the request

    bool hasAddress() const;  // not 0.0.0.0 / :: (a BIND names its peer)
};

// SOCKS 4 and 4a: "4 CD PORT IP USERID NUL [HOST NUL]". The 4a host name
// follows the user id's NUL, wherever that is.
SocksParse ParseSocks4Request(std::string_view bytes, SocksRequest& request);

// SOCKS 5 greeting: "5 N METHODS...". `length` is set to its byte count.
SocksParse ParseSocks5Greeting(std::string_view bytes, std::vector<unsigned char>& methods, std::size_t& length);

// The method answered to the offered ones: with authentication on only
// user name and password; with it off, no authentication, or user name
// and password (every pair accepted) for a client that offers nothing else.
// kSocksMethodNoneAcceptable when no offered method will do.
unsigned char ChooseSocks5Method(const std::vector<unsigned char>& methods, bool authenticationOn);

// RFC 1929 sub-negotiation: "1 ULEN USER PLEN PASSWORD".
SocksParse ParseSocks5Credentials(std::string_view bytes, std::string& user, std::string& password,
                                  std::size_t& length);

// SOCKS 5 request: "5 CMD 0 ATYP ADDR PORT". An unknown address type or an
// empty name is kBad with addressType set, so that the reply can say so;
// a name holding a NUL, a control character or a blank is kBad as well.
SocksParse ParseSocks5Request(std::string_view bytes, SocksRequest& request);

// The reply to a request: SOCKS 4 "0 CODE PORT IP" (8 bytes) with the
// request's port and address; SOCKS 5 "5 CODE 0 ATYP" and the request's
// address field and port, under the request's own address type.
std::string BuildSocksReply(const SocksRequest& request, int code);

// A reply naming an address and port of the engine's (BIND, UDP
// ASSOCIATE): SOCKS 4 takes an IPv4 address, SOCKS 5 an IPv4 or IPv6
// address, or a name. Empty when the address can't be written in the
// version's form.
std::string BuildSocksAddressReply(int version, int code, const std::string& address, int port);

// SOCKS 5 UDP datagram header "0 0 FRAG ATYP ADDR PORT", checked against
// the datagram's length.
struct SocksUdpHeader {
    int fragment = 0;
    int addressType = 0;
    std::string host;
    int port = 0;
    std::size_t length = 0;  // of the header; the payload follows
};
bool ParseSocksUdpHeader(std::string_view datagram, SocksUdpHeader& header);

}  // namespace engine
