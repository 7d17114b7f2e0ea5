// The GET road of the HTTP proxy: one GET request from the target and the
// lists to the HTTP cache or the server, the response spooled, scanned and
// filtered, stored in the cache, and relayed to the client (or replaced by
// a block page).
#pragma once

#include "engine/core/connection.h"
#include "engine/http/http_road.h"

namespace engine {

// Serves the GET request of the connection (RequestLine holds its request
// line, RequestFile the captured request). Leaves StatusCode and
// ResponseBytes for the access log and KeepAlive cleared whenever the
// connection cannot carry another request. Returns 0.
int GetDispatch(ConnectionRecord* record);

}  // namespace engine
