#include "engine/socks/socks_connect.h"

#include <cstdio>
#include <string>

#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/http/http_road.h"
#include "engine/relay/tunnel_relay.h"
#include "engine/socks/socks_lists.h"
#include "engine/socks/socks_protocol.h"
#include "engine/socks/socks_replies.h"
#include "engine/tls/tls.h"
#include "engine/upstream/connect_host.h"

namespace engine {
namespace {

constexpr const char* kFunction = "TelnetDispatch";

bool Listed(const ConnectionRecord& record, const SocksRequest& request) {
    const std::string key = SocksListKey(record.ListenAddress, record.ListenPort, "tcp", request.host, request.port);
    if (!SocksKeyBlackListed(key)) return false;
    WriteConsoleF("[TelnetDispatch] [%04d] blacklist [%s %d]\n", record.ClientSocket, request.host.c_str(),
                  request.port);
    WriteLogF("[TelnetDispatch] [%04d] QueryDBList(%s) hit.\n", record.ClientSocket, key.c_str());
    return true;
}

// Raw bytes both ways between the client and its server.
void Tunnel(ConnectionRecord* record, const std::string& ahead) {
    const EngineSettings& settings = Settings();
    const int client = record->ClientSocket;
    if (!ahead.empty() && SecureSendData(record->ServerSocket, record->Tls.server.get(), ahead.data(), ahead.size(),
                                         settings.timeouts.serverPlain) != static_cast<ssize_t>(ahead.size()))
        return;
    const TunnelSides sides{client, record->Tls.client.get(), record->ServerSocket, record->Tls.server.get()};
    const TunnelTimeouts timeouts{ClientSendTimeout(settings), ClientSendTimeout(settings),
                                  settings.timeouts.serverPlain};
    engine::Tunnel tunnel(sides, timeouts);
    RunTunnel(tunnel, settings.retryCount, [&](int error) {
        WriteLogF("[TelnetDispatch] [%04d] [%04d] ServerSession() beginthread failed.(%d)\n", client,
                  record->ServerSocket, error);
    });
}

// The road behind a granted CONNECT. Mail and FTP control destinations
// and FTP data channels go through the byte tunnel until their own
// relays are there; so does everything encrypted or of another kind.
void Relay(ConnectionRecord* record, const std::string& ahead) { Tunnel(record, ahead); }

}  // namespace

void SocksConnect(SocksClient& client, const SocksRequest& request, SocksHttpLoop serveHttp) {
    ConnectionRecord* record = client.record();
    if (!SOCKS45Res1(client, request)) return;
    const bool plainHttp = record->SocksProtocol == kSocksKindHttp && !record->DestinationEncrypted;
    if (plainHttp && !record->FixedRelay) {
        // The HTTP road connects per request, to the server each one names.
        if (!SocksReplyGranted(client, request)) return;
        client.TakeRest();
        serveHttp(record);
        return;
    }
    if (Listed(*record, request)) {
        SocksReplyRefused(client, request, request.version == 4 ? kSocks4Failed : kSocks5NotAllowed);
        return;
    }
    std::string host = request.host;
    if (ConnectHost(record, host, request.port) == kNoSocket) {
        SocksReplyRefused(client, request, request.version == 4 ? kSocks4ConnectFailed : kSocks5GeneralFailure);
        WriteLogF("[TelnetDispatch] [%04d] connect fail.\n", record->ClientSocket);
        return;
    }
    WriteLogF("[TelnetDispatch] [%04d] [%04d] sender connect success.\n", record->ClientSocket, record->ServerSocket);
    if (SocksReplyGranted(client, request)) Relay(record, client.TakeRest());
    CloseServerConnection(record, kFunction);
}

}  // namespace engine
