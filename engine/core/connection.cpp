#include "engine/core/connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>

#include "engine/core/daily_log.h"
#include "engine/core/socket_wait.h"

namespace engine {
namespace {

// How long, and for how many bytes, a graceful close waits for the
// client's end after sending its own: bytes still arriving when a socket
// is closed make the kernel answer with a reset, which can destroy the
// last reply before the client has read it.
constexpr std::chrono::milliseconds kDrainTime{1000};
constexpr std::size_t kDrainBytes = 1 << 20;

void DrainUntilPeerCloses(int socket) {
    const Deadline deadline = Deadline::After(static_cast<int>(kDrainTime.count()));
    char buffer[4096];
    std::size_t drained = 0;
    while (drained < kDrainBytes) {
        if (WaitForSocket(socket, POLLIN, deadline) <= 0) return;
        ssize_t n = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n <= 0) return;
        drained += static_cast<std::size_t>(n);
    }
}

}  // namespace

void AssignField(std::string& field, std::string_view text, std::size_t width) {
    field.assign(text.substr(0, width > 0 ? width - 1 : 0));
}

int NextSpoolNumber() {
    static std::atomic<unsigned> counter{0};
    return static_cast<int>(counter.fetch_add(1) % INT_MAX) + 1;
}

void CloseSocket(int socket, bool graceful) {
    if (socket < 0) return;
    if (graceful) {
        ::shutdown(socket, SHUT_WR);
        DrainUntilPeerCloses(socket);
    } else {
        linger reset{1, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    ::close(socket);
}

void ResetConnection(int socket) {
    if (socket < 0) return;
    linger reset{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    // Dissolving the association sends the reset now; a close would have
    // to wait for the socket's owner.
    sockaddr unspecified{};
    unspecified.sa_family = AF_UNSPEC;
    ::connect(socket, &unspecified, sizeof unspecified);
}

void CloseClient(ConnectionRecord* record, int graceful) {
    int socket = record ? record->ClientSocket : kNoSocket;
    WriteLogF("[CloseClient] [%04d] start.\n", socket);
    if (record) {
        // The mail spool's envelope file (SMTP, and SOCKS carrying SMTP) is
        // deleted here once the mail relay keeps one.
        if (record->ClientSocket != kNoSocket) {
            CloseSocket(record->ClientSocket, graceful != 0);
            WriteLogF("[CloseClient] [%04d] Close Client socket.\n", record->ClientSocket);
            record->ClientSocket = kNoSocket;
        }
        if (record->HostLookupList) {
            freeaddrinfo(record->HostLookupList);
            record->HostLookupList = nullptr;
            record->HostLookupCursor = nullptr;
        }
        record->DestinationEncrypted = 0;
        record->WorkBuffer[0] = '\0';
        delete record;
    }
    WriteLogF("[CloseClient] [%04d] end.\n", socket);
}

}  // namespace engine
