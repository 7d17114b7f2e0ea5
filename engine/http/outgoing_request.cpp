#include "engine/http/outgoing_request.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "common/text.h"
#include "engine/core/header_text.h"
#include "engine/core/socket_wait.h"
#include "engine/http/chunked.h"
#include "engine/http/head_rewrite.h"
#include "engine/http/response_reader.h"
#include "engine/tls/tls.h"

namespace engine {

namespace {

// The most bytes one sendfile call is asked for.
constexpr size_t kSendFilePiece = 1 << 20;

std::string_view ValueAfter(std::string_view line, size_t nameLength) {
    return common::TrimBlanks(WithoutLineEnd(line).substr(nameLength));
}

// A "Proxy-Connection:" line other than the upgrade one, which passes as
// it is.
bool IsProxyConnectionLine(std::string_view line) {
    return common::StartsWithIgnoringAsciiCase(line, "proxy-connection:") &&
           !common::StartsWithIgnoringAsciiCase(line, "proxy-connection: upgrade");
}

// The client asks to keep the connection with this Proxy-Connection line,
// and may.
bool KeepsAlive(std::string_view line, const RequestTarget& target, const EngineSettings& settings) {
    return !settings.keepAliveOff && common::EqualsIgnoringAsciiCase(target.version, "http/1.1") &&
           common::StartsWithIgnoringAsciiCase(ValueAfter(line, std::string_view("proxy-connection:").size()),
                                               "keep-alive");
}

}  // namespace

bool RequestKeepsAlive(std::string_view capturedHead, const RequestTarget& target, const EngineSettings& settings) {
    bool keep = false;
    ForEachHeadLine(capturedHead, false, [&](std::string_view line) {
        keep = IsProxyConnectionLine(line) && KeepsAlive(line, target, settings);
        return !keep;
    });
    return keep;
}

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

OutgoingRequest BuildOutgoingRequest(std::string_view capturedHead, const std::string& requestLine, bool direct,
                                     const RequestTarget& target, const ConnectionRecord& connection,
                                     const EngineSettings& settings) {
    OutgoingRequest out;
    const bool addVia = settings.addHeaders && settings.headerVia;
    const std::string versionDigits = target.version.size() > 5 ? target.version.substr(5) : "";
    bool viaSeen = false;
    bool ended = false;
    // The server serves the host the lists judged, never another one that
    // the client named in its own Host line.
    const std::string hostLine = target.absoluteForm ? "Host: " + target.authority + "\r\n" : "";
    bool hostWritten = hostLine.empty();
    // The body goes on with the one length the worker read it by.
    const RequestBodyFraming& body = connection.RequestBody;
    bool lengthWritten = !body.framed;

    out.head = requestLine + ForwardingLines(connection, settings);
    const size_t hostAt = out.head.size();
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
        if (!hostLine.empty() && common::StartsWithIgnoringAsciiCase(line, "host:")) {
            if (!hostWritten) out.head += hostLine;
            hostWritten = true;
            continue;
        }
        if (common::StartsWithIgnoringAsciiCase(line, "content-length:") ||
            common::StartsWithIgnoringAsciiCase(line, "transfer-encoding:")) {
            if (!lengthWritten) out.head += "Content-Length: " + std::to_string(body.length) + "\r\n";
            lengthWritten = true;
            continue;
        }
        // Proxy credentials never reach a server: those the engine checked
        // were for it; without its own check they may be for an upstream
        // proxy, and go there only.
        if ((direct || settings.proxyAuth) && common::StartsWithIgnoringAsciiCase(line, "proxy-authorization:"))
            continue;
        // The engine sends the body right behind the head (it holds it
        // whole), so the server has nothing to wait for, and no interim
        // answer of its own lands in the response.
        if (common::StartsWithIgnoringAsciiCase(line, "expect:")) continue;
        if (addVia && !viaSeen && common::StartsWithIgnoringAsciiCase(line, "via:")) {
            out.head += std::string(WithoutLineEnd(line)) + "," + ViaValue(versionDigits, connection);
            viaSeen = true;
            continue;
        }
        if (IsProxyConnectionLine(line)) {
            if (KeepsAlive(line, target, settings)) {
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
    if (!hostWritten) out.head.insert(hostAt, hostLine);
    return out;
}

namespace {

// A plain body goes from the file to the server socket inside the system,
// without a copy through the engine.
bool SendFileRange(int server, const std::string& path, uint64_t offset, uint64_t length, int timeoutMs,
                   uint64_t& sent) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    off_t at = static_cast<off_t>(offset);
    bool ok = true;
    while (ok && sent < length) {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(length - sent, kSendFilePiece));
        ssize_t n = ::sendfile(server, fd, &at, piece);
        if (n > 0) {
            sent += static_cast<uint64_t>(n);
        } else if (n == 0) {
            // The capture held fewer bytes than its framing said.
            errno = EIO;
            ok = false;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            const int ready = WaitForSocket(server, POLLOUT, Deadline::After(timeoutMs));
            if (ready == 0) errno = ETIMEDOUT;
            ok = ready > 0;
        } else {
            ok = errno == EINTR;
        }
    }
    const int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

}  // namespace

bool SendRequestBody(const ConnectionRecord& connection, int server, int timeoutMs, uint64_t& sent) {
    const RequestBodyFraming& body = connection.RequestBody;
    sent = 0;
    if (body.length == 0) return true;
    if (!body.chunked && !connection.Tls.server)
        return SendFileRange(server, connection.RequestFile, body.offset, body.length, timeoutMs, sent);
    common::FilePtr file(std::fopen(connection.RequestFile.c_str(), "rb"));
    if (!file || fseeko(file.get(), static_cast<off_t>(body.offset), SEEK_SET) != 0) return false;
    std::vector<char> buffer(kWorkBufferData);
    ChunkedBody chunked;
    std::string data;
    while (sent < body.length) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (n == 0) {
            // The capture held fewer bytes than its framing said.
            errno = EIO;
            return false;
        }
        std::string_view piece(buffer.data(), n);
        if (body.chunked) {
            data.clear();
            chunked.Feed(piece, data);
            piece = data;
        }
        piece = piece.substr(0, static_cast<size_t>(std::min<uint64_t>(piece.size(), body.length - sent)));
        if (!piece.empty() && SecureSendData(server, connection.Tls.server.get(), piece.data(), piece.size(),
                                             timeoutMs) != static_cast<ssize_t>(piece.size()))
            return false;
        sent += piece.size();
    }
    return true;
}

}  // namespace engine
