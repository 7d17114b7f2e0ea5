#include "engine/http/http_road.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "common/pipe_messages.h"
#include "engine/access/lists.h"
#include "engine/client_io/error_reply.h"
#include "engine/core/daily_log.h"
#include "engine/core/header_text.h"
#include "engine/core/pipe_clients.h"
#include "engine/ftp/ftp_url_road.h"
#include "engine/http/block_pages.h"
#include "engine/http/head_rewrite.h"
#include "engine/http/held_tail.h"
#include "engine/http/outgoing_request.h"
#include "engine/http/response_reader.h"
#include "engine/http/response_spool.h"
#include "engine/tls/tls.h"
#include "engine/upstream/connect_host.h"

namespace engine {

namespace {

std::string LineText(const std::string& text) { return std::string(WithoutLineEnd(text)); }

// Holds back partial frames to the client while the head and the first
// body bytes go out by separate sends, so they leave together: otherwise a
// small head waits for the client's delayed acknowledgement before the
// body may follow, which costs a keep-alive request tens of milliseconds.
// A streamed response keeps it while the server's pieces come without a
// wait, so they leave in full frames instead of one small frame a piece.
class ClientCork {
public:
    explicit ClientCork(int socket) : socket_(socket) { Set(1); }
    ~ClientCork() { Set(0); }
    ClientCork(const ClientCork&) = delete;
    ClientCork& operator=(const ClientCork&) = delete;

    // Sends what is held back, and goes on holding.
    void Flush() {
        Set(0);
        Set(1);
    }

private:
    void Set(int on) { ::setsockopt(socket_, IPPROTO_TCP, TCP_CORK, &on, sizeof on); }
    int socket_;
};

// What one exchange with the server came to.
struct Exchange {
    bool requestSent = true;
    bool anyResponse = false;  // the server sent at least one byte
    bool quietEnd = false;     // ... or ended the stream without one (closed or reset)
    bool timedOut = false;     // ... or sent nothing within the time-out
    bool serverFailed = false; // a receive failed
    bool clientFailed = false; // a send to the client failed
    bool streamed = false;     // the response went to the client as it arrived
    bool unstored = false;     // ... and then its spool could not be written
    bool extraBytes = false;   // the server sent more than the response
    bool lengthsDiffer = false;// the head's Content-Length lines disagree
};

class Road {
public:
    Road(ConnectionRecord* record, const RequestTarget& target, const SpoolFiles& spool, const RoadOptions& options)
        : record_(record), settings_(Settings()), client_(record->ClientSocket), target_(target), spool_(spool),
          options_(options), fn_(options.function), white_(options.white) {}

    void Serve(const std::string& capturedHead);

private:
    bool Connect();
    bool SendRequest(const std::string& head);
    Exchange Receive(ResponseReader& reader, ResponseSpool& spool);
    bool SendReceivedSoFar(ResponseSpool& spool);
    void AnswerConnectFailed();
    bool AnswerUnserved(const Exchange& exchange, const ResponseSpool& spool);
    bool ScanAndFilter(bool streamed, ResponseSpool& spool);
    void FinishStreamed(bool finding);
    void ResetClient(const char* why);
    void MakeBlockPageOf(BlockPageMode mode, ResponseSpool& spool, const std::string& finding);
    void Relay(ResponseSpool& spool);

    ConnectionRecord* const record_;
    const EngineSettings& settings_;
    const int client_;
    const RequestTarget& target_;
    const SpoolFiles& spool_;
    const RoadOptions& options_;
    const char* const fn_;
    const bool white_;
    int server_ = kNoSocket;
    // The connection goes to the upstream proxy of the connection list (or
    // -s), which is asked in absolute form; any other server is the origin.
    bool upstreamProxy_ = false;
    // How many of a streamed response's last bytes wait for the scan.
    size_t holdBack_ = 0;
    std::optional<HeldTail> tail_;
};

bool Road::Connect() {
    // A SOCKS client has named its server in its SOCKS request: the request
    // goes there, whatever its Host line says.
    const bool socks = settings_.protocol == kProtocolSocks;
    const std::string requested = socks ? record_->SocksAddress : target_.host;
    std::string host = requested;
    server_ = ConnectHost(record_, host, socks ? record_->SocksPort : target_.port);
    // ConnectHost hands back another text only for an upstream proxy.
    upstreamProxy_ = host != requested;
    if (server_ == kNoSocket) {
        WriteLogF("[%s] [%04d] connect fail.\n", fn_, client_);
        return false;
    }
    WriteLogF("[%s] [%04d] [%04d] sender connect success.\n", fn_, client_, server_);
    return true;
}

bool Road::SendRequest(const std::string& head) {
    ssize_t sent = SecureSendData(server_, record_->Tls.server.get(), head.data(), head.size(),
                                  settings_.timeouts.serverPlain);
    const int error = errno;
    WriteLogF("[%s] [%04d] Requestheader [%04d] [\n%s]\n", fn_, client_, server_, head.c_str());
    if (sent != static_cast<ssize_t>(head.size())) {
        WriteLogF("[%s] [%04d] S:send(%04d): WSAGetLastError() = %d\n", fn_, client_, server_, error);
        return false;
    }
    WriteLogF("[%s] [%04d] S:send(%04d):%d bytes\n", fn_, client_, server_, static_cast<int>(sent));
    // The body follows its head, so the server never reads it as a request.
    uint64_t bodySent = 0;
    if (!SendRequestBody(*record_, server_, settings_.timeouts.serverPlain, bodySent)) {
        WriteLogF("[%s] [%04d] S:send(%04d): WSAGetLastError() = %d\n", fn_, client_, server_, errno);
        return false;
    }
    if (bodySent > 0)
        WriteLogF("[%s] [%04d] S:send(%04d):%d bytes\n", fn_, client_, server_, static_cast<int>(bodySent));
    return true;
}

// The response starts going to the client while it arrives: what has come
// so far goes out from the whole copy, its head through the head rewriting.
bool Road::SendReceivedSoFar(ResponseSpool& spool) {
    common::FilePtr file = spool.OpenWhole(settings_.openRetryTries);
    if (!file || !spool.whole()) return false;
    if (SetVIAResponseHeader(*record_, file.get(), target_.version, false, settings_) == HeadSendResult::SendFailed)
        return false;
    std::vector<char> buffer(kRelayReadSize);
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0;)
        if (!tail_->Push(buffer.data(), n)) return false;
    return true;
}

void Road::AnswerConnectFailed() {
    AnswerProxyError(record_, 502, "Bad Gateway",
                     "The proxy could not connect to the server " + HtmlText(target_.host) + ".");
}

// A response the client must not get as it came, or no response at all:
// the proxy answers in its place. False when the response may be relayed.
bool Road::AnswerUnserved(const Exchange& exchange, const ResponseSpool& spool) {
    if (exchange.lengthsDiffer) {
        WriteLogF("[%s] [%04d] [%04d] Content-Length lines disagree.\n", fn_, client_, server_);
        AnswerProxyError(record_, 502, "Bad Gateway", "The server's answer gave two different lengths for its body.");
    } else if (!exchange.anyResponse) {
        // A dead site and a broken proxy must not look alike to the user.
        if (exchange.timedOut)
            AnswerProxyError(record_, 504, "Gateway Timeout", "The server did not answer in time.");
        else
            AnswerProxyError(record_, 502, "Bad Gateway", "The server closed the connection without an answer.");
    } else if (!spool.whole() && !exchange.streamed) {
        AnswerProxyError(record_, 503, "Service Unavailable",
                         "The proxy could not store the server's answer (its disk may be full).");
    } else {
        return false;
    }
    return true;
}

Exchange Road::Receive(ResponseReader& reader, ResponseSpool& spool) {
    Exchange exchange;
    tail_.emplace(holdBack_, [this](const char* data, size_t length) {
        return SendToClient(record_, data, length, fn_);
    });
    char* buffer = record_->WorkBuffer.data();
    std::string bodyBytes;
    uint64_t total = 0;
    bool streaming = false;
    // While the response is streamed: released before every wait for the
    // server, so no byte stays held while the server is slow.
    std::optional<ClientCork> cork;
    const std::function<void()> flush = [&cork] {
        if (cork) cork->Flush();
    };
    while (!reader.ended()) {
        int n = SecureRecv(server_, record_->Tls.server.get(), buffer, static_cast<int>(kWorkBufferData),
                           settings_.timeouts.serverPlain, flush);
        if (n <= 0) {
            const int error = errno;
            if (n < 0) {
                WriteLogF("[%s] [%04d] S:recv(%04d):%d bytes. / WSAGetLastError() = %d\n", fn_, client_, server_,
                          -1, error);
                exchange.serverFailed = true;
            }
            if (total == 0) {
                exchange.quietEnd = n == 0 || error != ETIMEDOUT;
                exchange.timedOut = !exchange.quietEnd;
            }
            bodyBytes.clear();
            reader.FinishAtClose(bodyBytes);
            spool.AppendBody(bodyBytes.data(), bodyBytes.size());
            // A white-listed response whose head never ended has not been
            // streamed yet, and has no spool: it goes out now, unchanged.
            if (white_ && !streaming && !bodyBytes.empty()) {
                exchange.streamed = true;
                exchange.clientFailed = !SendToClient(record_, bodyBytes.data(), bodyBytes.size(), fn_);
            }
            break;
        }
        WriteLogF("[%s] [%04d] S:recv(%04d):%d bytes. \n", fn_, client_, server_, n);
        exchange.anyResponse = true;
        bodyBytes.clear();
        size_t used = reader.Feed(std::string_view(buffer, static_cast<size_t>(n)), bodyBytes);
        if (used < static_cast<size_t>(n)) exchange.extraBytes = true;
        total += used;
        record_->ResponseBytes += used;
        spool.AppendWhole(buffer, used);
        spool.AppendBody(bodyBytes.data(), bodyBytes.size());
        // A copy that came short ends the receive: the response can't be
        // served whole, nor a streamed one scanned, and a full disk need
        // not read the rest.
        if (!spool.whole()) break;
        if (!reader.headComplete()) continue;
        if (record_->StatusCode == 0) record_->StatusCode = reader.head().status;
        if (reader.head().lengthsDiffer) {
            exchange.lengthsDiffer = true;
            break;
        }

        if (!streaming) {
            // Past the threshold a response goes to the client as it
            // arrives, whatever its framing: a large download must not
            // wait for its whole copy on disk, nor fill the disk.
            streaming = white_ || (reader.framing() == BodyFraming::Length
                                       ? reader.headText().size() + reader.contentLength() > kStreamingThreshold
                                       : total > kStreamingThreshold);
            if (streaming) {
                cork.emplace(client_);
                const bool sent = SendReceivedSoFar(spool);
                // The whole copy came short before anything went out: the
                // client is answered as for any response that can't be stored.
                if (!spool.whole()) break;
                exchange.streamed = true;
                // Only the virus scan of the body follows a response that
                // has reached the client; the whole copy is not needed.
                spool.StopWhole();
                if (!sent) {
                    exchange.clientFailed = true;
                    break;
                }
                continue;
            }
        }
        if (streaming) {
            // Without a head, the body holds every byte so far, unchanged.
            bool ok = reader.headFound() ? tail_->Push(buffer, used) : tail_->Push(bodyBytes.data(), bodyBytes.size());
            if (!ok) {
                exchange.clientFailed = true;
                break;
            }
        }
    }
    cork.reset();  // the last bytes go out before the spool's work
    // The last buffered bytes of a copy may fail only here.
    exchange.unstored = !spool.Finish() && exchange.streamed;
    return exchange;
}

// True when a streamed response has a finding.
bool Road::ScanAndFilter(bool streamed, ResponseSpool& spool) {
    const std::string requestLine = LineText(record_->RequestLine);
    std::string finding;
    ScanFile(settings_, settings_.protocol, client_, spool_.response, finding, [&] { return spool.BodyToDisk(); });
    WriteLogF("[%s] [%04d] [%04d] [%s] [%s]\n", fn_, client_, server_, requestLine.c_str(),
              finding.empty() ? "CLEAN" : finding.c_str());
    // A streamed response has reached the client but for its held tail:
    // a finding can only keep that back. The word filter, whose page could
    // no longer replace it, is not asked.
    if (streamed) return !finding.empty();
    if (!finding.empty()) MakeBlockPageOf(BlockPageMode::Virus, spool, finding);

    bool longLink = false;
    const std::string& ruleSet = record_->ProxyUserName.empty() ? record_->ClientAddress : record_->ProxyUserName;
    const std::string request = common::BuildWordFilterRequest(
        spool_.work, "http-block/" + ruleSet + ".db", target_.host + "/" + SpoolNamePart(target_.spoolPath, longLink));
    std::string verdict;
    ScanHttpFile(settings_, client_, request, verdict, [&] { return spool.WholeToDisk(); });
    WriteLogF("[%s] [%04d] [%04d] [%s] [%s]\n", fn_, client_, server_, requestLine.c_str(),
              verdict.empty() ? "CLEAN" : verdict.c_str());
    if (!verdict.empty()) MakeBlockPageOf(BlockPageMode::Word, spool, verdict);
    return false;
}

// The held tail of a streamed response goes out only when the scan let it
// pass; with a finding the connection is reset, so the client is left
// with a download that failed rather than a whole file.
void Road::FinishStreamed(bool finding) {
    if (finding) return ResetClient("the response had a finding");
    ClientCork cork(client_);
    if (!tail_->Release()) record_->KeepAlive = 0;
}

void Road::ResetClient(const char* why) {
    WriteLogF("[%s] [%04d] C:reset (%s).\n", fn_, client_, why);
    ResetConnection(client_);
    record_->KeepAlive = 0;
}

void Road::MakeBlockPageOf(BlockPageMode mode, ResponseSpool& spool, const std::string& finding) {
    spool.WholeToDisk();
    MakeBlockPage(mode, spool_.work, spool_.response, finding, settings_.dataFolder);
    spool.BothOnDisk();
}

void Road::Relay(ResponseSpool& spool) {
    common::FilePtr file = spool.OpenWhole(settings_.openRetryTries);
    if (!file) {
        WriteLogF("[%s] [%04d] C:temp file not open. (%s)\n", fn_, client_, spool_.work.c_str());
        record_->KeepAlive = 0;
        return;
    }
    RelayResponseFile(record_, file.get(), target_.version, false, fn_);
}

void Road::Serve(const std::string& capturedHead) {
    const int kept = record_->ServerConnected ? record_->ServerSocket : kNoSocket;
    if (!Connect()) {
        AnswerConnectFailed();
        DropRequest(record_);
        return;
    }
    const bool reused = server_ == kept;
    record_->StatusCode = 0;
    record_->ResponseBytes = 0;

    const bool direct = !upstreamProxy_;
    OutgoingRequest request = BuildOutgoingRequest(
        capturedHead, ServerRequestLine(target_, WithoutLineEnd(capturedHead), direct), direct, target_, *record_,
        settings_);
    record_->KeepAlive = request.keepAlive ? 1 : 0;
    // The rewritten request goes out from memory: a ".snd" spool file that
    // no other step reads cost a create and a delete in the shared cache
    // folder for every request, where such changes queue behind each other.

    // A white-listed response goes to the client as it arrives and is
    // neither scanned nor filtered: nothing reads a spool of it. Otherwise
    // a copy is written only for a pipe server that may read it; with a
    // size limit (-k) the scan's size check reads the body copy too.
    const bool scanned = !white_ && options_.scanned;
    const bool scanner = scanned && (settings_.scanSizeLimit != 0 || PipeMayBeServed(common::kScanPipeName));
    const bool wordFilter = scanned && PipeMayBeServed(common::kWordFilterPipeName);
    holdBack_ = scanned ? kHeldTailSize : 0;
    std::optional<ResponseSpool> spool;
    spool.emplace(spool_, wordFilter, scanner);
    ResponseReader reader(options_.bodyless);
    Exchange exchange;
    exchange.requestSent = SendRequest(request.head);
    if (exchange.requestSent) exchange = Receive(reader, *spool);
    // A kept connection that the server has closed meanwhile takes the
    // request and answers nothing: it goes once more on a new connection,
    // unless the server may have acted on it already (a POST, say) and the
    // client is to decide.
    if (reused && options_.resendable && (!exchange.requestSent || (!exchange.anyResponse && exchange.quietEnd))) {
        CloseServerConnection(record_, fn_);
        if (!Connect()) {
            AnswerConnectFailed();
            spool->Remove();
            DropRequest(record_);
            return;
        }
        reader = ResponseReader(options_.bodyless);
        exchange = Exchange{};
        spool.emplace(spool_, wordFilter, scanner);
        exchange.requestSent = SendRequest(request.head);
        if (exchange.requestSent) exchange = Receive(reader, *spool);
    }

    // The client learns where a response ends only by the close when its
    // framing says nothing, or when it came short.
    if (!reader.ended() || reader.truncated() || reader.framing() == BodyFraming::Close || exchange.clientFailed ||
        !exchange.anyResponse || exchange.lengthsDiffer)
        record_->KeepAlive = 0;
    const bool reusable = reader.reusable() && !exchange.serverFailed && !exchange.extraBytes && !exchange.lengthsDiffer;
    if (!record_->KeepAlive || !reusable) CloseServerConnection(record_, fn_);

    bool finding = false;
    if (white_) {
        WriteLogF("[%s] [%04d] [%04d] whitelist [%s]\n", fn_, client_, server_,
                  LineText(record_->RequestLine).c_str());
    } else if (scanned && exchange.anyResponse && !exchange.lengthsDiffer && !exchange.clientFailed && spool->whole()) {
        // A client that has gone is past protecting: the scan of what it
        // left behind (maybe gigabytes) would only hold up the scanner.
        finding = ScanAndFilter(exchange.streamed, *spool);
    }
    if (!spool->whole())
        WriteLogF("[%s] [%04d] spool file not written. (%s) %s\n", fn_, client_, spool->failedFile().c_str(),
                  std::strerror(spool->failedError()));
    if (!exchange.clientFailed && !AnswerUnserved(exchange, *spool) && !exchange.streamed) {
        if (options_.beforeRelay && reader.ended() && !reader.truncated() && spool->whole())
            options_.beforeRelay(*spool, reader, server_);
        Relay(*spool);
    }
    // A response whose receive failed after it began is cut, and a body
    // framed by the close alone would look whole after a clean close.
    const bool cut = exchange.serverFailed && exchange.anyResponse && !exchange.lengthsDiffer;
    if (!exchange.clientFailed) {
        if (cut) ResetClient("the server's answer was cut");
        else if (exchange.unstored) ResetClient("the answer could not be stored for its scan");
        else if (exchange.streamed) FinishStreamed(finding);
    }

    spool->Remove();
    record_->RequestLine.clear();
}

}  // namespace

void RelayResponseFile(ConnectionRecord* record, FILE* file, const std::string& versionText, bool addOwnLines,
                       const char* function) {
    ClientCork cork(record->ClientSocket);
    if (SetVIAResponseHeader(*record, file, versionText, addOwnLines, Settings()) == HeadSendResult::SendFailed) {
        record->KeepAlive = 0;
        return;
    }
    std::vector<char> buffer(kRelayReadSize);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        if (!SendToClient(record, buffer.data(), n, function)) {
            record->KeepAlive = 0;
            return;
        }
    }
}

int DropRequest(ConnectionRecord* record) {
    record->KeepAlive = 0;
    record->RequestLine.clear();
    return 0;
}

bool OpenRoadRequest(ConnectionRecord* record, const char* function, bool blackOnConsole, RoadRequest& request) {
    const EngineSettings& settings = Settings();
    const int client = record->ClientSocket;
    request.head = CapturedHead(record->RequestFileStart);
    RequestTarget& target = request.target;
    switch (ParseRequestTarget(record->RequestLine, settings.protocol == kProtocolSocks,
                               HostHeaderValue(request.head), target)) {
    case TargetResult::Ok:
        break;
    case TargetResult::BadVersion:
        WriteLogF("[%s] [%04d] no HTTP version [%s]\n", function, client, LineText(record->RequestLine).c_str());
        // Without a reply the client could not tell a refusal from a hang.
        AnswerProxyError(record, 400, "Bad Request", "The request line does not end in an HTTP version.");
        DropRequest(record);
        return false;
    case TargetResult::Ftp:
        if (common::EqualsIgnoringAsciiCase(target.method, "GET"))
            ServeFtpUrl(record, function);
        else
            AnswerProxyError(record, 501, "Not Implemented", "ftp:// URLs are served for GET only.");
        DropRequest(record);
        return false;
    case TargetResult::NoTarget:
        AnswerProxyError(record, 400, "Bad Request", "The request does not name a server (an absolute URL is needed).");
        DropRequest(record);
        return false;
    }

    const std::string listKey = ListKey(record->ListenAddress, record->ListenPort, target);
    request.white = QueryDBList(settings.dataFolder + kWhiteListName, target.urlKey, listKey);
    if (!request.white && QueryDBList(settings.dataFolder + kBlackListName, target.urlKey, listKey)) {
        if (blackOnConsole)
            WriteConsoleF("[%s] [%04d] blacklist [%s]\n", function, client, LineText(record->RequestLine).c_str());
        else
            WriteLogF("[%s] [%04d] blacklist [%s]\n", function, client, LineText(record->RequestLine).c_str());
        DropRequest(record);
        return false;
    }

    bool longLink = false;
    request.spool = MakeSpoolFiles(settings.dataFolder, settings.protocol, record->SpoolNumber, target, longLink);
    if (longLink) WriteLogF("[%s] [%04d] long link!!.\n", function, client);
    return true;
}

void ServeOverRoad(ConnectionRecord* record, const std::string& capturedHead, const RequestTarget& target,
                   const SpoolFiles& spool, const RoadOptions& options) {
    Road(record, target, spool, options).Serve(capturedHead);
}

}  // namespace engine
