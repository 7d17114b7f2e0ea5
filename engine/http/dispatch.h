// The HTTP request dispatch: the connection worker hands each captured
// request to Proxy_Dispatch (declared with the worker, in
// engine/listener/proxy_dispatch.h), which picks the handler by the method
// and writes the access log line afterwards.
#pragma once

#include <string_view>

#include "engine/listener/proxy_dispatch.h"

namespace engine {

// A method token longer than this goes to no handler.
inline constexpr size_t kMethodTokenLimit = 20;

enum class MethodHandler { Get, Connect, Other, None };

// The handler for a method token (ASCII case ignored).
MethodHandler ChooseMethodHandler(std::string_view token);

}  // namespace engine
