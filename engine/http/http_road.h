// The exchange with the server that every HTTP method but CONNECT goes
// through: connect (directly or through the upstream proxy), send the
// rewritten head and the request's body, receive the response into its
// spool (or stream it to the client past a size), have a GET response
// scanned and filtered, answer in the server's place when it could not be
// served, and relay the response to the client.
#pragma once

#include <functional>
#include <string>

#include "engine/client_io/client_send.h"
#include "engine/core/connection.h"
#include "engine/core/engine_settings.h"
#include "engine/http/request_target.h"

namespace engine {

class ResponseReader;
class ResponseSpool;

// Responses with a Content-Length whose whole size exceeds this reach the
// client while they arrive, as do white-listed ones.
inline constexpr unsigned long long kStreamingThreshold = 2097152;

struct RoadOptions {
    const char* function = "GetDispatch";  // names the road's log lines
    bool white = false;      // white-listed: streamed as it arrives, neither scanned nor filtered
    bool scanned = true;     // the response goes to the virus scan and the word filter
    bool bodyless = false;   // HEAD: no response carries a body
    // The request may go once more on a new connection when a kept server
    // connection turns out to have been closed: only a request that does
    // no harm when the server got it twice.
    bool resendable = true;
    // Called with a response that came whole and is about to be relayed
    // from its whole copy (after the scans): the HTTP cache stores it.
    std::function<void(ResponseSpool& spool, const ResponseReader& reader, int serverSocket)> beforeRelay;
};

// A request of the road once its target is known and the lists let it
// pass.
struct RoadRequest {
    std::string head;      // the client's request head (CapturedHead)
    RequestTarget target;
    SpoolFiles spool;      // the response's spool files
    bool white = false;    // white-listed
};

// Reads the request's target, asks the white and then the black list
// (URL key and list key) and names its spool files. False when the request
// ends here: no HTTP version, a black-listed target (no reply; the hit is
// shown on the console when blackOnConsole, else in the daily log), an
// ftp:// URL or no server named (the proxy's answer).
bool OpenRoadRequest(ConnectionRecord* record, const char* function, bool blackOnConsole, RoadRequest& request);

// Serves the request of the connection over the road: capturedHead is the
// client's request head (CapturedHead), spool the request's spool files.
// Leaves StatusCode and ResponseBytes for the access log and KeepAlive
// cleared whenever the connection cannot carry another request.
void ServeOverRoad(ConnectionRecord* record, const std::string& capturedHead, const RequestTarget& target,
                   const SpoolFiles& spool, const RoadOptions& options);

// Relays an open response file to the client: its head through the head
// rewriting (addOwnLines on the cache road), then the rest unchanged.
// Clears KeepAlive when the client could not take it all.
void RelayResponseFile(ConnectionRecord* record, FILE* file, const std::string& versionText, bool addOwnLines,
                       const char* function);

// Ends a request without a reply of the road's: the connection ends too,
// so the client is not left waiting for one. Returns 0.
int DropRequest(ConnectionRecord* record);

}  // namespace engine
