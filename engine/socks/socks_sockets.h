// Sockets the SOCKS proxy opens on its own address: the BIND listener and
// the UDP relay sockets.
#pragma once

#include <string>

#include <sys/socket.h>

namespace engine {

// A socket of `type` (SOCK_STREAM, already listening with a backlog of 1,
// or SOCK_DGRAM) bound to the numeric address on the next port of the data
// port choice (-n); -1 (errno set) on failure. boundPort gets the port.
int OpenBoundSocket(const std::string& address, int type, int& boundPort);

// Sets the receive and send time-outs (milliseconds; 0 leaves them off).
void SetSocketTimeouts(int socket, int milliseconds);

// The address text and port of a socket address.
std::string PeerText(const sockaddr_storage& address);
int PeerPort(const sockaddr_storage& address);

}  // namespace engine
