#include "engine/socks/socks_connect.h"

#include <netdb.h>

#include <cerrno>
#include <string>
#include <vector>

#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/ftp/ftp_control.h"
#include "engine/ftp/ftp_data.h"
#include "engine/mail/telnet_dispatch.h"
#include "engine/socks/socks_lists.h"
#include "engine/socks/socks_protocol.h"
#include "engine/socks/socks_relay.h"
#include "engine/socks/socks_replies.h"
#include "engine/tls/tls.h"
#include "engine/upstream/server_socket.h"

namespace engine {
namespace {

// A black-listed destination is refused with the rules' code.
bool Refused(SocksClient& client, const SocksRequest& request) {
    const ConnectionRecord& record = *client.record();
    const std::string key = SocksListKey(record.ListenAddress, record.ListenPort, "tcp", request.host, request.port);
    if (!SocksKeyBlackListed(key)) return false;
    WriteConsoleF("[TelnetDispatch] [%04d] blacklist [%s %d]\n", record.ClientSocket, request.host.c_str(),
                  request.port);
    WriteLogF("[TelnetDispatch] [%04d] QueryDBList(%s) hit.\n", record.ClientSocket, key.c_str());
    SocksReplyRefused(client, request, request.version == 4 ? kSocks4Failed : kSocks5NotAllowed);
    return true;
}

// The HTTP road connects only once a request has come: a name that does
// not resolve is told now, while the client can still be answered so.
bool Unresolved(SocksClient& client, const SocksRequest& request) {
    std::vector<SocketAddress> addresses;
    const int error = ResolveServer(request.host, std::to_string(request.port), Settings().ipVersion, addresses);
    if (error == 0) return false;
    WriteLogF("[ConnectHost] [%04d] Server=%s Port=%d / Cannot resolve address, error %d: %s\n", client.socket(),
              request.host.c_str(), request.port, error, ::gai_strerror(error));
    SocksReplyRefused(client, request, SocksConnectFailureCode(request, EHOSTUNREACH));
    return true;
}

// What the client sent behind its request, before the reply: the start of
// the server's stream.
bool PassAhead(ConnectionRecord* record, const std::string& ahead) {
    if (ahead.empty()) return true;
    const ssize_t sent = SecureSendData(record->ServerSocket, record->Tls.server.get(), ahead.data(), ahead.size(),
                                        Settings().timeouts.serverPlain);
    if (sent == static_cast<ssize_t>(ahead.size())) return true;
    WriteLogF("[TelnetDispatch] [%04d] S:send(%04d): WSAGetLastError() = %d\n", record->ClientSocket,
              record->ServerSocket, errno);
    return false;
}

}  // namespace

void SocksConnect(SocksClient& client, const SocksRequest& request, SocksHttpLoop serveHttp) {
    ConnectionRecord* record = client.record();
    if (!SOCKS45Res1(client, request)) return;
    const bool plainHttp = record->SocksProtocol == kSocksKindHttp && !record->DestinationEncrypted;
    if (plainHttp && !record->FixedRelay) {
        // The HTTP road connects per request, each time to the server the
        // SOCKS request named.
        if (Refused(client, request) || Unresolved(client, request) || !SocksReplyGranted(client, request)) return;
        client.TakeRest();
        serveHttp(record);
        return;
    }
    // Every other destination goes the line-protocol dispatcher's way: the
    // lockstep relay for mail and FTP control, the store-and-forward relays
    // for a prepared FTP data channel, the byte tunnel for the rest.
    SocksDispatchSteps steps;
    steps.readRequest = [&](std::string& host, int& port) {
        if (Refused(client, request)) return false;
        host = request.host;
        port = request.port;
        // A client that took only the port of a data channel (EPSV, or a 227
        // whose address it skips, as curl does) names the FTP server: its
        // data goes to the engine's listener all the same.
        if (record->SocksProtocol == kSocksKindFtpData)
            if (const FtpDataChannelPtr channel = FindFtpDataChannel(port, host);
                channel && !channel->listenAddress().empty())
                host = channel->listenAddress();
        return true;
    };
    steps.connectFailed = [&] {
        const int error = errno;
        SocksReplyRefused(client, request, SocksConnectFailureCode(request, error));
    };
    steps.connected = [&] { return SocksReplyGranted(client, request) && PassAhead(record, client.TakeRest()); };
    steps.dataRelay = [record](int, int) { RunSocksDataRelay(record); };
    LineRelayPlugins plugins;
    plugins.socks = &steps;
    plugins.ftp = MakeFtpControlHooks;
    TelnetDispatch(record, plugins);
}

}  // namespace engine
