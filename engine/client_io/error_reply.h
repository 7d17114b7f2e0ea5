// The replies the HTTP proxy gives itself when it cannot serve a request:
// a short HTML page with the status, in the look of the block pages, after
// which the connection closes.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// "HTTP/1.1 <status> <reason>" with a page that says message (HTML, made
// by the caller: client text in it goes through HtmlText), dated now,
// "Proxy-Connection: close" and "Connection: close".
std::string ProxyErrorReply(int status, const std::string& reason, const std::string& message);

// Text from a request, safe inside a page: markup characters escaped.
std::string HtmlText(std::string_view text);

}  // namespace engine
