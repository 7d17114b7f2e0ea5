// The head of a stored HTTP response on its way to the client: protocol
// upgrade lines dropped, "close" connection lines in one form, the
// connection's keep-alive ended when the response asks for it or can only
// end by a close, and, for responses served from the HTTP cache, the
// engine's own Via and forwarding lines (as option -u enables them).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/core/connection.h"
#include "engine/core/engine_settings.h"

namespace engine {

// The most bytes of head sent to the client in one piece; lines of a head
// beyond it are left in the response and relayed unchanged.
inline constexpr size_t kResponseHeadLimit = 16384;
// Lines are read in pieces of at most this many characters.
inline constexpr size_t kResponseLineLimit = 16384;

struct RewrittenHead {
    bool statusLineFound = false;  // the response begins with "HTTP/"
    bool headEnd = false;          // the empty line that ends the head was seen
    std::string head;              // what goes to the client
    size_t consumed = 0;           // bytes of the stored response that head replaces
    bool endsKeepAlive = false;    // the connection must close after this response
};

// The Via value "<version> <listen host name> (VELQOR Server v2.15)\r\n".
std::string ViaValue(std::string_view versionDigits, const ConnectionRecord& connection);

// Rewrites the head at the start of stored. versionText is the request's
// version ("HTTP/1.1"), whose digits name the Via value until the status
// line gives the response's own. addOwnLines is set on the cache road.
RewrittenHead RewriteResponseHead(std::string_view stored, const ConnectionRecord& connection,
                                  std::string_view versionText, bool addOwnLines, const EngineSettings& settings);

enum class HeadSendResult {
    NotFound,    // no status line: nothing sent, the file is back where it was
    Sent,        // the head went out; the file is just behind it
    SendFailed,  // the client could not take it
};

// Sends the rewritten head of the response file, read from its current
// position, to the connection's client and leaves the file behind the part
// it replaced, so the caller relays the rest unchanged. Clears KeepAlive
// when the response ends keep-alive.
HeadSendResult SetVIAResponseHeader(ConnectionRecord& connection, FILE* response, std::string_view versionText,
                                    bool addOwnLines, const EngineSettings& settings);

}  // namespace engine
