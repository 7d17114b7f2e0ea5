// Bounded waits on a socket: every wait of the TLS layer and the relays ends
// by itself once its time-out has passed, so no peer can hold a thread forever.
#pragma once

#include <chrono>

namespace engine {

// The moment a wait gives up. A time-out of 0 (or less) means no limit,
// as it does for the engine's socket time-out settings.
class Deadline {
public:
    static Deadline After(int milliseconds);
    // Milliseconds left for poll(): -1 without a limit, 0 once passed.
    int RemainingMs() const;

private:
    bool limited_ = false;
    std::chrono::steady_clock::time_point end_{};
};

// Waits until the socket is ready for `events` (POLLIN, POLLOUT). Result:
// 1 ready (hang-up and socket errors count as ready: the next call on the
// socket reports them), 0 the deadline passed, -1 the wait itself failed.
int WaitForSocket(int socket, short events, const Deadline& deadline);

}  // namespace engine
