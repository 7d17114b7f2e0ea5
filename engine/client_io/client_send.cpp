#include "engine/client_io/client_send.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "engine/client_io/error_reply.h"
#include "engine/core/daily_log.h"
#include "engine/tls/tls.h"

namespace engine {

int ClientSendTimeout(const EngineSettings& settings) {
    if (settings.timeouts.clientPlain == 0 || settings.timeouts.serverPlain == 0) return 0;
    return std::max(settings.timeouts.clientPlain, settings.timeouts.serverPlain);
}

bool SendToClient(ConnectionRecord* record, const char* data, size_t length, const char* function) {
    ssize_t sent = SecureSendData(record->ClientSocket, record->Tls.client.get(), data, length,
                                  ClientSendTimeout(Settings()));
    if (sent != static_cast<ssize_t>(length)) {
        WriteLogF("[%s] [%04d] C:send: WSAGetLastError() = %d\n", function, record->ClientSocket, errno);
        return false;
    }
    WriteLogF("[%s] [%04d] C:send:%d bytes\n", function, record->ClientSocket, static_cast<int>(sent));
    return true;
}

void AnswerProxyError(ConnectionRecord* record, int status, const char* reason, const std::string& message) {
    const std::string reply = ProxyErrorReply(status, reason, message);
    ssize_t sent = SecureSendData(record->ClientSocket, record->Tls.client.get(), reply.data(), reply.size(),
                                  ClientSendTimeout(Settings()));
    record->StatusCode = status;
    record->ResponseBytes = sent > 0 ? static_cast<uint64_t>(sent) : 0;
    record->KeepAlive = 0;
}

}  // namespace engine
