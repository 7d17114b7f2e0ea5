// What each kept server connection was made for, so that a connection is
// reused only for the same destination, server and marks, and only by the
// connection record that made it. Kept beside the record, by server socket.
#pragma once

#include <string>

#include "engine/core/connection.h"
#include "engine/upstream/upstream_target.h"

namespace engine {

struct ServerConnectionKey {
    std::string host;  // as the client asked for it
    int port = 0;
    UpstreamTarget target;

    bool operator==(const ServerConnectionKey&) const = default;
};

void RememberServerConnection(const ConnectionRecord* record, int socket, ServerConnectionKey key);

// True when `socket` is the connection that `record` made for `key`.
bool IsServerConnectionFor(const ConnectionRecord* record, int socket, const ServerConnectionKey& key);

// True when `record` made the connection on `socket` (and it was not
// forgotten since): only then may it close that descriptor.
bool IsServerConnectionOf(const ConnectionRecord* record, int socket);

// Called when the socket is closed.
void ForgetServerConnection(int socket);

}  // namespace engine
