// The one pipe call of the watchers: a 512-byte request (the text, then
// zero bytes) and a reply of up to 512 bytes, to the scan pipe or the
// alert pipe.
#pragma once

#include <cstddef>
#include <string>

#include "common/pipe_messages.h"
#include "common/pipe_names.h"

namespace watch {

// The longest text a request holds whole: a longer path is never sent cut,
// it would name another file.
inline constexpr size_t kMaxRequestText = common::kPlainMessageSize - 1;

struct PipeCallRules {
    // The autostart watcher's rule: a reply beginning "AVS_ACCESSDENIED"
    // (any case) counts as clean and is emptied.
    bool accessDeniedIsClean = false;
};

// Sends `request` (cut to 511 bytes) and waits for the reply without
// limit. A busy pipe is waited for, logged once per call; any other
// failure is logged too. True with the reply (empty: clean) when one came.
bool CallPipeTransaction(const std::string& request, std::string& reply, const char* pipeName,
                         PipeCallRules rules = {});

// False, with a log line, for a path too long to be sent whole.
bool FitsScanRequest(const std::string& path);

// "[finding] path" to the alert pipe; the reply is not looked at.
void SendAlert(const std::string& finding, const std::string& path);

}  // namespace watch
