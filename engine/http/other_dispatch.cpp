#include "engine/http/other_dispatch.h"

#include "engine/http/get_dispatch.h"

namespace engine {

int OtherDispatch(ConnectionRecord* record) {
    AnswerProxyError(record, 501, "Not Implemented", "This request method is not served by this proxy yet.");
    return 0;
}

}  // namespace engine
