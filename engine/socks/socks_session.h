// The SOCKS proxy (option -p 5) in the connection worker: the greeting,
// the SOCKS 5 method and user check, the request, the destination's
// protocol kind, and the hand-over to CONNECT, BIND or UDP ASSOCIATE.
#pragma once

#include "engine/core/connection.h"

namespace engine {

// The worker's HTTP request loop, which serves a CONNECT to a plain HTTP
// destination on the same client connection.
using SocksHttpLoop = void (*)(ConnectionRecord* record);

// Serves one SOCKS client until its request is over. The request file is
// gone afterwards; the client socket and the record stay the worker's.
void ServeSocks(ConnectionRecord* record, SocksHttpLoop serveHttp);

}  // namespace engine
