#include "engine/tunnel/connect_dispatch.h"

#include <cerrno>
#include <string>
#include <vector>

#include "engine/access/lists.h"
#include "engine/client_io/client_send.h"
#include "engine/client_io/error_reply.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/header_text.h"
#include "engine/http/outgoing_request.h"
#include "engine/relay/tunnel_relay.h"
#include "engine/tls/tls.h"
#include "engine/tunnel/connect_request.h"
#include "engine/upstream/connect_host.h"

namespace engine {

namespace {

constexpr const char* kFunction = "ConnectDispatch";
constexpr const char* kEstablished = "HTTP/1.0 200 Connection established.\r\n\r\n";

// The connection ends with the request, whatever became of it.
int EndRequest(ConnectionRecord* record) {
    record->KeepAlive = 0;
    record->RequestLine.clear();
    return 0;
}

class ConnectRoad {
public:
    ConnectRoad(ConnectionRecord* record, const ConnectTarget& target)
        : record_(record), settings_(Settings()), client_(record->ClientSocket), target_(target) {}

    int Serve();

private:
    bool AnswerDirect();
    bool PassUpstreamReply();
    bool SendToServer(const std::string& bytes);
    void Relay();

    ConnectionRecord* const record_;
    const EngineSettings& settings_;
    const int client_;
    const ConnectTarget& target_;
    int server_ = kNoSocket;
    int status_ = 200;
};

bool ConnectRoad::SendToServer(const std::string& bytes) {
    if (bytes.empty()) return true;
    const ssize_t sent =
        SecureSendData(server_, record_->Tls.server.get(), bytes.data(), bytes.size(), settings_.timeouts.serverPlain);
    if (sent != static_cast<ssize_t>(bytes.size())) {
        WriteConsoleF("[ConnectDispatch] [%04d] S:send(%04d): WSAGetLastError() = %d\n", client_, server_, errno);
        return false;
    }
    WriteConsoleF("[ConnectDispatch] [%04d] S:send(%04d):%d bytes\n", client_, server_, static_cast<int>(sent));
    return true;
}

// A direct connection: the engine's own reply, then what the client sent
// ahead of it.
bool ConnectRoad::AnswerDirect() {
    WriteConsoleF("[ConnectDispatch] [%04d] C:send:%s\n", client_, kEstablished);
    const size_t length = std::char_traits<char>::length(kEstablished);
    if (SecureSendData(client_, record_->Tls.client.get(), kEstablished, length, ClientSendTimeout(settings_)) !=
        static_cast<ssize_t>(length)) {
        WriteConsoleF("[ConnectDispatch] [%04d] C:send: WSAGetLastError() = %d\n", client_, errno);
        return false;
    }
    return SendToServer(record_->BytesAhead);
}

// Through an upstream proxy: the client's request goes on to it (and what
// the client sent ahead, as it sent it), and the upstream's reply head,
// received into memory, goes back to the client in place of the engine's
// own reply, with whatever came behind it. False when no tunnel follows.
bool ConnectRoad::PassUpstreamReply() {
    const std::string head = HeadForUpstream(CapturedHead(record_->RequestFileStart), settings_.proxyAuth);
    if (!SendToServer(head + record_->BytesAhead)) {
        AnswerProxyError(record_, 502, "Bad Gateway", "The proxy could not pass the request to its upstream proxy.");
        return false;
    }
    std::string reply;
    std::vector<char> buffer(kWorkBufferSize);
    bool timedOut = false;
    while (ReplyHeadEnd(reply) == std::string::npos && reply.size() < kHeadByteLimit) {
        const int n = SecureRecv(server_, record_->Tls.server.get(), buffer.data(), static_cast<int>(kWorkBufferData),
                                 settings_.timeouts.serverPlain);
        if (n < 0) {
            timedOut = errno == ETIMEDOUT;
            WriteLogF("[ConnectDispatch] [%04d] S:recv(%04d):%d bytes. / WSAGetLastError() = %d\n", client_, server_,
                      n, errno);
            break;
        }
        if (n == 0) break;
        WriteLogF("[ConnectDispatch] [%04d] S:recv(%04d):%d bytes.\n", client_, server_, n);
        reply.append(buffer.data(), static_cast<size_t>(n));
    }
    if (reply.empty()) {
        if (timedOut)
            AnswerProxyError(record_, 504, "Gateway Timeout", "The upstream proxy did not answer in time.");
        else
            AnswerProxyError(record_, 502, "Bad Gateway", "The upstream proxy closed the connection without an answer.");
        return false;
    }
    const ssize_t sent =
        SecureSendData(client_, record_->Tls.client.get(), reply.data(), reply.size(), ClientSendTimeout(settings_));
    if (sent != static_cast<ssize_t>(reply.size())) {
        WriteConsoleF("[ConnectDispatch] [%04d] C:send: WSAGetLastError() = %d\n", client_, errno);
        return false;
    }
    WriteConsoleF("[ConnectDispatch] [%04d] C:send:%d bytes\n", client_, static_cast<int>(sent));
    if (const int status = ReplyStatus(reply); status != 0) status_ = status;
    // A reply cut short (or no reply head at all) ends here: the client has
    // every byte of it, and nothing more is coming on a tunnel.
    return ReplyHeadEnd(reply) != std::string::npos;
}

void ConnectRoad::Relay() {
    const TunnelSides sides{client_, record_->Tls.client.get(), server_, record_->Tls.server.get()};
    // A tunnel is idle, and ends, when nothing has moved either way for the
    // longer of the two plain time-outs (the client's alone is a few
    // milliseconds: a client waiting for a download sends nothing).
    const TunnelTimeouts timeouts{ClientSendTimeout(settings_), ClientSendTimeout(settings_),
                                  settings_.timeouts.serverPlain};
    Tunnel tunnel(sides, timeouts);
    RunTunnel(tunnel, settings_.retryCount, [this](int error) {
        WriteLogF("[ConnectDispatch] [%04d] ServerSession() beginthread failed.(%d)\n", client_, error);
    });
}

int ConnectRoad::Serve() {
    // A server connection kept from an earlier request on this connection
    // is never the tunnel's: it has carried another exchange.
    CloseServerConnection(record_, kFunction);
    std::string host = target_.host;
    server_ = ConnectHost(record_, host, target_.port);
    if (server_ == kNoSocket) {
        WriteLogF("[ConnectDispatch] [%04d] connect fail.\n", client_);
        AnswerProxyError(record_, 502, "Bad Gateway",
                         "The proxy could not connect to the server " + HtmlText(target_.host) + ".");
        return EndRequest(record_);
    }
    // ConnectHost names an upstream proxy by a host text of its own.
    const bool direct = host == target_.host;
    const bool tunnel = direct ? AnswerDirect() : PassUpstreamReply();
    record_->BytesAhead.clear();
    if (tunnel) {
        WriteLogF("[ConnectDispatch] [%04d] [%04d] sender connect success.\n", client_, server_);
        record_->StatusCode = status_;
        record_->ResponseBytes = 0;
        Relay();
    }
    CloseServerConnection(record_, kFunction);
    return EndRequest(record_);
}

}  // namespace

int ConnectDispatch(ConnectionRecord* record) {
    const EngineSettings& settings = Settings();
    const int client = record->ClientSocket;
    record->KeepAlive = 0;
    const std::string requestLine(WithoutLineEnd(record->RequestLine));
    ConnectTarget target;
    switch (ParseConnectTarget(requestLine, target)) {
    case ConnectTargetResult::Ok:
        break;
    case ConnectTargetResult::BadVersion:
        WriteLogF("[ConnectDispatch] [%04d] no HTTP version [%s]\n", client, requestLine.c_str());
        AnswerProxyError(record, 400, "Bad Request", "The request line does not end in an HTTP version.");
        return EndRequest(record);
    case ConnectTargetResult::BadTarget:
        AnswerProxyError(record, 400, "Bad Request", "The CONNECT request does not name a server and its port.");
        return EndRequest(record);
    }

    const std::string urlKey = ConnectUrlKey(target);
    const std::string listKey = ConnectListKey(record->ListenAddress, record->ListenPort, target);
    if (!QueryDBList(settings.dataFolder + kWhiteListName, urlKey, listKey) &&
        QueryDBList(settings.dataFolder + kBlackListName, urlKey, listKey)) {
        WriteLogF("[ConnectDispatch] [%04d] QueryDBList(%s) hit.\n", client, requestLine.c_str());
        return EndRequest(record);
    }
    return ConnectRoad(record, target).Serve();
}

}  // namespace engine
