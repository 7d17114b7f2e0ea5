#include "engine/ftp/cancel_signal.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "engine/core/socket_wait.h"

namespace engine {

CancelSignal::CancelSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal() {
    if (fd_ >= 0) ::close(fd_);
}

void CancelSignal::Cancel() {
    if (cancelled_.exchange(true)) return;
    uint64_t one = 1;
    if (fd_ >= 0) [[maybe_unused]]
        ssize_t n = ::write(fd_, &one, sizeof one);
}

int WaitSocketOrCancel(int socket, short events, const CancelSignal* cancel, int timeoutMs) {
    const Deadline deadline = Deadline::After(timeoutMs);
    for (;;) {
        if (cancel && cancel->Cancelled()) return -1;
        pollfd fds[2] = {{socket, events, 0}, {cancel ? cancel->descriptor() : -1, POLLIN, 0}};
        int ready = ::poll(fds, 2, deadline.RemainingMs());
        if (ready < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (fds[1].revents != 0) return -1;
        if (fds[0].revents != 0) return 1;
        if (deadline.RemainingMs() == 0) return 0;
    }
}

}  // namespace engine
