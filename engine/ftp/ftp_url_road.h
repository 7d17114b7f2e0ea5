// The HTTP proxy's road for ftp:// URLs: a GET of an ftp:// URL is fetched
// by the FTP client into a spool file, scanned, and answered with an HTTP
// head (HTTP/1.x clients refuse a bare body): 200 with the transfer's
// length, or 502 with the server's refusal when the transfer did not run
// whole.
#pragma once

#include <string>

#include "engine/core/connection.h"

namespace engine {

// Serves the ftp:// GET in the record's RequestLine; function names the log
// lines. Leaves StatusCode and ResponseBytes for the access log; the
// connection ends after the answer.
void ServeFtpUrl(ConnectionRecord* record, const char* function);

}  // namespace engine
