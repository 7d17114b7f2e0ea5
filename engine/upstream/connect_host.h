// The engine's way to its servers: every proxy reaches its server (or the
// upstream proxy that the protocol's connection list names) through
// ConnectHost, and lets go of it through CloseServerConnection.
#pragma once

#include <string>

#include "engine/core/connection.h"

namespace engine {

// Connects the connection's server side and returns the server socket, or
// kNoSocket on any failure (logged with the client socket number).
//
// `host` and `port` are the destination the client asked for; `host` is a
// name or an address, without a port (an IPv6 address may be in brackets),
// at most 255 characters. The listen entry's line of the connection list
// may name a fixed server or upstream proxy, a send address and the server
// marks: "*" tunnel (DestinationEncrypted), "+" TLS, "-" STARTTLS
// (ServerUseTls, ServerUseStartTls; SOCKS keeps its own flags).
//
// HTTP: an upstream proxy is a server that the listen entry's line (or
// option -s) names, whatever its name; the requested host is never taken
// for one. `host` is left as it is for a direct connection and becomes
// "<proxy>:<port>" for an upstream proxy, so a caller sees the proxy by the
// changed text, also when the connection is reused and also when the proxy
// and the requested host have the same name. A connection to the same
// host, port and server marks whose server has not closed it is reused
// without connecting; any other one is closed first. An empty host closes
// the server connection and fails.
//
// With the "+" mark the TLS handshake towards the server is done here: on
// success record->Tls.server holds the session, and callers do not connect
// TLS again.
//
// On success ServerSocket holds the socket and ServerConnected is 1. On
// failure errno tells a refusal from the server's host (ECONNREFUSED), a
// host or network out of reach (EHOSTUNREACH, also for a name that does
// not resolve; ENETUNREACH) and a connect that timed out (ETIMEDOUT); any
// other failure leaves it 0.
int ConnectHost(ConnectionRecord* record, std::string& host, int port);

// Ends the server side: closes its TLS session, shuts the socket down both
// ways and closes it, logs "[<function>] [%04d] Close Server socket. [%04d]"
// (client and server socket) and leaves ServerSocket -1 and ServerConnected
// 0, so that a descriptor number the system hands out again is never taken
// for this connection's server. Does nothing when there is no server socket;
// a socket that ConnectHost did not connect for this record (or that was
// closed behind its back) is not touched again, only the fields are reset.
// Callers close the server side through this, never with a bare close.
void CloseServerConnection(ConnectionRecord* record, const char* function);

}  // namespace engine
