#include "engine/http/proxy_replies.h"

#include "common/http_date.h"

namespace engine {

namespace {

constexpr const char* kAuthRequiredBody =
    "<HTML><HEAD></HEAD><BODY>\r\n"
    "<B>Proxy Authorization</B> required.</BODY></HTML>\r\n";

}  // namespace

std::string ProxyAuthRequiredReply(const std::string& date) {
    const std::string body = kAuthRequiredBody;
    return "HTTP/1.1 407 Proxy Authentication Required\r\n"
           "Date: " + date + "\r\n"
           "Server: ZA-DUREVA/v2.15\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/html\r\n"
           "Content-Length: " + std::to_string(body.size()) + "\r\n"
           "Proxy-Connection: close\r\n"
           "Proxy-Authenticate: Basic Realm=\"proxy\"\r\n"
           "\r\n" + body;
}

std::string ProxyAuthRequiredReply() { return ProxyAuthRequiredReply(common::FormatRfc822Date()); }

}  // namespace engine
