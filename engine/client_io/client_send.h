// What every road sends to its client goes out here: with one time-out,
// logged the same way, in pieces of one size.
#pragma once

#include <cstddef>
#include <string>

#include "engine/core/connection.h"
#include "engine/core/engine_settings.h"

namespace engine {

// The most bytes read from a spool file for one send to the client.
inline constexpr size_t kRelayReadSize = 16385;

// How long a send to the client may wait for the client to take more: the
// longer of the two plain time-outs of -t (0, no limit, when either is 0),
// so that a client reading a large response more slowly than the server
// delivers it is not cut off after the few milliseconds of the client
// time-out.
int ClientSendTimeout(const EngineSettings& settings);

// Sends bytes to the client, logging "[<function>] ... C:send". False when
// the client could not take them.
bool SendToClient(ConnectionRecord* record, const char* data, size_t length, const char* function = "GetDispatch");

// Sends an answer of the proxy's own (ProxyErrorReply) and ends the
// connection after it; StatusCode and ResponseBytes tell the access log.
void AnswerProxyError(ConnectionRecord* record, int status, const char* reason, const std::string& message);

}  // namespace engine
