// The process-wide data port choice (option -n): FTP data channels, ftp://
// fetches in active mode, SOCKS BIND and SOCKS UDP all take their local
// ports here. One counter walks the range in turn; a port that can't be
// bound is skipped. The socket that proved a port free is the one handed
// back, so no other program (or thread) can take the port between the
// choice and its use.
#pragma once

#include <sys/socket.h>

namespace engine {

// Makes a socket of the address's family and type (SOCK_STREAM,
// SOCK_DGRAM) and binds it to the address (its port is ignored; a wildcard
// address binds every interface) on the next free port of the -n range, or
// on a port of the system's choice without a range. A stream socket has
// address reuse allowed and is listening (with `backlog`) when it is handed
// back: a bound stream socket that does not listen yet would not keep
// another address-reusing socket off its port. Every port of the range is
// tried at most once: when none is free the result is -1 with errno
// EADDRINUSE. On success returns the socket and sets port.
int BindDataPort(const sockaddr* address, socklen_t length, int type, int& port, int backlog = 1);

// The same on the wildcard address of a family (AF_INET, AF_INET6).
int BindDataPort(int family, int type, int& port, int backlog = 1);

// Forgets where the walk through the range stands: the next choice starts
// at the range's low end again. For the tests of the walk.
void ResetDataPortCounter();

}  // namespace engine
