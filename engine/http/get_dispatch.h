// The GET road of the HTTP proxy: one GET request from the target and the
// lists to the server, the response spooled, scanned and filtered, and
// relayed to the client (or replaced by a block page).
#pragma once

#include <string>

#include "engine/core/connection.h"
#include "engine/core/engine_settings.h"

namespace engine {

// Responses with a Content-Length whose whole size exceeds this reach the
// client while they arrive, as do white-listed ones.
inline constexpr unsigned long long kStreamingThreshold = 2097152;
// The most bytes read from a spool file for one send to the client.
inline constexpr size_t kRelayReadSize = 16385;

// Serves the GET request of the connection (RequestLine holds its request
// line, RequestFile the captured request). Leaves StatusCode and
// ResponseBytes for the access log and KeepAlive cleared whenever the
// connection cannot carry another request. Returns 0.
int GetDispatch(ConnectionRecord* record);

// How long a send to the client may wait for the client to take more: the
// longer of the two plain time-outs of -t (0, no limit, when either is 0),
// so that a client reading a large response more slowly than the server
// delivers it is not cut off after the few milliseconds of the client
// time-out.
int ClientSendTimeout(const EngineSettings& settings);

// Sends bytes to the client, logging "C:send" as the GET road does. False
// when the client could not take them.
bool SendToClient(ConnectionRecord* record, const char* data, size_t length);

// Sends an answer of the proxy's own (ProxyErrorReply) and ends the
// connection after it; StatusCode and ResponseBytes tell the access log.
void AnswerProxyError(ConnectionRecord* record, int status, const char* reason, const std::string& message);

}  // namespace engine
