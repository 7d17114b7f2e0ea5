// The socket steps every FTP data connection of the engine shares: taking
// the one connection a data listener waits for (from the expected peer
// only), connecting to a data peer, and moving a connection's bytes into a
// file and a file's bytes out to a connection. Every wait is bounded and
// ends early when its cancel signal fires.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>
#include <sys/socket.h>

#include "engine/ftp/cancel_signal.h"
#include "engine/upstream/server_socket.h"

namespace engine {

// The most bytes one receive of a data connection takes: large transfers
// cost far fewer calls than in the 16 KiB pieces of the control side.
inline constexpr size_t kDataChunk = 256 * 1024;

// The address of a socket's peer (or, local, its own), port included.
bool PeerAddress(int socket, SocketAddress& address);
bool LocalAddress(int socket, SocketAddress& address);
// The numeric text of an address without its port ("127.0.0.1", "::1"); an
// IPv4-mapped IPv6 address reads as IPv4.
std::string AddressText(const SocketAddress& address);
int AddressPort(const SocketAddress& address);
void SetAddressPort(SocketAddress& address, int port);
// The same host, whatever the ports; an IPv4-mapped IPv6 address equals its
// IPv4 address.
bool SameHost(const SocketAddress& a, const SocketAddress& b);

// Accepts one connection on the listening socket from one of the hosts of
// `peers` (others are closed at once and the wait goes on), waiting at most
// timeoutMs in all. -1 on time-out, cancel or failure (errno ETIMEDOUT,
// ECANCELED or the failure's).
int AcceptDataPeer(int listenSocket, const std::vector<SocketAddress>& peers, const CancelSignal* cancel,
                   int timeoutMs);

// Connects a new socket to the address within timeoutMs. -1 (errno) on
// failure; ECANCELED when the signal fired.
int ConnectDataPeer(const SocketAddress& address, const CancelSignal* cancel, int timeoutMs);

struct ReceiveResult {
    uint64_t bytes = 0;
    bool ended = false;  // the peer ended the stream in order (else an error, time-out or cancel)
    int error = 0;
    bool writeFailed = false;
    bool receiverGone = false;
};

// Receives until the peer ends the stream, appending every chunk to the
// file. idleMs bounds each wait for bytes. onChunk sees each chunk as it is
// written (for the log). `receiver` (-1: none) is the connection the bytes
// are for, which never sends: once it ends or fails, nobody wants the rest,
// and the receive stops (error ECONNABORTED, receiverGone).
ReceiveResult ReceiveToFile(int socket, FILE* file, const CancelSignal* cancel, int idleMs,
                            const std::function<void(const char* data, size_t size)>& onChunk = {},
                            int receiver = -1);

// Sends the file from its current position to its end, by sendfile
// (the bytes go from the page cache to the socket without a copy through
// this process). False on a send failure, a time-out, a read error or the
// signal (may be null; with one, the socket is made non-blocking, so that
// a peer that takes nothing can't hold the send past it). onSend sees each
// piece's size and what was sent of it.
bool SendFileToSocket(FILE* file, int socket, int timeoutMs,
                      const std::function<void(size_t read, ssize_t sent)>& onSend = {},
                      const CancelSignal* cancel = nullptr);

}  // namespace engine
