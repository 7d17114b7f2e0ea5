// A SOCKS CONNECT: a plain HTTP destination served by the HTTP request
// loop on the client connection; any other destination checked against
// the lists, connected, answered and relayed by the road its protocol
// kind asks for.
#pragma once

#include "engine/socks/socks_client.h"
#include "engine/socks/socks_session.h"
#include "engine/socks/socks_wire.h"

namespace engine {

// Serves the request (a command other than CONNECT gets the failure reply
// of SOCKS45Res1). The server connection is closed before it returns.
void SocksConnect(SocksClient& client, const SocksRequest& request, SocksHttpLoop serveHttp);

}  // namespace engine
