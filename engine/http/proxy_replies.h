// Replies the HTTP proxy writes itself rather than relaying a server's.
#pragma once

#include <string>

namespace engine {

// The "407 Proxy Authentication Required" reply that asks the client for
// Basic credentials, dated with date (the engine's RFC 822 date text).
// The connection is closed after it ("Proxy-Connection: close").
std::string ProxyAuthRequiredReply(const std::string& date);

// The same, dated now.
std::string ProxyAuthRequiredReply();

}  // namespace engine
