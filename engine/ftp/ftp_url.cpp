#include "engine/ftp/ftp_url.h"

#include "engine/ftp/data_address.h"
#include "engine/ftp/ftp_reply.h"

namespace engine {

namespace {

// An empty port keeps the default.
bool ParsePort(std::string_view text, int& port) {
    int value = 0;
    if (text.empty()) return true;
    if (text.find(' ') != std::string_view::npos || !DecimalUpTo(text, 65535, value) || value == 0) return false;
    port = value;
    return true;
}

std::string Decoded(std::string_view text, size_t limit) {
    std::string out(text);
    PercentDecode(out, limit);
    return out;
}

}  // namespace

FtpUrlResult ParseFtpUrl(std::string_view url, FtpUrlRequest& request) {
    request = FtpUrlRequest{};
    size_t scheme = url.find("://");
    if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
    url = url.substr(0, url.find_first_of(" \t\r\n"));

    size_t slash = url.find('/');
    std::string_view authority = url.substr(0, slash);
    std::string_view path = slash == std::string_view::npos ? std::string_view("/") : url.substr(slash);

    // Credentials end at the last "@" before the path, so an "@" in the
    // password survives and an "@" in the path is no credential.
    size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view userInfo = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        size_t colon = userInfo.find(':');
        if (colon != std::string_view::npos) {
            request.user = Decoded(userInfo.substr(0, colon), kFtpFieldLimit);
            request.password = Decoded(userInfo.substr(colon + 1), kFtpFieldLimit);
        } else if (!userInfo.empty()) {
            request.user = Decoded(userInfo, kFtpFieldLimit);
        }
    }

    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        size_t close = authority.find(']');
        if (close == std::string_view::npos) return FtpUrlResult::NoHost;
        request.host = std::string(authority.substr(1, close - 1));
        std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return FtpUrlResult::NoHost;
        if (!rest.empty()) portText = rest.substr(1);
    } else {
        size_t colon = authority.find(':');
        request.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
    }
    if (request.host.empty() || request.host.size() > kFtpFieldLimit || !ParsePort(portText, request.port))
        return FtpUrlResult::NoHost;

    path = path.substr(0, kFtpUrlPathLimit);
    size_t lastSlash = path.rfind('/');
    size_t dot = path.rfind('.');
    // A path ending in "/" names a folder whatever dots it holds: RETR of
    // an empty name is no request.
    if (path.back() != '/' && dot != std::string_view::npos && path.size() - dot - 1 <= 4) {
        request.command = "RETR";
        request.fileName = Decoded(path.substr(lastSlash + 1), kFtpFieldLimit);
        path = path.substr(0, lastSlash + 1);
    } else {
        request.command = "LIST";
    }
    request.path = Decoded(path, kFtpDecodedPathLimit);

    if (BreaksCommandLine(request.user) || BreaksCommandLine(request.password) || BreaksCommandLine(request.path) ||
        BreaksCommandLine(request.fileName))
        return FtpUrlResult::Injection;
    return FtpUrlResult::Ok;
}

}  // namespace engine
