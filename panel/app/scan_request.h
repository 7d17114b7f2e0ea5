// One question to the anti-virus scan server, for the scan window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace panel {

// Asks the anti-virus scan server about one file: the request carries the
// file-name bytes as they are (the server opens the file by them), in a
// zeroed 512-byte message. 1 when it answered: `reply` is empty for a clean
// file (also for "Password-protected-EXE" in any case of letters), else the
// finding. 0 when the pipe failed or no answer came within
// `replyTimeoutMs`; -1, and nothing sent, for a request that does not fit
// the message, since a cut one would name another file.
int AvScanRequest(std::string_view path, std::string& reply, uint32_t replyTimeoutMs = 0xFFFFFFFF);

}  // namespace panel
