// The connections whose workers are serving them, so that a stopping
// engine can end them: a worker waits in receives from its client or its
// server, and only a shut-down socket wakes it before its time-out.
#pragma once

#include <chrono>

#include "engine/core/connection.h"

namespace engine {

// A worker registers its record once it serves the connection and
// unregisters it before it closes the connection and frees the record.
// A record registered after EndLiveConnections is ended at once.
void RegisterLiveConnection(ConnectionRecord* record);
void UnregisterLiveConnection(ConnectionRecord* record);

// A connection in the middle of a transaction that must not be cut (an
// SMTP mail past DATA: cut after the server took it, the client would
// never hear so and send it again) is held: ending the live connections
// passes it by until it is released, and is ended then.
void HoldLiveConnection(ConnectionRecord* record);
void ReleaseLiveConnection(ConnectionRecord* record);

// Shuts down (both ways) the client and server sockets of every live
// connection, and of every one registered from now on: their workers'
// receives return and their sends fail, so they run to their end. True
// when a held connection was passed by.
bool EndLiveConnections();

// Waits until no connection is live, or the deadline passes; true when
// none is left.
bool WaitUntilNoLiveConnections(std::chrono::steady_clock::time_point deadline);

}  // namespace engine
