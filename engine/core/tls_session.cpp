#include "engine/core/tls_session.h"

#include "engine/core/socket_wait.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>

namespace engine {

namespace {

// Marks a call that gave up waiting for the socket; not an SSL_ERROR_* value.
constexpr int kTimedOut = -1000;

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE when the
// peer has gone, and reads blocking on a blocking socket. This one sends with
// MSG_NOSIGNAL and never blocks, whatever the socket's own mode, so the
// socket stays as its other users expect it.
int SocketOf(BIO* bio) { return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio))); }

int SocketWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    ssize_t n;
    do {
        n = ::send(SocketOf(bio), data, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_write(bio);
    return static_cast<int>(n);
}

int SocketRead(BIO* bio, char* data, int length) {
    BIO_clear_retry_flags(bio);
    ssize_t n;
    do {
        n = ::recv(SocketOf(bio), data, static_cast<size_t>(length), MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_read(bio);
    return static_cast<int>(n);
}

long SocketControl(BIO* bio, int command, long, void* out) {
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_C_GET_FD:
        if (out) *static_cast<int*>(out) = SocketOf(bio);
        return SocketOf(bio);
    default:
        return 0;
    }
}

BIO_METHOD* SocketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                                     "engine socket");
        if (m) {
            BIO_meth_set_write(m, SocketWrite);
            BIO_meth_set_read(m, SocketRead);
            BIO_meth_set_ctrl(m, SocketControl);
        }
        return m;
    }();
    return method;
}

}  // namespace

std::unique_ptr<TlsSession> TlsSession::Create(SSL_CTX* context, int socket) {
    SSL* ssl = SSL_new(context);
    BIO* bio = ssl && SocketMethod() ? BIO_new(SocketMethod()) : nullptr;
    if (!bio) {
        SSL_free(ssl);
        SSL_CTX_free(context);
        return nullptr;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(socket)));
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);
    // A write may go out over several calls (the lock is dropped between
    // them) and a sender may pass the rest of its buffer from a new place.
    SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // A renegotiation would let a writer read from the socket behind a
    // waiting reader's back; neither side of a relay needs one.
    SSL_set_options(ssl, SSL_OP_NO_RENEGOTIATION);
    return std::unique_ptr<TlsSession>(new TlsSession(context, ssl, socket));
}

TlsSession::~TlsSession() {
    SSL_free(ssl_);
    SSL_CTX_free(context_);
}

// Runs one library call under the lock until it completes or fails; while
// it needs the peer, waits for the socket without the lock.
template <typename Call>
int TlsSession::Run(Call call, int timeoutMs, int* error) {
    Deadline deadline = Deadline::After(timeoutMs);
    for (;;) {
        int result;
        {
            std::lock_guard<std::mutex> hold(lock_);
            // SSL_get_error reads this thread's error queue: clear what
            // earlier calls left there, or a good call reads as a failure.
            ERR_clear_error();
            result = call(ssl_);
            *error = result > 0 ? SSL_ERROR_NONE : SSL_get_error(ssl_, result);
            if (*error != SSL_ERROR_NONE) ERR_clear_error();
        }
        short events;
        if (*error == SSL_ERROR_WANT_READ) {
            events = POLLIN;
        } else if (*error == SSL_ERROR_WANT_WRITE) {
            events = POLLOUT;
        } else {
            return result;
        }
        int ready = WaitForSocket(socket_, events, deadline);
        if (ready == 0) {
            *error = kTimedOut;
            errno = ETIMEDOUT;
            return -1;
        }
        if (ready < 0) {
            *error = SSL_ERROR_SYSCALL;
            return -1;
        }
    }
}

bool TlsSession::Handshake(Role role, int timeoutMs) {
    int error;
    int result = Run([role](SSL* ssl) { return role == Role::Accept ? SSL_accept(ssl) : SSL_connect(ssl); },
                     timeoutMs, &error);
    return result == 1;
}

int TlsSession::Read(char* buffer, int size, int timeoutMs) {
    if (size <= 0) return 0;
    int error;
    int n = Run([buffer, size](SSL* ssl) { return SSL_read(ssl, buffer, size); }, timeoutMs, &error);
    if (n > 0) return n;
    return error == kTimedOut ? -1 : 0;
}

ssize_t TlsSession::Write(const void* data, size_t length, int timeoutMs) {
    const char* bytes = static_cast<const char*>(data);
    size_t sent = 0;
    while (sent < length) {
        int piece = static_cast<int>(std::min<size_t>(length - sent, INT_MAX));
        int error;
        int n = Run([bytes, sent, piece](SSL* ssl) { return SSL_write(ssl, bytes + sent, piece); }, timeoutMs,
                    &error);
        if (n <= 0) return -1;
        sent += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(sent);
}

bool TlsSession::HasPending() {
    std::lock_guard<std::mutex> hold(lock_);
    return SSL_has_pending(ssl_) == 1;
}

void TlsSession::SendCloseNotify() {
    std::lock_guard<std::mutex> hold(lock_);
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
}

}  // namespace engine
