#include "engine/socks/socks_bind.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <memory>
#include <string>

#include "engine/client_io/client_send.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/open_binds.h"
#include "engine/relay/tunnel_relay.h"
#include "engine/socks/socks_lists.h"
#include "engine/socks/socks_sockets.h"

namespace engine {
namespace {

class BindRequest {
public:
    BindRequest(SocksClient& client, const SocksRequest& request)
        : client_(client), request_(request), record_(client.record()), settings_(Settings()),
          socket_(client.socket()), listenAddress_(record_->ListenAddress) {}
    ~BindRequest() {
        if (accepted_ >= 0) {
            ::shutdown(accepted_, SHUT_RDWR);
            ::close(accepted_);
        }
        if (listener_ >= 0) ::close(listener_);
    }

    int Serve();

private:
    int FailureCode() const { return request_.version == 4 ? kSocks4Failed : kSocks5GeneralFailure; }
    int RefusedCode() const { return request_.version == 4 ? kSocks4Failed : kSocks5NotAllowed; }
    int GrantedCode() const { return request_.version == 4 ? kSocks4Granted : kSocks5Succeeded; }
    bool Reply(int code, const std::string& address, int port) {
        std::string reply = BuildSocksAddressReply(request_.version, code, address, port);
        if (reply.empty()) reply = BuildSocksReply(request_, code);
        return client_.Send(reply, true);
    }
    bool Listed() const;
    bool Listen();
    bool AwaitPeer();
    bool ExpectedPeer(const sockaddr_storage& peer) const;
    void Relay();

    SocksClient& client_;
    const SocksRequest& request_;
    ConnectionRecord* const record_;
    const EngineSettings& settings_;
    const int socket_;
    const std::string listenAddress_;
    int listener_ = -1;
    int accepted_ = -1;
    int port_ = 0;
    std::unique_ptr<BindEntry> entry_;
};

bool BindRequest::Listed() const {
    const std::string key = SocksListKey(listenAddress_, record_->ListenPort, "tcp", request_.host, request_.port);
    if (!SocksKeyBlackListed(key)) return false;
    WriteConsoleF("[SocksBindMain] [%04d] blacklist [%s]\n", socket_, key.c_str());
    WriteLogF("[SocksBindMain] QueryDBList(%s) hit.\n", key.c_str());
    return true;
}

bool BindRequest::Listen() {
    WriteLogF("[SocksBindMain] [%04d] IP=%s\n", socket_, listenAddress_.c_str());
    listener_ = OpenBoundSocket(listenAddress_, SOCK_STREAM, port_);
    if (listener_ < 0) {
        WriteLogF("[SocksBindMain] [%04d] bind() failed with error. WSAGetLastError() = %d\n", socket_, errno);
        return false;
    }
    return true;
}

// Waits for the incoming connection; false when the time runs out or the
// client leaves (or sends, which it has no reason to do yet) first.
bool BindRequest::AwaitPeer() {
    const int timeout = settings_.timeouts.serverPlain > 0 ? settings_.timeouts.serverPlain : -1;
    pollfd waits[2] = {{listener_, POLLIN, 0}, {socket_, POLLIN, 0}};
    int ready;
    do {
        ready = ::poll(waits, 2, timeout);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        WriteLogF("[SocksBindMain] [%04d] select() failed. WSAGetLastError() = %d\n", socket_,
                  ready == 0 ? ETIMEDOUT : errno);
        return false;
    }
    if (!(waits[0].revents & POLLIN)) {
        WriteLogF("[SocksBindMain] [%04d] client left before the connection came.\n", socket_);
        return false;
    }
    WriteLogF("[SocksBindMain] wait accept(%04d)\n", socket_);
    accepted_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    WriteLogF("[SocksBindMain] start accept(%04d)\n", socket_);
    if (accepted_ < 0) {
        WriteLogF("[SocksBindMain] [%04d] accept() failed. WSAGetLastError() = %d\n", socket_, errno);
        return false;
    }
    WriteLogF("[SocksBindMain] Accept Client sokect.(%08x)(%08x)\n", static_cast<unsigned>(accepted_),
              static_cast<unsigned>(listener_));
    return true;
}

bool BindRequest::ExpectedPeer(const sockaddr_storage& peer) const {
    if (request_.addressType == kSocksDomain || !request_.hasAddress()) return true;
    if (PeerText(peer) == request_.host) return true;
    // The engine's own FTP data connection, for a PORT that named this BIND.
    return entry_ && entry_->claimed() && PeerText(peer) == listenAddress_;
}

void BindRequest::Relay() {
    WriteLogF("[SocksBindDispatch] [%04d] SocksBindDispatch() start. %s %d\n", socket_, listenAddress_.c_str(),
              port_);
    SetSocketTimeouts(accepted_, settings_.timeouts.clientPlain);
    const TunnelSides sides{socket_, record_->Tls.client.get(), accepted_, nullptr};
    const TunnelTimeouts timeouts{ClientSendTimeout(settings_), ClientSendTimeout(settings_),
                                  settings_.timeouts.serverPlain};
    Tunnel tunnel(sides, timeouts);
    RunTunnel(tunnel, settings_.retryCount, [&](int error) {
        WriteLogF("[SocksBindDispatch] [%04d] Memory allocation error = (%d)\n", socket_, error);
    });
}

int BindRequest::Serve() {
    WriteLogF("[SocksBindMain] [%04d] ls.mIP=%s / ls.nPort=%d / ls.nSvPort=%d\n", socket_, listenAddress_.c_str(),
              port_, request_.port);
    if (request_.version == 4 && request_.userId.empty()) {
        Reply(kSocks4NoUserId, listenAddress_, port_);
        WriteLog("[SocksBindMain] socks ID fail.\n");
        return 0;
    }
    if (Listed()) {
        Reply(RefusedCode(), listenAddress_, port_);
        return 0;
    }
    if (!Listen()) {
        Reply(FailureCode(), listenAddress_, port_);
        return 0;
    }
    entry_ = std::make_unique<BindEntry>(record_->ClientAddress, listenAddress_, port_);
    WriteLog("wait select()\n");
    if (!Reply(GrantedCode(), listenAddress_, port_)) return 0;
    if (!AwaitPeer()) {
        Reply(FailureCode(), listenAddress_, port_);
        return 1;
    }
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    ::getpeername(accepted_, reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (!ExpectedPeer(peer)) {
        WriteLogF("[SocksBindMain] [%04d] connection from %s refused: the request named %s.\n", socket_,
                  PeerText(peer).c_str(), request_.host.c_str());
        Reply(RefusedCode(), PeerText(peer), PeerPort(peer));
        return 1;
    }
    // The second reply names the peer that came.
    if (Reply(GrantedCode(), PeerText(peer), PeerPort(peer))) Relay();
    return 1;
}

}  // namespace

int SocksBindMain(SocksClient& client, const SocksRequest& request) {
    BindRequest bind(client, request);
    return bind.Serve();
}

}  // namespace engine
