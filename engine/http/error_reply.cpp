#include "engine/http/error_reply.h"

#include "common/http_date.h"
#include "engine/core/engine_settings.h"

namespace engine {

std::string ProxyErrorReply(int status, const std::string& reason, const std::string& message) {
    const std::string title = std::to_string(status) + " " + reason;
    const std::string body = "<html><head><title>" + title + "</title></head><body><h1>" + title + "</h1><p>" +
                             message + "</p><hr>VELQOR Server " + kEngineVersion + "</body></html>\r\n";
    return "HTTP/1.1 " + title + "\r\n"
           "Date: " + common::FormatRfc822Date() + "\r\n"
           "Server: VELQOR Server-HPROXY/" + kEngineVersion + "\r\n"
           "Content-Type: text/html\r\n"
           "Content-Length: " + std::to_string(body.size()) + "\r\n"
           "Proxy-Connection: close\r\n"
           "Connection: close\r\n"
           "\r\n" + body;
}

}  // namespace engine
