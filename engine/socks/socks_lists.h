// The black and white lists for a SOCKS destination: a list key is
// refused when "black.db" matches it and "white.db" does not.
//
// Every SOCKS key names the listener with its port, "<listen address>:
// <listen port>,socks,<tcp|udp>,<host>,<port>", BIND and UDP included: the
// lists widen an entry written without a listen port to any port, which
// only a key that carries one can match.
#pragma once

#include <string>

namespace engine {

std::string SocksListKey(const std::string& listenAddress, int listenPort, const char* transport,
                         const std::string& host, int port);

bool SocksKeyBlackListed(const std::string& listKey);

}  // namespace engine
