// SOCKS 5 UDP ASSOCIATE: a relay socket on the engine's address takes the
// TCP client's datagrams, sends each payload to its destination and
// returns the destination's answer with the client's header in front, for
// as long as the TCP connection stays.
#pragma once

#include <string>
#include <string_view>

#include "engine/socks/socks_client.h"
#include "engine/socks/socks_wire.h"

namespace engine {

// The largest datagram taken or returned.
inline constexpr std::size_t kSocksDatagramLimit = 65535;

// Serves the association until the client's TCP connection ends or
// nothing has come for the client plain time-out of -t. Datagrams from
// any other address than the TCP client's are dropped. Returns 0.
int UDPMain(SocksClient& client, const SocksRequest& request);

// One datagram to its destination and its answer back: false (nothing to
// send the client) for a fragment, a header that does not fit the
// datagram, a black-listed destination, a socket or resolver failure, or
// no answer within the client plain time-out. answer gets the datagram's
// header and the destination's answer.
bool TellRemoteUDP(int clientSocket, const std::string& listenAddress, int listenPort, std::string_view datagram,
                   std::string& answer);

}  // namespace engine
