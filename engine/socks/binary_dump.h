// The hex dump of SOCKS replies and datagrams in the daily log.
#pragma once

#include <cstddef>
#include <string>

namespace engine {

// The dump entry: "[BinaryDump] [%04d]" and a line feed, then rows of 16
// bytes ("  " and "%02x " a byte, a line feed each; length / 16 + 1 rows),
// then a line feed; bounded at some 1,000 characters.
std::string BinaryDumpText(int socket, const void* data, std::size_t length);

// Writes the entry as one log line.
void BinaryDump(int socket, const void* data, std::size_t length);

}  // namespace engine
