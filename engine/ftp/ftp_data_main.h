// One FTP data connection of the FTP proxy (and of an FTP control
// connection that the SOCKS proxy relays): FTPDataMain waits on the data
// listener the control relay prepared, takes the one connection from the
// expected peer, and FTPDataDispatch connects to the other end, waits for
// the plan of the command that uses the channel, and moves the data one
// way through a spool file: received whole, scanned, taken from or stored
// in the FTP cache, then sent on.
#pragma once

#include <string>
#include <vector>

#include "engine/ftp/ftp_data.h"
#include "engine/upstream/server_socket.h"

namespace engine {

struct DataChannelParams {
    FtpDataChannelPtr channel;
    // The bound, listening data socket; FTPDataMain closes it.
    int listenSocket = -1;
    std::string listenAddress;  // for the log
    // Only these hosts may connect to the listener: the client in passive
    // mode, the server in active mode; under SOCKS also the engine itself,
    // whose SOCKS relay brings the client's data connection.
    std::vector<SocketAddress> acceptFrom;
    // Where FTPDataDispatch connects: the server's data port in passive
    // mode, the client's in active mode.
    SocketAddress connectTo;
    int scanProtocol = 0;  // the scan request's source
};

// The thread routine. Returns 1 after a served connection or a wait that
// ended without one, 0 after a set-up failure.
int FTPDataMain(DataChannelParams params);

// Serves the accepted data connection; closes neither socket.
int FTPDataDispatch(int accepted, const DataChannelParams& params);

}  // namespace engine
