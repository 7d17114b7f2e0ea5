#include "engine/http/outgoing_request.h"

#include "common/ascii_case.h"
#include "common/text.h"
#include "engine/http/head_rewrite.h"
#include "engine/http/header_text.h"
#include "engine/http/response_reader.h"

namespace engine {

namespace {

std::string_view ValueAfter(std::string_view line, size_t nameLength) {
    return common::TrimBlanks(WithoutLineEnd(line).substr(nameLength));
}

}  // namespace

std::string CapturedHead(std::string_view captured) {
    captured = captured.substr(0, kRequestFileStartLimit);
    return std::string(captured.substr(0, FindHeadEnd(captured)));
}

std::string ServerRequestLine(const RequestTarget& target, std::string_view clientLine, bool direct) {
    if (direct) return target.method + " " + target.originPath + " " + target.version + "\r\n";
    if (target.absoluteForm) return std::string(WithoutLineEnd(clientLine)) + "\r\n";
    return target.method + " " + target.urlKey + " " + target.version + "\r\n";
}

std::string ForwardingLines(const ConnectionRecord& connection, const EngineSettings& settings) {
    std::string lines;
    if (!settings.addHeaders) return lines;
    if (settings.headerForwarded) {
        lines += "Forwarded: by http://" + connection.ListenHostName + ":" + std::to_string(connection.ListenPort) +
                 " (VELQOR Server " + kEngineVersion + ") for " + connection.ClientAddress + "\r\n";
    }
    if (settings.headerRemoteHostWp) lines += "Remote-Host-Wp: " + connection.ClientAddress + "\r\n";
    if (settings.headerXForwardedFor) lines += "X-Forwarded-For: " + connection.ClientAddress + "\r\n";
    return lines;
}

OutgoingRequest BuildOutgoingRequest(std::string_view capturedHead, const std::string& requestLine,
                                     const RequestTarget& target, const ConnectionRecord& connection,
                                     const EngineSettings& settings) {
    OutgoingRequest out;
    const bool addVia = settings.addHeaders && settings.headerVia;
    const std::string versionDigits = target.version.size() > 5 ? target.version.substr(5) : "";
    bool viaSeen = false;
    bool ended = false;

    out.head = requestLine + ForwardingLines(connection, settings);
    // Past the request line, up to and including the empty line.
    size_t firstEnd = capturedHead.find('\n');
    std::string_view rest = firstEnd == std::string_view::npos ? std::string_view() : capturedHead.substr(firstEnd + 1);
    while (!rest.empty()) {
        size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf == std::string_view::npos ? rest.size() : lf + 1);
        rest.remove_prefix(line.size());

        if (IsEmptyLine(line)) {
            if (addVia && !viaSeen) {
                out.head += "VIA: " + ViaValue(versionDigits, connection) + "\r\n";
            } else {
                out.head += line;
            }
            ended = true;
            break;
        }
        if (common::StartsWithIgnoringAsciiCase(line, "accept-encoding:")) continue;
        // Credentials meant for this proxy go no further.
        if (settings.proxyAuth && common::StartsWithIgnoringAsciiCase(line, "proxy-authorization:")) continue;
        if (addVia && !viaSeen && common::StartsWithIgnoringAsciiCase(line, "via:")) {
            out.head += std::string(WithoutLineEnd(line)) + "," + ViaValue(versionDigits, connection);
            viaSeen = true;
            continue;
        }
        if (common::StartsWithIgnoringAsciiCase(line, "proxy-connection:") && !common::StartsWithIgnoringAsciiCase(line, "proxy-connection: upgrade")) {
            bool keep = !settings.keepAliveOff && common::StartsWithIgnoringAsciiCase(target.version, "http/1.1") &&
                        target.version.size() == 8 &&
                        common::StartsWithIgnoringAsciiCase(ValueAfter(line, std::string_view("proxy-connection:").size()), "keep-alive");
            if (keep) {
                out.keepAlive = true;
                out.head += line;
            } else {
                out.head += "Connection: close\r\n";
            }
            continue;
        }
        out.head += line;
    }
    if (!ended) {
        // A head cut short still reaches the server whole.
        if (!out.head.empty() && out.head.back() != '\n') out.head += "\r\n";
        out.head += addVia && !viaSeen ? "VIA: " + ViaValue(versionDigits, connection) + "\r\n" : "\r\n";
    }
    return out;
}

}  // namespace engine
