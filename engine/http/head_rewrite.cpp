#include "engine/http/head_rewrite.h"

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "common/ascii_case.h"
#include "common/list_file.h"
#include "common/text.h"
#include "engine/client_io/client_send.h"
#include "engine/core/daily_log.h"
#include "engine/core/header_text.h"
#include "engine/http/outgoing_request.h"
#include "engine/tls/tls.h"

namespace engine {

namespace {

using common::StartsWithIgnoringAsciiCase;

constexpr const char* kServerName = "VELQOR Server";

std::string_view TrimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

std::string_view Trim(std::string_view text) { return common::TrimBlanks(TrimLineEnd(text)); }

// The value of a header line: what follows its first colon.
std::string_view ValueOf(std::string_view line) {
    size_t colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
}

// True when one of the comma-separated tokens of the value is word.
bool HasToken(std::string_view value, std::string_view word) {
    while (true) {
        size_t comma = value.find(',');
        std::string_view token = Trim(value.substr(0, comma));
        if (common::EqualsIgnoringAsciiCase(token, word)) return true;
        if (comma == std::string_view::npos) return false;
        value.remove_prefix(comma + 1);
    }
}

bool IsUpgradeLine(std::string_view line) {
    return StartsWithIgnoringAsciiCase(line, "upgrade:") || StartsWithIgnoringAsciiCase(line, "connection: upgrade") ||
           StartsWithIgnoringAsciiCase(line, "proxy-connection: upgrade");
}

// "Connection:" and two misspellings that servers have been seen to send.
bool IsConnectionLine(std::string_view line) {
    return StartsWithIgnoringAsciiCase(line, "connection:") || StartsWithIgnoringAsciiCase(line, "cneonction:") ||
           StartsWithIgnoringAsciiCase(line, "nncoection:");
}

std::string VersionDigits(std::string_view versionText) {
    versionText = Trim(versionText);
    if (StartsWithIgnoringAsciiCase(versionText, "http/")) versionText.remove_prefix(5);
    return std::string(versionText.substr(0, versionText.find_first_of(" \t")));
}

// Responses that never carry a body, whatever their head says.
bool HasNoBody(int status) { return (status >= 100 && status < 200) || status == 204 || status == 304; }

int StatusCodeOf(std::string_view statusLine) {
    size_t blank = statusLine.find(' ');
    if (blank == std::string_view::npos) return 0;
    return std::atoi(std::string(statusLine.substr(blank + 1, 3)).c_str());
}

// Takes the lines of a head one at a time.
class HeadRewriter {
public:
    enum class Step { More, Done, Refused };

    HeadRewriter(const ConnectionRecord& connection, std::string_view versionText, bool addOwnLines,
                 const EngineSettings& settings)
        : connection_(connection),
          settings_(settings),
          addOwnLines_(addOwnLines && settings.addHeaders),
          addVia_(addOwnLines_ && settings.headerVia),
          version_(VersionDigits(versionText)),
          willClose_(connection.KeepAlive == 0) {}

    // Refused: the line is not part of what is sent (no status line, or no
    // room left); it stays in the response.
    Step Feed(std::string_view line) {
        const bool statusLine = !started_;
        if (statusLine) {
            started_ = true;
            if (!StartsWithIgnoringAsciiCase(line, "http/")) return Step::Refused;
            result_.statusLineFound = true;
            status_ = StatusCodeOf(line);
        }
        if (statusLine && StartsWithIgnoringAsciiCase(line, "http/1.")) {
            version_ = std::string(line.substr(5, 3));
            if (version_ == "1.0") result_.endsKeepAlive = true;
        }
        if (IsEmptyLine(line)) return FeedEnd(line);
        if (IsUpgradeLine(line)) {
            result_.consumed += line.size();
            return Step::More;
        }

        const bool proxyConnectionLine = StartsWithIgnoringAsciiCase(line, "proxy-connection:");
        // A server's keep-alive would contradict the close the engine has
        // already chosen for this connection.
        if ((willClose_ || result_.endsKeepAlive) && (IsConnectionLine(line) || proxyConnectionLine) && HasToken(ValueOf(line), "keep-alive")) {
            result_.consumed += line.size();
            return Step::More;
        }
        std::string kept;
        if (IsConnectionLine(line) && HasToken(ValueOf(line), "close")) {
            kept = "Connection: close\r\n";
            result_.endsKeepAlive = true;
            closeSent_ = true;
        } else if (proxyConnectionLine && HasToken(ValueOf(line), "close")) {
            result_.endsKeepAlive = true;
            proxyCloseSent_ = true;
            kept = line;
        } else if (addVia_ && StartsWithIgnoringAsciiCase(line, "via:")) {
            kept = std::string(TrimLineEnd(line)) + "," + ViaValue(version_, connection_);
            viaSeen_ = true;
        } else {
            kept = line;
        }
        const bool lengthLine = StartsWithIgnoringAsciiCase(line, "content-length:");
        if (lengthLine) lengthKnown_ = true;
        if (StartsWithIgnoringAsciiCase(line, "transfer-encoding:") && HasToken(ValueOf(line), "chunked"))
            lengthKnown_ = chunked_ = true;
        if (statusLine && addOwnLines_) kept += ForwardingLines(connection_, settings_);
        if (lengthLine) lengthLines_.push_back({result_.head.size(), kept.size()});
        return Append(kept, line.size()) ? Step::More : Step::Refused;
    }

    RewrittenHead Finish() {
        // A head that never ends leaves nothing to tell where the response ends.
        if (result_.statusLineFound && !result_.headEnd) result_.endsKeepAlive = true;
        return std::move(result_);
    }

private:
    Step FeedEnd(std::string_view line) {
        std::string end;
        // A body that ends only when the server closes reaches its end at
        // the client only by a close as well.
        if (!lengthKnown_ && !HasNoBody(status_)) result_.endsKeepAlive = true;
        // A client that is not told of the close may send its next request
        // on a connection that is going away, and lose it.
        if (result_.endsKeepAlive || willClose_) {
            if (!closeSent_) end += "Connection: close\r\n";
            if (!proxyCloseSent_) end += "Proxy-Connection: close\r\n";
        }
        // The chunked framing is the one that holds; a length beside it
        // would tell the client another end (and must not reach it).
        if (chunked_) {
            for (auto at = lengthLines_.rbegin(); at != lengthLines_.rend(); ++at)
                result_.head.erase(at->first, at->second);
        }
        if (addVia_ && !viaSeen_) {
            end += "VIA: " + ViaValue(version_, connection_) + "\r\n";
        } else {
            end += line;
        }
        if (!Append(end, line.size())) return Step::Refused;
        result_.headEnd = true;
        return Step::Done;
    }

    bool Append(const std::string& kept, size_t lineSize) {
        if (result_.head.size() + kept.size() > kResponseHeadLimit) return false;
        result_.head += kept;
        result_.consumed += lineSize;
        return true;
    }

    const ConnectionRecord& connection_;
    const EngineSettings& settings_;
    const bool addOwnLines_;
    const bool addVia_;
    std::string version_;
    RewrittenHead result_;
    bool started_ = false;
    int status_ = 0;
    const bool willClose_;  // the engine closes the connection after this response
    bool closeSent_ = false;
    bool proxyCloseSent_ = false;
    bool viaSeen_ = false;
    bool lengthKnown_ = false;
    bool chunked_ = false;
    std::vector<std::pair<size_t, size_t>> lengthLines_;  // offset and size of each length line in the head
};

}  // namespace

std::string ViaValue(std::string_view versionDigits, const ConnectionRecord& connection) {
    return std::string(versionDigits) + " " + connection.ListenHostName + " (" + kServerName + " " + kEngineVersion +
           ")\r\n";
}

RewrittenHead RewriteResponseHead(std::string_view stored, const ConnectionRecord& connection,
                                  std::string_view versionText, bool addOwnLines, const EngineSettings& settings) {
    HeadRewriter rewriter(connection, versionText, addOwnLines, settings);
    while (!stored.empty()) {
        size_t end = std::min(stored.find('\n'), kResponseLineLimit - 1);
        std::string_view line = stored.substr(0, end + 1);
        if (rewriter.Feed(line) != HeadRewriter::Step::More) break;
        stored.remove_prefix(line.size());
    }
    return rewriter.Finish();
}

HeadSendResult SetVIAResponseHeader(ConnectionRecord& connection, FILE* response, std::string_view versionText,
                                    bool addOwnLines, const EngineSettings& settings) {
    const int client = connection.ClientSocket;
    const long start = std::ftell(response);
    HeadRewriter rewriter(connection, versionText, addOwnLines, settings);
    std::string line;
    while (common::ReadLinePiece(response, kResponseLineLimit, line)) {
        HeadRewriter::Step step = rewriter.Feed(line);
        if (step == HeadRewriter::Step::Refused) {
            std::fseek(response, -static_cast<long>(line.size()), SEEK_CUR);
            break;
        }
        if (step == HeadRewriter::Step::Done) break;
    }
    RewrittenHead head = rewriter.Finish();
    if (!head.statusLineFound) {
        WriteLogF("[SetVIAResponseHeader] [%04d] Header not found.\n", client);
        std::fseek(response, start, SEEK_SET);
        return HeadSendResult::NotFound;
    }
    if (head.endsKeepAlive) connection.KeepAlive = 0;

    WriteLogF("[SetVIAResponseHeader] [%04d] bHEnd = %s / Header size = %d\n", client,
              head.headEnd ? "found" : "not found", static_cast<int>(head.head.size()));
    // The head waits for a slow client as long as the body after it does.
    ssize_t sent = SecureSendData(client, connection.Tls.client.get(), head.head.data(), head.head.size(),
                                  ClientSendTimeout(settings));
    if (sent < 0) {
        WriteLogF("[SetVIAResponseHeader] [%04d] send(%04d): WSAGetLastError() = %d\n", client, client, errno);
        return HeadSendResult::SendFailed;
    }
    WriteLogF("[SetVIAResponseHeader] [%04d] Responseheader [\n%s]\n", client, head.head.c_str());
    WriteLogF("[SetVIAResponseHeader] [%04d] C:send(%04d):%d bytes\n", client, client, static_cast<int>(sent));
    return HeadSendResult::Sent;
}

}  // namespace engine
