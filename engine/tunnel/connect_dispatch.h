// The CONNECT tunnel of the HTTP proxy: the destination checked against
// the lists, the server (or the upstream proxy) connected, the client
// answered, and then raw bytes relayed both ways until the tunnel ends.
#pragma once

#include "engine/core/connection.h"

namespace engine {

// Serves the CONNECT request of the connection (RequestLine holds its
// request line, RequestFileStart the captured head). The connection ends
// after it: KeepAlive is left 0. StatusCode and ResponseBytes are left for
// the access log. Returns 0.
int ConnectDispatch(ConnectionRecord* record);

}  // namespace engine
