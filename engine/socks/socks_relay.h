// The store-and-forward relays of a SOCKS FTP data connection: each
// direction takes everything its source sends into a spool file until the
// source ends, and only then sends it on, so that nothing reaches the
// other side before the whole transfer is there.
#pragma once

#include <cstdint>

#include "engine/core/connection.h"
#include "engine/core/tls_session.h"

namespace engine {

class FtpDataChannel;

struct SocksRelay {
    int sockSv = -1;  // the server side: the engine's FTP data listener
    TlsSession* tlsSv = nullptr;
    int sockCl = -1;  // the SOCKS client
    TlsSession* tlsCl = nullptr;
    // The engine's data channel behind sockSv (may be null): while its
    // transfer moves, a side that stays silent is waited for.
    FtpDataChannel* channel = nullptr;
};

// Reads sockCl (waiting at most the client plain time-out of -t a
// receive) and sends to sockSv. Returns the bytes received.
std::uint64_t ServerSocksSession(const SocksRelay& relay);

// Reads sockSv (the server plain time-out) and sends to sockCl. Returns
// the bytes received.
std::uint64_t ClientSocksSession(const SocksRelay& relay);

// Both directions of the connection's client and server sockets at once:
// ServerSocksSession in a second thread, ClientSocksSession in this one.
// Each direction ends its destination's stream once it has sent all, so
// that the other end learns the transfer is over. Returns when both are
// done.
void RunSocksDataRelay(ConnectionRecord* record);

}  // namespace engine
