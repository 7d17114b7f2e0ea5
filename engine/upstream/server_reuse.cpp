#include "engine/upstream/server_reuse.h"

#include <mutex>
#include <unordered_map>

namespace engine {
namespace {

struct KeptConnection {
    const ConnectionRecord* owner = nullptr;
    ServerConnectionKey key;
};

// One entry per open descriptor at most: a descriptor number that is handed
// out again replaces the old entry.
std::mutex keptLock;
std::unordered_map<int, KeptConnection>& Kept() {
    static std::unordered_map<int, KeptConnection> kept;
    return kept;
}

}  // namespace

void RememberServerConnection(const ConnectionRecord* record, int socket, ServerConnectionKey key) {
    std::lock_guard<std::mutex> lock(keptLock);
    Kept()[socket] = KeptConnection{record, std::move(key)};
}

bool IsServerConnectionFor(const ConnectionRecord* record, int socket, const ServerConnectionKey& key) {
    std::lock_guard<std::mutex> lock(keptLock);
    auto found = Kept().find(socket);
    return found != Kept().end() && found->second.owner == record && found->second.key == key;
}

bool IsServerConnectionOf(const ConnectionRecord* record, int socket) {
    std::lock_guard<std::mutex> lock(keptLock);
    auto found = Kept().find(socket);
    return found != Kept().end() && found->second.owner == record;
}

void ForgetServerConnection(int socket) {
    std::lock_guard<std::mutex> lock(keptLock);
    Kept().erase(socket);
}

}  // namespace engine
