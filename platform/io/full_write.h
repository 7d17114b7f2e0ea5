// Whole writes on descriptors. WriteFile and send on a blocking handle take
// every byte they are given; write(2) and send(2) may take a part, or be cut
// short by a signal, so these go on until all is taken.
#pragma once

#include <string_view>

namespace platform {

// Writes all of `bytes` to `fd`, going on after signals and short writes.
// False on an error (errno tells) or when the descriptor takes nothing.
bool WriteAll(int fd, std::string_view bytes);

// The same on a connected socket, sent with MSG_NOSIGNAL: a peer that has
// gone is an error (EPIPE), never a SIGPIPE that ends the process.
bool SendAll(int socket, std::string_view bytes);

}  // namespace platform
