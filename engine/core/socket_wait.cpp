#include "engine/core/socket_wait.h"

#include <poll.h>

#include <cerrno>
#include <climits>

namespace engine {

Deadline Deadline::After(int milliseconds) {
    Deadline d;
    if (milliseconds > 0) {
        d.limited_ = true;
        d.end_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    }
    return d;
}

int Deadline::RemainingMs() const {
    if (!limited_) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now()).count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

int WaitForSocket(int socket, short events, const Deadline& deadline) {
    for (;;) {
        pollfd entry{socket, events, 0};
        int remaining = deadline.RemainingMs();
        int result = ::poll(&entry, 1, remaining);
        if (result > 0) return 1;
        if (result == 0) {
            if (remaining == 0 || deadline.RemainingMs() == 0) return 0;
            continue;  // woke a little early
        }
        if (errno != EINTR) return -1;
    }
}

}  // namespace engine
