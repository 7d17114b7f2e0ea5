// The replies to a SOCKS request that the CONNECT road sends.
#pragma once

#include "engine/socks/socks_client.h"
#include "engine/socks/socks_wire.h"

namespace engine {

// Keeps the reply to the request in the record (SocksReply, code not yet
// set). A CONNECT returns 1 and sends nothing; any other command gets its
// failure reply (BIND "[SOCKS45Res1] accept fail.", others "[SOCKS45Res1]
// socks fail."; SOCKS 5 says the command is not supported), RequestLine is
// emptied, and 0 is returned.
int SOCKS45Res1(SocksClient& client, const SocksRequest& request);

// Sends the kept reply with the granted code (90, or 0), dumped to the
// log. False when the client did not take it.
bool SocksReplyGranted(SocksClient& client, const SocksRequest& request);

// The failure code for a connect that failed with errno `error` (as
// ConnectHost leaves it): SOCKS 5 tells a refusal, an unreachable host or
// network (a name that does not resolve among them) from other failures.
int SocksConnectFailureCode(const SocksRequest& request, int error);

// Sends the reply with a refusal code (also dumped).
bool SocksReplyRefused(SocksClient& client, const SocksRequest& request, int code);

}  // namespace engine
