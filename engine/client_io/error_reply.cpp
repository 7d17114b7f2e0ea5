#include "engine/client_io/error_reply.h"

#include "common/http_date.h"
#include "engine/core/engine_settings.h"

namespace engine {

std::string ProxyErrorReply(int status, const std::string& reason, const std::string& message) {
    const std::string title = std::to_string(status) + " " + reason;
    const std::string body = "<html><head><meta http-equiv=content-type content=\"text/html; charset=shift_jis\">"
                             "<title>" + title + "</title></head><body><font color=\"gray\" size=\"2\">" + message +
                             "<br><font size=\"1\">" + title + " - VELQOR Server " + kEngineVersion +
                             "</font></font></body></html>\r\n";
    return "HTTP/1.1 " + title + "\r\n"
           "Date: " + common::FormatRfc822Date() + "\r\n"
           "Server: VELQOR Server-HPROXY/" + kEngineVersion + "\r\n"
           "Content-Type: text/html\r\n"
           "Content-Length: " + std::to_string(body.size()) + "\r\n"
           "Proxy-Connection: close\r\n"
           "Connection: close\r\n"
           "\r\n" + body;
}

std::string HtmlText(std::string_view text) {
    std::string safe;
    for (char c : text) {
        switch (c) {
        case '<': safe += "&lt;"; break;
        case '>': safe += "&gt;"; break;
        case '&': safe += "&amp;"; break;
        case '"': safe += "&quot;"; break;
        case '\'': safe += "&#39;"; break;
        default: safe += c;
        }
    }
    return safe;
}

}  // namespace engine
