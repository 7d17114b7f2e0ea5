// The socket work of an upstream connection: resolving the server by the
// engine's IP version, binding the send address, connecting within a
// time-out to each address in turn, and telling whether a kept connection
// is still open.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/socket.h>

namespace engine {

struct SocketAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
    int family() const { return address.ss_family; }
};

// The longest name the resolver is given (a DNS name has at most 253
// characters; 255 leaves room for a final dot and more).
inline constexpr std::size_t kMaxServerNameLength = 255;

// Resolves server and port (decimal or a service name) for stream sockets
// by option -i: 0 IPv4, 1 IPv6, any other value either family, and then,
// when that finds nothing, IPv6 alone. An IPv6 address may be written in
// brackets. Result: 0 with at least one address in `out`, else the
// resolver's error code (EAI_*).
int ResolveServer(const std::string& server, const std::string& port, int ipVersion,
                  std::vector<SocketAddress>& out);

// The send address of a connection list line: a numeric IPv4 or IPv6
// address (brackets allowed), port 0. nullopt for anything else.
std::optional<SocketAddress> ParseSendAddress(const std::string& text);

// Moves the addresses of `family` to the front, each group in its order.
void PreferFamily(std::vector<SocketAddress>& addresses, int family);

// A stream socket for the address's family, bound to the send address
// when there is one. A send address that cannot be bound (another family,
// taken, not local) calls bindFailed and leaves the socket unbound: the
// connect goes on from an address the system chooses. -1 (errno) when no
// socket could be made.
int OpenServerSocket(const SocketAddress& server, const std::optional<SocketAddress>& sendAddress,
                     const std::function<void()>& bindFailed);

// Connects a blocking socket, waiting at most timeoutMs (0: no limit of
// our own). Result: 0, or the errno of the failure (ETIMEDOUT when the
// time ran out). The socket is blocking again afterwards.
int ConnectWithin(int socket, const SocketAddress& server, int timeoutMs);

struct ConnectAttempt {
    bool connected = false;
    int socket = -1;  // the connected socket; else the last one tried (closed)
    int error = 0;    // errno of the last failure
};

// One attempt over every address in turn: `socket` (already made for the
// first address) connects to addresses[0]; each further address gets a
// socket of its own from OpenServerSocket. Failed sockets are closed.
ConnectAttempt ConnectToAny(int socket, const std::vector<SocketAddress>& addresses,
                            const std::optional<SocketAddress>& sendAddress, int timeoutMs,
                            const std::function<void()>& bindFailed);

// True while a kept server connection is still usable: no error, not
// closed or half-closed by the server, and, unless unreadDataAllowed, no
// bytes waiting that nobody asked for (the rest of an earlier reply).
bool ServerStillOpen(int socket, bool unreadDataAllowed);

}  // namespace engine
