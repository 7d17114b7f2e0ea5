// The request head the engine sends on to the server, for every method:
// the request line in the form the server expects, the engine's own lines
// (option -u), and the client's header lines with the proxy's rules for
// encodings, credentials and keep-alive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/connection.h"
#include "engine/core/engine_settings.h"
#include "engine/http/request_target.h"

namespace engine {

// The captured request's head: from its start up to and including the
// empty line that ends it (CR LF or a bare LF), or the first
// kRequestFileStartLimit bytes when none ends it there. Bytes that follow
// the head (a body, pipelined requests) are not part of it.
std::string CapturedHead(std::string_view captured);

struct OutgoingRequest {
    std::string head;        // the bytes to send
    bool keepAlive = false;  // the client asked to keep the connection, and may
};

// The request line for the server, with its CR LF: directly, origin form;
// through an upstream proxy the client's line (absolute form), or on the
// SOCKS engine the absolute form built from the URL key.
std::string ServerRequestLine(const RequestTarget& target, std::string_view clientLine, bool direct);

// Rewrites the captured head (its first line is replaced by requestLine,
// which carries its own CR LF); direct tells a connection to the server
// itself from one to an upstream proxy. An absolute-form request names its
// server in a Host line of the target's authority, in place of the
// client's. A body goes with one Content-Length line, in place of the
// client's Content-Length and Transfer-Encoding lines: a chunked body goes
// on as its data alone (SendRequestBody). The same for every method.
OutgoingRequest BuildOutgoingRequest(std::string_view capturedHead, const std::string& requestLine, bool direct,
                                     const RequestTarget& target, const ConnectionRecord& connection,
                                     const EngineSettings& settings);

// What BuildOutgoingRequest would leave in keepAlive, for a request that
// is answered without going to the server.
bool RequestKeepsAlive(std::string_view capturedHead, const RequestTarget& target, const EngineSettings& settings);

// Sends the body of the connection's request (RequestBody), read from
// RequestFile behind its head, to the server. sent counts the bytes. False
// (errno set) when the file does not hold it whole or the server did not
// take it.
bool SendRequestBody(const ConnectionRecord& connection, int server, int timeoutMs, uint64_t& sent);

// The forwarding lines that option -u adds behind a request line and
// behind the status line of a response from the HTTP cache: Forwarded,
// Remote-Host-Wp and X-Forwarded-For, as their bits say.
std::string ForwardingLines(const ConnectionRecord& connection, const EngineSettings& settings);

}  // namespace engine
