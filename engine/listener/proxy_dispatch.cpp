#include "engine/listener/proxy_dispatch.h"

#include "common/ascii_case.h"
#include "engine/core/access_log.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/http/get_dispatch.h"
#include "engine/http/other_dispatch.h"
#include "engine/tunnel/connect_dispatch.h"

namespace engine {

MethodHandler ChooseMethodHandler(std::string_view token) {
    if (common::EqualsIgnoringAsciiCase(token, "GET")) return MethodHandler::Get;
    if (common::EqualsIgnoringAsciiCase(token, "CONNECT")) return MethodHandler::Connect;
    if (token.size() <= kMethodTokenLimit) return MethodHandler::Other;
    return MethodHandler::None;
}

void WriteRequestAccessLog(const ConnectionRecord& record) {
    // The mask list is read only when there is a line to mask.
    if (Settings().accessLog && AccessLogMask(record.ListenAddress, record.ListenPort) == 0)
        WriteAccessLog(record.RequestFileStart, record.ClientAddress, record.StatusCode, record.ResponseBytes);
}

int Proxy_Dispatch(ConnectionRecord* record) {
    const int client = record->ClientSocket;
    char* head = record->WorkBuffer.data();
    WriteLogF("[Proxy_Dispatch] [%04d] %s\n", client, head);
    AssignField(record->RequestLine, head, kRequestLineWidth);
    // The buffer keeps the method token alone.
    size_t tokenEnd = std::string_view(head).find_first_of(" \r\n");
    if (tokenEnd != std::string_view::npos) head[tokenEnd] = '\0';
    WriteLogF("[Proxy_Dispatch] [%04d] Start Proxy_Dispatch()\n", client);
    // A request that no handler answers leaves nothing of an earlier one.
    record->StatusCode = 0;
    record->ResponseBytes = 0;

    int result = 0;
    switch (ChooseMethodHandler(head)) {
    case MethodHandler::Get:
        result = GetDispatch(record);
        break;
    case MethodHandler::Connect:
        result = ConnectDispatch(record);
        break;
    case MethodHandler::Other:
        result = OtherDispatch(record);
        break;
    case MethodHandler::None:
        // Nothing answers it, so nothing may follow on the connection.
        record->KeepAlive = 0;
        break;
    }

    WriteRequestAccessLog(*record);
    WriteLogF("[Proxy_Dispatch] [%04d] End.\n", client);
    return result;
}

}  // namespace engine
