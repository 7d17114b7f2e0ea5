#include "engine/socks/socks_replies.h"

#include <algorithm>
#include <cerrno>

#include "engine/core/daily_log.h"

namespace engine {
namespace {

void KeepReply(ConnectionRecord* record, const std::string& reply) {
    record->SocksReply.fill(0);
    std::copy_n(reply.begin(), std::min(reply.size(), record->SocksReply.size()), record->SocksReply.begin());
}

}  // namespace

int SOCKS45Res1(SocksClient& client, const SocksRequest& request) {
    ConnectionRecord* record = client.record();
    KeepReply(record, BuildSocksReply(request, 0));
    if (request.command == kSocksConnect) return 1;
    const bool bind = request.command == kSocksBind;
    const int code = request.version == 4 ? (bind ? kSocks4ConnectFailed : kSocks4Failed)
                                          : (bind ? kSocks5GeneralFailure : kSocks5CommandNotSupported);
    client.Send(BuildSocksReply(request, code), true);
    WriteLog(bind ? "[SOCKS45Res1] accept fail.\n" : "[SOCKS45Res1] socks fail.\n");
    record->RequestLine.clear();
    return 0;
}

bool SocksReplyGranted(SocksClient& client, const SocksRequest& request) {
    const std::string reply = BuildSocksReply(request, request.version == 4 ? kSocks4Granted : kSocks5Succeeded);
    KeepReply(client.record(), reply);
    return client.Send(reply, true);
}

int SocksConnectFailureCode(const SocksRequest& request, int error) {
    if (request.version == 4) return kSocks4ConnectFailed;
    switch (error) {
    case ECONNREFUSED:
        return kSocks5ConnectionRefused;
    case ENETUNREACH:
        return kSocks5NetworkUnreachable;
    case EHOSTUNREACH:
    case ETIMEDOUT:
        return kSocks5HostUnreachable;
    default:
        return kSocks5GeneralFailure;
    }
}

bool SocksReplyRefused(SocksClient& client, const SocksRequest& request, int code) {
    return client.Send(BuildSocksReply(request, code), true);
}

}  // namespace engine
