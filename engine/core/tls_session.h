// One TLS connection over one socket: its context, its session and the lock
// that lets two threads share it.
//
// Who may use a session: the connection's worker, and the relay threads it
// starts, which end before the worker closes the session. A tunnel relay
// reads a session in one thread while another thread writes it; OpenSSL does
// not allow two calls on one SSL object at the same time, so every library
// call runs under the session's lock. The socket is never read or written
// blocking (see the socket BIO in tls_session.cpp): a call that must wait for
// the peer returns, drops the lock, and waits for the socket with poll, so a
// reader waiting for data never holds up a writer. Closing (CloseTls) needs
// the other threads to be done with the session: shut the socket down to
// wake a blocked reader, join the thread, then close.
#pragma once

#include <openssl/ssl.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>

namespace engine {

class TlsSession {
public:
    enum class Role { Accept, Connect };

    // Makes a session on `context` for `socket`. The session owns the
    // context from here on, also when this fails (then both are freed and
    // the result is null).
    static std::unique_ptr<TlsSession> Create(SSL_CTX* context, int socket);
    // Frees the session and its context; sends nothing to the peer.
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // The handshake, given up when it has not finished within timeoutMs
    // (0: no limit).
    bool Handshake(Role role, int timeoutMs);
    // One read of at most `size` bytes, waiting at most timeoutMs for data.
    // Result: the byte count; 0 when the peer closed or the read failed;
    // -1 (errno ETIMEDOUT) when no data came in time.
    int Read(char* buffer, int size, int timeoutMs);
    // Sends all `length` bytes, in as many records as needed; each wait for
    // the peer to take more data is bounded by timeoutMs (0: no limit).
    // Result: `length`, or -1 on failure.
    ssize_t Write(const void* data, size_t length, int timeoutMs);
    // One close-notify, not waiting for the peer's answer; dropped when the
    // socket cannot take it at once.
    void SendCloseNotify();
    // True when the session holds received bytes that a Read would return
    // without the socket becoming readable: a relay that waits on the socket
    // itself asks this first.
    bool HasPending();

    SSL_CTX* context() const { return context_; }
    SSL* ssl() const { return ssl_; }
    int socket() const { return socket_; }

private:
    TlsSession(SSL_CTX* context, SSL* ssl, int socket) : context_(context), ssl_(ssl), socket_(socket) {}
    template <typename Call>
    int Run(Call call, int timeoutMs, int* error);

    SSL_CTX* context_;
    SSL* ssl_;
    int socket_;
    std::mutex lock_;
};

using TlsSessionPtr = std::unique_ptr<TlsSession>;

// The TLS state of one connection; the connection record embeds it.
struct ConnectionTls {
    std::string certificateFile;  // of the listen port, from the connection list
    std::string privateKeyFile;
    TlsSessionPtr client;         // towards the client; null: plain
    TlsSessionPtr server;         // towards the server; null: plain
};

}  // namespace engine
