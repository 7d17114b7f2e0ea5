#include "engine/relay/tunnel_relay.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/core/daily_log.h"
#include "engine/tls/tls.h"

namespace engine {

namespace {

// The longest a receive waits inside the TLS layer before the tunnel's
// state is looked at again: a TLS record whose rest is late must not keep
// a stopped direction from ending.
constexpr int kReadSliceMs = 250;

enum class Received { Bytes, End, Error, Idle, Stopped };

// Waits until the side has something to read (bytes, its end or an
// error), the tunnel is stopped, or it has been idle for its time-out.
Received WaitForSide(const Tunnel& tunnel, int socket, TlsSession* tls) {
    for (;;) {
        if (tunnel.stopped()) return Received::Stopped;
        if (tls && tls->HasPending()) return Received::Bytes;
        int wait = tunnel.IdleWaitMs();
        if (wait == 0) return Received::Idle;
        const int wake = tunnel.wakeHandle();
        if (wake < 0 && (wait < 0 || wait > kReadSliceMs)) wait = kReadSliceMs;
        pollfd entries[2] = {{socket, POLLIN, 0}, {wake, POLLIN, 0}};
        const int ready = ::poll(entries, wake < 0 ? 1 : 2, wait);
        if (ready < 0 && errno != EINTR) return Received::Bytes;  // the receive tells what is wrong
        if (ready > 0 && wake >= 0 && entries[1].revents != 0) return Received::Stopped;
        if (ready > 0 && entries[0].revents != 0) return Received::Bytes;
    }
}

// One receive of at most kTunnelChunk bytes into buffer; count holds the
// bytes when the result is Bytes. errno tells an Error or Idle.
Received Receive(const Tunnel& tunnel, int socket, TlsSession* tls, char* buffer, int& count) {
    if (!tls && !tunnel.stopped()) {
        // Bytes that are there already are taken without a wait: on a busy
        // tunnel that saves a poll for every chunk.
        const ssize_t n = ::recv(socket, buffer, kTunnelChunk, MSG_DONTWAIT);
        if (n > 0) {
            count = static_cast<int>(n);
            return Received::Bytes;
        }
        if (n == 0) return Received::End;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return Received::Error;
    }
    for (;;) {
        Received state = WaitForSide(tunnel, socket, tls);
        if (state == Received::Idle) errno = ETIMEDOUT;
        if (state != Received::Bytes) return state;
        count = SecureRecv(socket, tls, buffer, kTunnelChunk, kReadSliceMs);
        if (count > 0) return Received::Bytes;
        if (count == 0) return Received::End;
        // A wake-up without data, or a TLS record not whole yet.
        if (errno == ETIMEDOUT) continue;
        return Received::Error;
    }
}

// One direction of the tunnel, as the log names it.
struct Direction {
    const char* name;  // "ServerSession", "ClientSession"
    int from;
    TlsSession* fromTls;
    int to;
    TlsSession* toTls;
    int sendTimeout;
    std::string receiveLabel;  // "C:recv", "S:recv(0012)"
    std::string sendLabel;     // "S:send(0012)", "C:send"
};

std::string Label(const char* text, int socket) {
    char label[32];
    std::snprintf(label, sizeof label, "%s(%04d)", text, socket);
    return label;
}

struct DirectionEnd {
    std::uint64_t forwarded = 0;
    bool endOfStream = false;  // the receiving side ended its stream
};

// Relays one direction until its side ends, fails, idles or is stopped.
// Every byte received is sent on whole before the next receive.
DirectionEnd Relay(Tunnel& tunnel, const Direction& direction) {
    const int client = tunnel.sides().clientSocket;
    const int server = tunnel.sides().serverSocket;
    WriteLogF("[%s] [%04d] Strat %s(%04d).\n", direction.name, client, direction.name, server);
    // Not cleared: only the bytes received are ever read from it.
    const std::unique_ptr<char[]> buffer(new char[kTunnelChunk]);
    DirectionEnd end;
    for (;;) {
        int count = 0;
        const Received state = Receive(tunnel, direction.from, direction.fromTls, buffer.get(), count);
        if (state == Received::End) {
            end.endOfStream = true;
            break;
        }
        if (state == Received::Stopped) break;
        if (state != Received::Bytes) {
            WriteLogF("[%s] [%04d] %s:%d bytes tunneling. / WSAGetLastError() = %d\n", direction.name, client,
                      direction.receiveLabel.c_str(), -1, errno);
            break;
        }
        tunnel.Moved();
        WriteLogF("[%s] [%04d] %s:%d bytes tunneling.\n", direction.name, client, direction.receiveLabel.c_str(),
                  count);
        tunnel.SendStarts();
        const ssize_t sent =
            SecureSendData(direction.to, direction.toTls, buffer.get(), static_cast<size_t>(count),
                           direction.sendTimeout);
        const int error = errno;
        tunnel.SendEnds();
        if (sent != count) {
            WriteLogF("[%s] [%04d] %s:%d bytes tunneling. / WSAGetLastError() = %d\n", direction.name, client,
                      direction.sendLabel.c_str(), count, error);
            break;
        }
        end.forwarded += static_cast<std::uint64_t>(count);
        WriteLogF("[%s] [%04d] %s:%d bytes tunneling.\n", direction.name, client, direction.sendLabel.c_str(), count);
    }
    WriteLogF("[%s] [%04d] End %s(%04d).\n", direction.name, client, direction.name, server);
    return end;
}

}  // namespace

Tunnel::Tunnel(const TunnelSides& sides, const TunnelTimeouts& timeouts)
    : sides_(sides), timeouts_(timeouts), lastMove_(Now()), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Tunnel::~Tunnel() {
    if (wake_ >= 0) ::close(wake_);
}

std::int64_t Tunnel::Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Tunnel::Moved() { lastMove_.store(Now()); }

void Tunnel::SendStarts() { ++sending_; }

void Tunnel::SendEnds() {
    lastMove_.store(Now());
    --sending_;
}

int Tunnel::IdleWaitMs() const {
    if (timeouts_.idle <= 0) return -1;
    if (sending_.load() > 0) return timeouts_.idle;
    const std::int64_t left = timeouts_.idle - (Now() - lastMove_.load());
    return left <= 0 ? 0 : static_cast<int>(left);
}

void Tunnel::Stop() {
    stopped_.store(true);
    if (wake_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(wake_, &one, sizeof one);
    }
}

std::uint64_t ServerSession(Tunnel& tunnel) {
    const TunnelSides& sides = tunnel.sides();
    const Direction direction{"ServerSession",
                              sides.clientSocket,
                              sides.clientTls,
                              sides.serverSocket,
                              sides.serverTls,
                              tunnel.timeouts().serverSend,
                              "C:recv",
                              Label("S:send", sides.serverSocket)};
    const DirectionEnd end = Relay(tunnel, direction);
    if (end.endOfStream) {
        // The client has said all it will: the server learns it, and its
        // answer goes on reaching the client.
        if (sides.serverTls) sides.serverTls->SendCloseNotify();
        ::shutdown(sides.serverSocket, SHUT_WR);
    } else {
        tunnel.Stop();
    }
    return end.forwarded;
}

std::uint64_t ClientSession(Tunnel& tunnel) {
    const TunnelSides& sides = tunnel.sides();
    const Direction direction{"ClientSession",
                              sides.serverSocket,
                              sides.serverTls,
                              sides.clientSocket,
                              sides.clientTls,
                              tunnel.timeouts().clientSend,
                              Label("S:recv", sides.serverSocket),
                              "C:send"};
    return Relay(tunnel, direction).forwarded;
}

TunnelResult RunTunnel(Tunnel& tunnel, unsigned long startTries, const std::function<void(int error)>& startFailed) {
    TunnelResult result;
    std::thread second;
    for (unsigned long tries = 1;; ++tries) {
        try {
            second = std::thread([&tunnel, &result] { result.toServer = ServerSession(tunnel); });
            break;
        } catch (const std::system_error& failure) {
            if (tries >= startTries) {
                result.bothDirections = false;
                if (startFailed) startFailed(failure.code().value());
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100) * tries);
        }
    }
    result.toClient = ClientSession(tunnel);
    // The second thread may wait for the client or in a send to the
    // server: the stop wakes the one, the shut-down socket fails the other.
    tunnel.Stop();
    ::shutdown(tunnel.sides().serverSocket, SHUT_RDWR);
    if (second.joinable()) second.join();
    return result;
}

}  // namespace engine
