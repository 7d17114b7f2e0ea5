#include "engine/tunnel/connect_request.h"

#include <algorithm>
#include <cctype>

#include "common/ascii_case.h"
#include "engine/access/numeric_host.h"
#include "engine/core/header_text.h"

namespace engine {

namespace {

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A port of 1 to 65535 in decimal.
bool ReadPort(std::string_view text, int& port) {
    if (!AllDigits(text) || text.size() > 5) return false;
    int value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    if (value < 1 || value > 65535) return false;
    port = value;
    return true;
}

}  // namespace

ConnectTargetResult ParseConnectTarget(std::string_view requestLine, ConnectTarget& target) {
    target = ConnectTarget{};
    const std::string_view line = WithoutLineEnd(requestLine);
    const size_t lastBlank = line.rfind(' ');
    if (lastBlank != std::string_view::npos &&
        !common::StartsWithIgnoringAsciiCase(line.substr(lastBlank + 1), "http/"))
        return ConnectTargetResult::BadVersion;
    const size_t firstBlank = line.find(' ');
    if (firstBlank == std::string_view::npos || firstBlank == lastBlank) return ConnectTargetResult::BadTarget;
    std::string_view text = line.substr(firstBlank + 1, lastBlank - firstBlank - 1);
    text.remove_prefix(std::min(text.size(), text.find_first_not_of(' ')));
    text = text.substr(0, text.find(' '));

    std::string_view host = text;
    std::string_view port;
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos || close == 1) return ConnectTargetResult::BadTarget;
        host = text.substr(0, close + 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return ConnectTargetResult::BadTarget;
            port = rest.substr(1);
            if (port.empty()) return ConnectTargetResult::BadTarget;
        }
    } else if (const size_t colon = text.find(':'); colon != std::string_view::npos) {
        // A second colon: a bare IPv6 address, whose port can't be told.
        if (text.find(':', colon + 1) != std::string_view::npos) return ConnectTargetResult::BadTarget;
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty()) return ConnectTargetResult::BadTarget;
    }
    if (host.empty() || (!port.empty() && !ReadPort(port, target.port))) return ConnectTargetResult::BadTarget;
    target.host = ListedHost(host);
    target.written = target.host + std::string(text.substr(host.size()));
    return ConnectTargetResult::Ok;
}

std::string ConnectUrlKey(const ConnectTarget& target) {
    return "https://" + (target.port == 443 ? target.host : target.written) + "/";
}

std::string ConnectListKey(const std::string& listenAddress, int listenPort, const ConnectTarget& target) {
    return listenAddress + ":" + std::to_string(listenPort) + ",connect,tcp," + target.host + "," +
           std::to_string(target.port);
}

std::string HeadForUpstream(std::string_view capturedHead, bool dropCredentials) {
    if (!dropCredentials) return std::string(capturedHead);
    std::string head;
    head.reserve(capturedHead.size());
    while (!capturedHead.empty()) {
        const size_t lf = capturedHead.find('\n');
        const size_t length = lf == std::string_view::npos ? capturedHead.size() : lf + 1;
        const std::string_view line = capturedHead.substr(0, length);
        capturedHead.remove_prefix(length);
        if (!common::StartsWithIgnoringAsciiCase(line, "proxy-authorization:")) head.append(line);
    }
    return head;
}

std::size_t ReplyHeadEnd(std::string_view received) {
    size_t lineStart = 0;
    for (size_t lf = received.find('\n'); lf != std::string_view::npos; lf = received.find('\n', lineStart)) {
        if (IsEmptyLine(received.substr(lineStart, lf + 1 - lineStart))) return lf + 1;
        lineStart = lf + 1;
    }
    return std::string_view::npos;
}

int ReplyStatus(std::string_view replyHead) {
    const std::string_view line = WithoutLineEnd(replyHead);
    if (!common::StartsWithIgnoringAsciiCase(line, "http/")) return 0;
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return 0;
    const std::string_view code = line.substr(blank + 1, 3);
    if (code.size() != 3 || !AllDigits(code)) return 0;
    return (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
}

}  // namespace engine
