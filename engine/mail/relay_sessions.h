// The two halves of the lockstep line relay, driven by TelnetDispatch.
#pragma once

#include "engine/linerelay/line_relay.h"

namespace engine {

// Carries one client command to the server (mode 0), or, in mode 1, the
// data part of an SMTP mail after its checks. Result: one of the kRelay
// codes of line_relay.h.
int ClientToServerSession(LineRelayState& state, int mode);

// Carries one complete server reply to the client (mode kReplyCommand or
// kReplyRetrieval). Result: 1, or 0 when the server sent nothing or the
// client could not take the reply.
int ServerToClientSession(LineRelayState& state, int mode);

// Reads one complete reply of the server into `reply` (the answer to a
// command the relay sent itself). False when the server ended first.
bool ReadServerReply(LineRelayState& state, std::string& reply, const char* function);

// STARTTLS towards the server ("-" in the connection list): SMTP after
// an EHLO with the client's greeting argument, POP3 and IMAP4 right after
// the greeting. A server that refuses leaves the connection plain (logged). False when the connection can't go on.
bool StartTlsTowardsServer(LineRelayState& state, const std::string& ehloArgument);

// IMAP4 with STARTTLS towards the server: the server's greeting, then the
// switch, then the greeting to the client. False when the connection
// can't go on.
bool RelayImapGreetingOverTls(LineRelayState& state);

// STARTTLS towards the client once the relay has answered the client's
// STARTTLS itself. False when the handshake failed.
bool StartTlsTowardsClient(LineRelayState& state);

}  // namespace engine
