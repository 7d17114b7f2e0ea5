// The connection worker: one thread per accepted client, which owns the
// connection record until the connection ends.
#pragma once

#include "engine/core/connection.h"

namespace engine {

// Thread entry. Admits the client (address rules, client blocklists, the
// TLS accept of a TLS port), enforces the connection limit, serves the
// client's requests through the protocol's dispatcher and finally closes
// the connection and frees the record. Returns 1.
unsigned PROXYMain(ConnectionRecord* record);

// Closes a client that is not served, logging "Close Client socket.", and
// frees its record.
void RefuseClient(ConnectionRecord* record);

}  // namespace engine
