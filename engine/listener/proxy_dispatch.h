// The HTTP dispatcher that the connection worker hands each captured
// request to.
#pragma once

#include "engine/core/connection.h"

namespace engine {

// Serves the request captured in record->RequestFile (its first line is in
// record->WorkBuffer). Leaves record->KeepAlive set when the connection is
// to stay open for another request. Returns the handler's result.
int Proxy_Dispatch(ConnectionRecord* record);

// The access log line of the request in the record, with the status and
// byte count its answer left there, unless the listener is masked.
void WriteRequestAccessLog(const ConnectionRecord& record);

}  // namespace engine
