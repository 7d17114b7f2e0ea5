// SOCKS BIND: the engine listens for one incoming connection on the
// client's behalf, tells the client where (first reply) and who came
// (second reply), and then relays both ways.
#pragma once

#include <string>

#include "engine/socks/socks_client.h"
#include "engine/socks/socks_wire.h"

namespace engine {

// Serves a BIND request on the address the client reached the engine on.
// The wait for the incoming connection ends with the server plain
// time-out of -t, or when the client goes away. A request that names its
// peer's address accepts only that peer. Returns 1 after a served or
// failed wait, 0 after a refusal or a set-up failure.
int SocksBindMain(SocksClient& client, const SocksRequest& request);

}  // namespace engine
