#include "engine/upstream/connect_host.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include "engine/access/dnsbl.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/tls/tls.h"
#include "engine/upstream/server_reuse.h"
#include "engine/upstream/server_socket.h"
#include "engine/upstream/upstream_target.h"

namespace engine {
namespace {

// The longest destination host a caller may hand over.
constexpr std::size_t kMaxHostLength = kHostNameWidth - 1;
constexpr std::chrono::milliseconds kRetryPauseStep{100};

// The destination blocklists ("<p>-dnsbl.db", exempt: "<p>-dnswl.db").
bool DestinationListed(const EngineSettings& settings, const std::string& host) {
    return Query_SURBLists(settings.dnsblExceptionFile, settings.dnsblZoneFile, host,
                           settings.protocol == kProtocolHttp) == 1;
}

void SetSocketTimeout(int socket, int option, int milliseconds) {
    timeval value{milliseconds / 1000, static_cast<suseconds_t>(milliseconds % 1000) * 1000};
    ::setsockopt(socket, SOL_SOCKET, option, &value, sizeof value);
}

void ShutAndClose(int socket) {
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
}

// Send time-out, and the receive time-outs of both sides: a tunnel takes
// the TLS values, since what it carries is (mostly) encrypted.
void SetTimeouts(const ConnectionRecord& record, int socket, const SocketTimeouts& timeouts) {
    if (timeouts.serverPlain != 0) SetSocketTimeout(socket, SO_SNDTIMEO, timeouts.serverPlain);
    if (record.DestinationEncrypted) {
        if (record.ClientSocket >= 0) SetSocketTimeout(record.ClientSocket, SO_RCVTIMEO, timeouts.clientTls);
        SetSocketTimeout(socket, SO_RCVTIMEO, timeouts.serverTls);
    } else if (timeouts.serverPlain != 0) {
        SetSocketTimeout(socket, SO_RCVTIMEO, timeouts.serverPlain);
    }
}

// The failure's errno, kept past the log lines written before it.
int Failed(int error) {
    errno = error;
    return kNoSocket;
}

void TakeMarks(ConnectionRecord* record, const UpstreamTarget& target) {
    record->DestinationEncrypted = target.tunnel;
    record->ServerUseTls = target.tls;
    record->ServerUseStartTls = target.startTls;
}

}  // namespace

void CloseServerConnection(ConnectionRecord* record, const char* function) {
    const int socket = record->ServerSocket;
    record->ServerConnected = 0;
    if (socket < 0) return;
    record->ServerSocket = kNoSocket;
    if (!IsServerConnectionOf(record, socket)) {
        // Closed already without a word to us: the number may belong to
        // another connection by now, so neither it nor the TLS session on
        // it is touched again.
        record->Tls.server.reset();
        return;
    }
    CloseTls(record->Tls.server);
    ForgetServerConnection(socket);
    ShutAndClose(socket);
    WriteLogF("[%s] [%04d] Close Server socket. [%04d]\n", function, record->ClientSocket, socket);
}

int ConnectHost(ConnectionRecord* record, std::string& host, int port) {
    errno = 0;
    const EngineSettings& settings = Settings();
    const int client = record->ClientSocket;
    const bool http = settings.protocol == kProtocolHttp;
    const bool socks = settings.protocol == kProtocolSocks;
    const bool socksHttp = socks && record->SocksProtocol == kProtocolHttp;

    if (host.size() > kMaxHostLength) {
        WriteLogF("[ConnectHost] [%04d] Server=%.*s... Port=%d / host name too long (%zu).\n", client, 64,
                  host.c_str(), port, host.size());
        return Failed(0);
    }
    if ((http || socksHttp) && host.empty()) {
        CloseServerConnection(record, "ConnectHost");
        return Failed(0);
    }

    const UpstreamTarget target =
        ChooseUpstreamTarget(settings.protocol, settings.connectTableFile, record->ListenAddress, record->ListenPort,
                             host, port, http ? settings.upstreamServer : std::string());
    const ServerConnectionKey key{host, port, target};
    if (http && record->ServerConnected && record->ServerSocket >= 0 && host == record->ServerHost &&
        IsServerConnectionFor(record, record->ServerSocket, key) &&
        ServerStillOpen(record->ServerSocket, record->Tls.server != nullptr)) {
        host = target.HostForCaller(host);
        return record->ServerSocket;
    }
    if (http || socksHttp) CloseServerConnection(record, "ConnectHost");
    // A session whose socket someone else has closed already: free it
    // without writing to a descriptor that may belong to another socket now.
    if (record->ServerSocket < 0) record->Tls.server.reset();

    AssignField(record->ServerHost, host, kHostNameWidth);
    if (http || target.marksRead) TakeMarks(record, target);
    if ((http || socksHttp) && DestinationListed(settings, host)) {
        WriteLogF("[ConnectHost] [%04d] Server=%s Port=%d / listed in a destination blocklist.\n", client,
                  host.c_str(), port);
        return Failed(0);
    }
    const char* server = target.server.c_str();
    const char* serverPort = target.port.c_str();
    WriteLogF("[ConnectHost] [%04d] Server=%s Port=%s\n", client, server, serverPort);

    std::vector<SocketAddress> addresses;
    const int resolveError = ResolveServer(target.server, target.port, settings.ipVersion, addresses);
    if (resolveError != 0) {
        WriteLogF("[ConnectHost] [%04d] Server=%s Port=%s / Cannot resolve address, error %d: %s\n", client, server,
                  serverPort, resolveError, ::gai_strerror(resolveError));
        return Failed(EHOSTUNREACH);
    }
    if (http) {
        host = target.HostForCaller(host);
        std::printf("[ConnectHost] [%04d] Connect %s:%s\n", client, server, serverPort);
        std::fflush(stdout);
    }

    AssignField(record->SendAddress, target.sendAddress, kAddressTextWidth);
    record->SendAddressIsIPv4 =
        target.sendAddress.empty() || target.sendAddress.find('.') != std::string::npos ? 1 : 0;
    AssignField(record->ServerAddressText, target.server, kAddressTextWidth);

    // The send address (every protocol but HTTP), with a port of the
    // system's choice, so that any number of connections can go out from it.
    auto bindFailed = [&] {
        WriteLogF("[ConnectHost] [%04d] Server=%s Port=%s MyAddr=%s/ bind local adder failed.\n", client, server,
                  serverPort, target.sendAddress.c_str());
    };
    std::optional<SocketAddress> sendAddress;
    if (!http && !target.sendAddress.empty()) {
        sendAddress = ParseSendAddress(target.sendAddress);
        if (sendAddress)
            PreferFamily(addresses, sendAddress->family());
        else
            bindFailed();
    }

    int socket = OpenServerSocket(addresses.front(), sendAddress, bindFailed);
    if (socket < 0) {
        WriteLogF("[ConnectHost] [%04d] Server=%s Port=%s / socket() failed.\n", client, server, serverPort);
        return Failed(0);
    }
    for (unsigned long failures = 0;;) {
        ConnectAttempt attempt =
            ConnectToAny(socket, addresses, sendAddress, settings.timeouts.serverPlain, bindFailed);
        if (attempt.connected) {
            socket = attempt.socket;
            break;
        }
        if (++failures >= settings.retryCount) {
            WriteLogF("[ConnectHost] [%04d] Server=%s Port=%s / Winsock connect failed. Socket=%d / "
                      "WSAGetLastError() = %d\n",
                      client, server, serverPort, attempt.socket, attempt.error);
            return Failed(attempt.error);
        }
        std::this_thread::sleep_for(kRetryPauseStep * failures);
        socket = OpenServerSocket(addresses.front(), sendAddress, bindFailed);
        if (socket < 0) {
            WriteLogF("[ConnectHost] [%04d] Server=%s Port=%s / Rest Socket failed.\n", client, server, serverPort);
            return Failed(0);
        }
        WriteLogF("[ConnectHost] [%04d] Server=%s Port=%s / Reset Socket (%d) success. / WSAGetLastError() = %d\n",
                  client, server, serverPort, socket, attempt.error);
    }

    SetTimeouts(*record, socket, settings.timeouts);
    if (target.tls) {
        record->Tls.server = OpenSSLClient(socket, settings.timeouts.Handshake(settings.timeouts.serverTls),
                                          target.server);
        if (!record->Tls.server) {
            ShutAndClose(socket);
            WriteLogF("[ConnectHost] [%04d] Server=%s Port=%s / TLS connect failed. Socket=%d\n", client, server,
                      serverPort, socket);
            return Failed(0);
        }
    }
    record->ServerSocket = socket;
    record->ServerConnected = 1;
    RememberServerConnection(record, socket, key);
    WriteLogF("[ConnectHost] [%04d] Winsock connect success. Socket=%d / Server=%s Port=%s\n", client, socket, server,
              serverPort);
    return socket;
}

}  // namespace engine
