// The line relay's traffic with its two sides: receives that log as the
// relay logs, whole sends of binary data, and the capture file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/linerelay/line_relay.h"

namespace engine {

// Appends one read from the client (or the server) to `into`. Result: the
// bytes read; 0 when the side closed; -1 on an error or time-out (logged
// under `function`).
int ReceiveFromClient(LineRelayState& state, std::string& into, const char* function);
int ReceiveFromServer(LineRelayState& state, std::string& into, const char* function);
// The same from the client, waiting at most timeoutMs: kReceiveTimedOut
// (not logged) when nothing came in that time.
inline constexpr int kReceiveTimedOut = -2;
int ReceiveFromClientWithin(LineRelayState& state, std::string& into, const char* function, int timeoutMs);

// Sends every byte; false (logged) when the side can't take them.
bool SendToClient(LineRelayState& state, std::string_view bytes, const char* function);
bool SendToServer(LineRelayState& state, std::string_view bytes, const char* function);

// The whole file, or false when it can't be read.
bool ReadWholeFile(const std::string& path, std::string& content);
// Replaces the file's content; false when it can't be written. The file is
// written over and then cut to its new length rather than emptied first:
// emptying a spool file and filling it again for every mail gives its
// pages back and takes them anew, which costs more than the write itself.
bool WriteWholeFile(const std::string& path, std::string_view content);

// The same in steps: open (made when missing, not emptied) ...
int OpenForRewrite(const std::string& path);
// ... and, after the writes from the start, cut what lies behind `size`.
bool EndFileAt(int fd, std::uint64_t size);

// A command or reply as a log line shows it: short ones whole.
void LogShortText(const char* function, int clientSocket, std::string_view text);

}  // namespace engine
