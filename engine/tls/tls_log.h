// Log lines of the TLS layer. They go to the engine's daily log; until the
// engine's log writer is linked in, they go to the standard error stream,
// which is where the daily log writes its console copy.
#pragma once

namespace engine {

// Formats one log line; the caller's text ends with its own newline.
void TlsLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace engine
