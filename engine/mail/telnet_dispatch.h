// TelnetDispatch: connects one admitted client of a line protocol (SMTP,
// POP3, IMAP4, FTP control) to its server and drives the relay until one
// side ends. The SOCKS proxy calls it too, once the SOCKS greeting is read,
// for a CONNECT it relays.
//
// Which relay runs:
//  - the byte tunnel (engine/relay/tunnel_relay.h) for a connection list
//    entry with the "*" mark, and for a SOCKS connection whose exchange is
//    settled (its destination is marked encrypted, or is no line protocol);
//  - the SOCKS FTP data relay, which the SOCKS proxy supplies;
//  - else the lockstep line relay of line_relay.h, for the engine's
//    protocol or, under SOCKS, the protocol the SOCKS proxy detected.
//
// The server comes from the connection list: its line for the listen
// address and port names the mail or FTP server (ConnectHost). Under SOCKS
// the SOCKS request names it (SocksDispatchSteps::readRequest).
#pragma once

#include <functional>
#include <string>

#include "engine/core/connection.h"
#include "engine/linerelay/line_relay.h"

namespace engine {

// The SOCKS exchange around the connect; every step is the SOCKS proxy's.
struct SocksDispatchSteps {
    // The exchange is already settled: the relay is a byte tunnel.
    bool settled = false;
    // Reads the SOCKS request and checks the destination lists (logging a
    // hit and sending its refusal itself). Fills host and port. False ends
    // the connection at once.
    std::function<bool(std::string& host, int& port)> readRequest;
    // The connect to the destination failed: send the refusal.
    std::function<void()> connectFailed;
    // The connect succeeded: send the success reply. False ends.
    std::function<bool()> connected;
    // Relays an FTP data connection (detected protocol 5) between the two
    // sockets, in this thread and one more; returns when it is over.
    std::function<void(int clientSocket, int serverSocket)> dataRelay;
};

struct LineRelayPlugins {
    // Makes the FTP control hooks for a connection relayed as FTP; empty:
    // the control channel passes unchanged.
    FtpHooksFactory ftp;
    // Null for the engine's own line protocols.
    const SocksDispatchSteps* socks = nullptr;
};

// Returns when the connection is over. The server socket is closed here;
// the client socket and its TLS are the caller's.
void TelnetDispatch(ConnectionRecord* record, const LineRelayPlugins& plugins = {});

}  // namespace engine
