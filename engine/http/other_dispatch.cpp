#include "engine/http/other_dispatch.h"

#include <string_view>

#include "common/ascii_case.h"
#include "engine/http/http_road.h"

namespace engine {

namespace {

constexpr const char* kFunction = "OtherDispatch";

// Methods that do no more harm when the server gets them twice: such a
// request goes again on a new connection when a kept one was found closed.
bool Idempotent(std::string_view method) {
    for (const char* name : {"HEAD", "PUT", "DELETE", "OPTIONS", "TRACE"})
        if (common::EqualsIgnoringAsciiCase(method, name)) return true;
    return false;
}

}  // namespace

int OtherDispatch(ConnectionRecord* record) {
    record->StatusCode = 0;
    record->ResponseBytes = 0;
    RoadRequest request;
    if (!OpenRoadRequest(record, kFunction, false, request)) return 0;

    // Responses on this road are neither scanned, filtered nor cached; a
    // white-listed target only passes the black list.
    RoadOptions options;
    options.function = kFunction;
    options.scanned = false;
    options.bodyless = common::EqualsIgnoringAsciiCase(request.target.method, "HEAD");
    options.resendable = Idempotent(request.target.method);
    ServeOverRoad(record, request.head, request.target, request.spool, options);
    return 0;
}

}  // namespace engine
