// Conversions between socket addresses and their texts, and the DNS names
// the engine shows for addresses and for itself.
#pragma once

#include <optional>
#include <string>

#include <sys/socket.h>

namespace engine {

// Error of an address of an unsupported family (WSAEAFNOSUPPORT).
inline constexpr int kAddressFamilyNotSupported = 10047;

// Address text to a socket address of the family (port 0). IPv4 takes the
// classic dotted forms and refuses the all-ones address; IPv6 refuses a
// text with a port or a scope id. 1 success, 0 failure, -1 other family
// (errno is then kAddressFamilyNotSupported).
int TextToAddress(int family, const std::string& text, sockaddr_storage& address);

// The text of a socket address, port ignored. An IPv4 address carried in
// IPv6 form (::ffff:a.b.c.d) is written dotted, so rules and logs see one
// form per client. nullopt for another family or a failed conversion.
std::optional<std::string> AddressToText(const sockaddr* address);

// The port of an IPv4 or IPv6 socket address (0 for another family).
int AddressPort(const sockaddr* address);

// Rewrites an IPv4-mapped IPv6 socket address as the IPv4 address it
// carries; other addresses are left alone.
void UnmapIPv4(sockaddr_storage& address, socklen_t& length);

// The DNS name of an address text, "[text]" when the text is no numeric
// address, or "" when the address has no name.
std::string ReverseName(const std::string& addressText);

// This machine's canonical name, looked up by the listeners' IP version
// (-i: 0 IPv4, 1 IPv6, anything else either), asked twice before giving
// up, else the plain host name; a "." is appended to a name without one.
std::string QueryHostDomain(int ipVersion);

}  // namespace engine
