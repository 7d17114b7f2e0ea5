// Stand-in for the HTTP dispatcher until the HTTP road exists: every
// request gets one fixed reply, so the connection road can be used from end
// to end. The HTTP dispatcher replaces this file.
#include <string>

#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/listener/proxy_dispatch.h"

namespace engine {

int Proxy_Dispatch(ConnectionRecord* record) {
    static const std::string kBody = "VELQOR Server: HTTP relaying is not available yet.\r\n";
    const bool keepAlive = !Settings().keepAliveOff;
    std::string reply = keepAlive ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.0 200 OK\r\n";
    reply += "Content-Type: text/plain\r\nContent-Length: " + std::to_string(kBody.size()) + "\r\n";
    reply += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    reply += kBody;
    WriteLogF("[Proxy_Dispatch] [%04d] %s\n", record->ClientSocket, record->WorkBuffer.data());
    ssize_t sent = SecureSendData(record->ClientSocket, record->Tls.client.get(), reply.data(), reply.size(),
                                  Settings().timeouts.clientPlain);
    record->StatusCode = 200;
    record->ResponseBytes = sent > 0 ? static_cast<std::uint64_t>(sent) : 0;
    record->KeepAlive = keepAlive && sent == static_cast<ssize_t>(reply.size());
    WriteLogF("[Proxy_Dispatch] [%04d] End.\n", record->ClientSocket);
    return sent > 0 ? 1 : 0;
}

}  // namespace engine
