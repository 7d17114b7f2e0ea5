// The FTP proxy's part of the control connection relay: it follows the
// user and the current folder (for the FTP cache), sends the data
// connections through the engine (PORT and EPRT taken over by a data
// listener of the engine, 227 and 229 replies pointing the client at one),
// bridges PASV and EPSV between address families, tells each data channel
// the direction of the command that uses it, and serves RETR from the FTP
// cache while an entry is fresh.
#pragma once

#include <memory>

#include "engine/linerelay/line_relay.h"

namespace engine {

// The hooks for one FTP control connection (LineRelayPlugins::ftp). They
// stop and join every data thread of the connection when the relay ends.
std::unique_ptr<FtpControlHooks> MakeFtpControlHooks(LineRelayState& state);

}  // namespace engine
