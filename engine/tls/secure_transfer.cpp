#include "engine/tls/tls.h"

#include "engine/core/socket_wait.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace engine {

namespace {

ssize_t PlainSendAll(int socket, const char* data, size_t length, int timeoutMs) {
    size_t sent = 0;
    while (sent < length) {
        ssize_t n = ::send(socket, data + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int ready = WaitForSocket(socket, POLLOUT, Deadline::After(timeoutMs));
            if (ready > 0) continue;
            if (ready == 0) errno = ETIMEDOUT;
        }
        return -1;
    }
    return static_cast<ssize_t>(sent);
}

}  // namespace

ssize_t SecureSendData(int socket, TlsSession* session, const void* data, size_t length, int timeoutMs) {
    if (session) return session->Write(data, length, timeoutMs);
    return PlainSendAll(socket, static_cast<const char*>(data), length, timeoutMs);
}

ssize_t SecureSend(int socket, TlsSession* session, const char* text, int timeoutMs) {
    return SecureSendData(socket, session, text, std::strlen(text), timeoutMs);
}

int SecureRecv(int socket, TlsSession* session, char* buffer, int size, int timeoutMs,
               const std::function<void()>& beforeWait) {
    if (session) {
        if (beforeWait) beforeWait();
        return session->Read(buffer, size, timeoutMs);
    }
    // Data that is already there is taken at once; the wait (and its
    // time-out) is only for a socket that has nothing yet. On a busy relay
    // that saves a poll per piece.
    const Deadline deadline = Deadline::After(timeoutMs);
    for (;;) {
        ssize_t n = ::recv(socket, buffer, size > 0 ? static_cast<size_t>(size) : 0, MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (beforeWait) beforeWait();
        int ready = WaitForSocket(socket, POLLIN, deadline);
        if (ready <= 0) {
            if (ready == 0) errno = ETIMEDOUT;
            return -1;
        }
    }
}

}  // namespace engine
