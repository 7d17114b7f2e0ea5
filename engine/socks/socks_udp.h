// SOCKS 5 UDP ASSOCIATE: a relay socket on the engine's address takes the
// TCP client's datagrams and sends each payload to its destination from
// one socket of the association; whatever a destination sends back reaches
// the client with the header the client used for it in front. The two
// directions are independent: a destination that never answers holds
// nothing up, and one that answers with several datagrams has each passed
// on.
#pragma once

#include <cstddef>

#include "engine/socks/socks_client.h"
#include "engine/socks/socks_wire.h"

namespace engine {

// The largest datagram taken or returned.
inline constexpr std::size_t kSocksDatagramLimit = 65535;

// Serves the association until the client's TCP connection ends (or
// anything is sent on it) or no datagram has come either way for the
// client plain time-out of -t. The client's datagrams come from the TCP
// client's address, and from the port of the first one: a datagram from
// any other address or port is dropped, as is an answer from a sender the
// client never wrote to. A fragment, a datagram whose header does not fit,
// a black-listed destination and one that does not resolve are dropped.
// Returns 0.
int UDPMain(SocksClient& client, const SocksRequest& request);

}  // namespace engine
