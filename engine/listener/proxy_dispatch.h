// The HTTP request dispatch: the connection worker hands each captured
// request to Proxy_Dispatch, which picks the handler by the method (CONNECT
// to the tunnel road, every other method to the HTTP road) and writes the
// access log line afterwards.
#pragma once

#include <cstddef>
#include <string_view>

#include "engine/core/connection.h"

namespace engine {

// A method token longer than this goes to no handler.
inline constexpr size_t kMethodTokenLimit = 20;

enum class MethodHandler { Get, Connect, Other, None };

// The handler for a method token (ASCII case ignored).
MethodHandler ChooseMethodHandler(std::string_view token);

// Serves the request captured in record->RequestFile (its first line is in
// record->WorkBuffer). Leaves record->KeepAlive set when the connection is
// to stay open for another request. Returns the handler's result.
int Proxy_Dispatch(ConnectionRecord* record);

// The access log line of the request in the record, with the status and
// byte count its answer left there, unless the listener is masked.
void WriteRequestAccessLog(const ConnectionRecord& record);

}  // namespace engine
