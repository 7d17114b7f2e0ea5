// The replies the HTTP proxy gives itself when it cannot serve a request:
// a short HTML page with the status, after which the connection closes.
#pragma once

#include <string>

namespace engine {

// "HTTP/1.1 <status> <reason>" with a page that says message, dated now,
// "Proxy-Connection: close" and "Connection: close".
std::string ProxyErrorReply(int status, const std::string& reason, const std::string& message);

}  // namespace engine
