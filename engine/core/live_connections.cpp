#include "engine/core/live_connections.h"

#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <unordered_set>

namespace engine {
namespace {

struct LiveConnections {
    std::mutex lock;
    std::condition_variable emptied;
    std::unordered_set<ConnectionRecord*> records;
    std::unordered_set<ConnectionRecord*> held;
    bool ending = false;
};

LiveConnections& Live() {
    static LiveConnections live;
    return live;
}

// Held under the registry's lock, so the record can't be freed meanwhile.
// The worker may change its server socket at the same moment: the number
// read is then one it has just made or let go of, and shutting down a
// number that names another descriptor of this stopping engine (or none)
// does no harm worth a lock in every step that connects to a server.
void End(ConnectionRecord* record) {
    if (record->ClientSocket != kNoSocket) ::shutdown(record->ClientSocket, SHUT_RDWR);
    const int server = std::atomic_ref<int>(record->ServerSocket).load(std::memory_order_relaxed);
    if (server != kNoSocket) ::shutdown(server, SHUT_RDWR);
}

}  // namespace

void RegisterLiveConnection(ConnectionRecord* record) {
    LiveConnections& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    live.records.insert(record);
    if (live.ending) End(record);
}

void UnregisterLiveConnection(ConnectionRecord* record) {
    LiveConnections& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    live.records.erase(record);
    live.held.erase(record);
    if (live.records.empty()) live.emptied.notify_all();
}

void HoldLiveConnection(ConnectionRecord* record) {
    LiveConnections& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    if (!live.ending) live.held.insert(record);
}

void ReleaseLiveConnection(ConnectionRecord* record) {
    LiveConnections& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    if (live.held.erase(record) > 0 && live.ending) End(record);
}

bool EndLiveConnections() {
    LiveConnections& live = Live();
    std::lock_guard<std::mutex> guard(live.lock);
    live.ending = true;
    for (ConnectionRecord* record : live.records)
        if (live.held.count(record) == 0) End(record);
    return !live.held.empty();
}

bool WaitUntilNoLiveConnections(std::chrono::steady_clock::time_point deadline) {
    LiveConnections& live = Live();
    std::unique_lock<std::mutex> guard(live.lock);
    return live.emptied.wait_until(guard, deadline, [&] { return live.records.empty(); });
}

}  // namespace engine
