// The byte relay of a tunnel: every byte one side sends goes to the other,
// unread and unchanged, in both directions at once, until the tunnel ends.
// The HTTP proxy's CONNECT tunnel runs on it, and so does any road that
// hands a client and its server over to raw bytes.
//
// One direction runs in a thread of its own (client to server,
// ServerSession) while the caller's thread carries the other (server to
// client, ClientSession). The tunnel ends when the server ends its stream,
// when a receive or a send fails on either side, or when no byte has moved
// either way for the idle time-out. A client that ends its stream only
// half-closes the tunnel: the server is told (its side is shut for
// writing) and its answer still reaches the client.
//
// Neither direction closes a socket or a TLS session: RunTunnel returns
// once both directions are done, and only then may the caller close them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

#include "engine/core/tls_session.h"

namespace engine {

// The most bytes received, and then sent on, at a time: large enough that
// a fast transfer takes few rounds of receive and send (the buffer's pages
// are taken only as bytes fill them, so an idle tunnel costs little).
inline constexpr int kTunnelChunk = 128 * 1024;

struct TunnelSides {
    int clientSocket = -1;
    TlsSession* clientTls = nullptr;  // null: plain
    int serverSocket = -1;
    TlsSession* serverTls = nullptr;
};

// Milliseconds; 0 means no limit.
struct TunnelTimeouts {
    int idle = 0;        // no byte either way for this long ends the tunnel
    int clientSend = 0;  // each wait for the client to take more
    int serverSend = 0;  // each wait for the server to take more
};

// What the two directions of one tunnel share: the sides, the time-outs,
// the moment a byte last moved either way, and the stop that wakes a
// direction waiting for its side.
class Tunnel {
public:
    Tunnel(const TunnelSides& sides, const TunnelTimeouts& timeouts);
    ~Tunnel();
    Tunnel(const Tunnel&) = delete;
    Tunnel& operator=(const Tunnel&) = delete;

    const TunnelSides& sides() const { return sides_; }
    const TunnelTimeouts& timeouts() const { return timeouts_; }

    // Ends both directions: a direction waiting for its side returns at
    // once; one that is sending finishes that send first.
    void Stop();
    bool stopped() const { return stopped_.load(); }
    // Readable once Stop was called (for poll); -1 when it could not be made,
    // and then a waiting direction looks at stopped() every few hundred ms.
    int wakeHandle() const { return wake_; }

    // A direction received bytes, or starts or ends sending them on.
    void Moved();
    void SendStarts();
    void SendEnds();

    // How long a receive may wait before the tunnel is to be looked at
    // again: -1 without an idle time-out, 0 once the tunnel is idle. A
    // send in progress (a client that reads slowly) keeps it from idling.
    int IdleWaitMs() const;

private:
    static std::int64_t Now();

    const TunnelSides sides_;
    const TunnelTimeouts timeouts_;
    std::atomic<std::int64_t> lastMove_;
    std::atomic<int> sending_{0};
    std::atomic<bool> stopped_{false};
    int wake_ = -1;
};

// Client to server, in the thread that runs it. Returns the bytes that
// reached the server. Its end by the client's end of stream half-closes
// the server; any other end (an error, the idle time-out) stops the whole
// tunnel.
std::uint64_t ServerSession(Tunnel& tunnel);

// Server to client, in the calling thread. Returns the bytes that reached
// the client. Ends at the server's end of stream, an error or the idle
// time-out.
std::uint64_t ClientSession(Tunnel& tunnel);

struct TunnelResult {
    std::uint64_t toServer = 0;
    std::uint64_t toClient = 0;
    bool bothDirections = true;  // false: the second thread could not be started
};

// Runs the tunnel: ServerSession in a second thread, ClientSession in this
// one. A thread that can't be started is tried again after 100 ms, 200 ms
// and so on, `startTries` times in all; then startFailed gets the error
// number and only the server-to-client direction runs. Once ClientSession
// has ended, the tunnel is stopped and the server socket shut down both
// ways (a send to it may be waiting), and the second thread is joined
// before this returns. The client socket is left as it is, so that its
// owner can still close it gracefully.
TunnelResult RunTunnel(Tunnel& tunnel, unsigned long startTries, const std::function<void(int error)>& startFailed);

}  // namespace engine
