// The engine's TLS layer: TLS towards clients (TLS listen ports, STARTTLS)
// and towards servers, and the send and receive that every relay uses on a
// socket that may or may not carry TLS.
//
// Time-outs are in milliseconds, 0 meaning no limit, and come from the
// engine's `-t` settings: a handshake is bounded by the TLS time-out of its
// side (client TLS for OpenSSLServer, server TLS for OpenSSLClient); a
// receive waits at most the server-plain time-out for data; a send waits at
// most the plain send time-out of its side each time the peer is slow to
// take more.
#pragma once

#include "engine/core/tls_session.h"

#include <cstddef>
#include <functional>
#include <string>
#include <sys/types.h>

namespace engine {

// Once at start, before the first listener; once at the end.
void InitTls();
void CleanupTls();

// TLS accept on an accepted client socket, with the listen port's PEM
// certificate file (which may hold the chain after the certificate) and
// private key file. Null on failure; the caller then closes the connection.
TlsSessionPtr OpenSSLServer(int socket, const std::string& certificateFile, const std::string& privateKeyFile,
                            int timeoutMs);

// TLS connect on a connected server socket. The server's certificate is not
// checked. `serverName`, when it is a host name, is sent as the server name
// indication, which servers with several certificates need. Null on failure.
TlsSessionPtr OpenSSLClient(int socket, int timeoutMs, const std::string& serverName = "");

// Sends one close-notify (not waiting for the peer's), frees the session and
// its context and leaves `session` null. No other thread may be using it.
void CloseTls(TlsSessionPtr& session);

// Sends the NUL-terminated `text` (without the NUL): over `session` when it
// is set, else plain on `socket`. Result: the byte count, or -1.
ssize_t SecureSend(int socket, TlsSession* session, const char* text, int timeoutMs);
// The same for binary data: all `length` bytes go out, NULs included.
ssize_t SecureSendData(int socket, TlsSession* session, const void* data, size_t length, int timeoutMs);

// Reads at most `size` bytes, over `session` when it is set, else plain on
// `socket`, waiting at most timeoutMs for data. Result: the byte count; 0
// when the peer closed or the TLS read failed; -1 when no data came in time
// or the plain receive failed. beforeWait, when set, runs before the call
// may wait (on a plain socket: only when nothing is there yet), so that a
// relay can flush what it holds back while data keeps coming.
int SecureRecv(int socket, TlsSession* session, char* buffer, int size, int timeoutMs,
               const std::function<void()>& beforeWait = {});

// Looks the listen address and port up in the protocol's connection list.
// Result 1 for a TLS port; 0 otherwise, with the two paths filled for a
// STARTTLS port and empty otherwise.
int Query_SecureSocketLayer(const std::string& connectTableFile, const std::string& listenAddress, int listenPort,
                            std::string& certificateFile, std::string& privateKeyFile);

}  // namespace engine
