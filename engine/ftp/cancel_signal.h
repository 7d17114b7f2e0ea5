// A one-way "stop" that a thread blocked on a socket notices: its
// descriptor turns readable once Cancel has been called, so every wait
// polls it beside the socket it waits on.
#pragma once

#include <atomic>

namespace engine {

class CancelSignal {
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void Cancel();
    bool Cancelled() const { return cancelled_.load(); }
    int descriptor() const { return fd_; }

private:
    int fd_ = -1;
    std::atomic<bool> cancelled_{false};
};

// Waits until the socket is ready for `events` (POLLIN, POLLOUT), the
// signal is cancelled (may be null) or timeoutMs has passed (0 or less: no
// limit). Result: 1 ready (errors and hang-ups count as ready), 0 time-out,
// -1 cancelled or the wait failed.
int WaitSocketOrCancel(int socket, short events, const CancelSignal* cancel, int timeoutMs);

}  // namespace engine
