// The engine's listener: one listening socket per listen entry, one worker
// thread per accepted client.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace engine {

struct ListenerParameters {
    // Entries "address" or "address port"; an entry's own port wins over
    // `port`.
    std::vector<std::string> listenList;
    int port = 8080;
    // Checked each time the listener wakes; nothing in the engine sets it.
    const std::atomic<bool>* stop = nullptr;
    // When readable, the listener stops: it closes its sockets and returns
    // (-1: none). It is not read here; the caller learns why from it.
    int stopDescriptor = -1;
    // Called once every port is bound and listening, before the first
    // client is taken (none: nothing is called). False: the listener closes
    // its sockets and returns without taking a client.
    bool (*onListening)() = nullptr;
};

// Listens on every entry of the enabled IP version(s) (-i) and starts
// PROXYMain for each accepted client. Returns only when a listening socket
// can't be set up, onListening refuses, waiting for clients fails, or the
// stop descriptor says so, which ends the engine.
void AcceptClients(const ListenerParameters& parameters);

}  // namespace engine
