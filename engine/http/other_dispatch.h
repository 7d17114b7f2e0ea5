// The road of every HTTP method but GET and CONNECT: the request goes to
// the server with its body, and the response is relayed to the client
// (neither scanned, filtered nor cached).
#pragma once

#include "engine/core/connection.h"

namespace engine {

// Serves the request of the connection (RequestLine holds its request
// line, RequestFile the captured request, RequestBody its body's framing).
// Leaves StatusCode and ResponseBytes for the access log and KeepAlive
// cleared whenever the connection cannot carry another request. Returns 0.
int OtherDispatch(ConnectionRecord* record);

}  // namespace engine
