// The data addresses FTP commands and replies carry: "PORT h1,h2,h3,h4,p1,p2",
// "EPRT |f|address|port|", "227 ... (h1,h2,h3,h4,p1,p2)" and
// "229 ... (|||port|)" (RFC 959, RFC 2428), read and written.
#pragma once

#include <string>
#include <string_view>

namespace engine {

struct DataAddress {
    std::string host;  // "" when the text names none (229, EPRT with an empty address)
    int port = 0;
};

// A decimal number of digits only (blanks around it allowed), 0..limit.
bool DecimalUpTo(std::string_view text, int limit, int& value);

// The argument of PORT ("h1,h2,h3,h4,p1,p2") or EPRT ("|1|addr|port|" with
// any delimiter). False for anything else or a value out of range.
bool ParsePortArgument(std::string_view argument, DataAddress& address);
bool ParseEprtArgument(std::string_view argument, DataAddress& address);

// A 227 or 229 reply's bracket. False when the reply has none or it is
// malformed.
bool ParsePassiveReply(std::string_view reply, DataAddress& address);
// Only the port of a 227 or 229 reply.
bool ReadPassivePort(std::string_view reply, int& port);

// "h1,h2,h3,h4,p1,p2" for an IPv4 address text and a port.
std::string CommaAddress(const std::string& ipv4, int port);
// "|1|addr|port|" or "|2|addr|port|" by the address's family.
std::string EprtArgument(const std::string& address, int port);
// The replies the engine gives in the server's place.
std::string Reply227(const std::string& ipv4, int port);
std::string Reply229(int port);

}  // namespace engine
