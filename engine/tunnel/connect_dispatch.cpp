#include "engine/tunnel/connect_dispatch.h"

#include "engine/http/get_dispatch.h"

namespace engine {

int ConnectDispatch(ConnectionRecord* record) {
    AnswerProxyError(record, 501, "Not Implemented", "CONNECT tunnels are not served by this proxy yet.");
    return 0;
}

}  // namespace engine
