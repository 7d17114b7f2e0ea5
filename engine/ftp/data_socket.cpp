#include "engine/ftp/data_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/core/socket_wait.h"
#include "engine/tls/tls.h"

namespace engine {

namespace {

// An IPv4-mapped IPv6 address as its IPv4 address; others unchanged.
SocketAddress Unmapped(const SocketAddress& address) {
    if (address.family() != AF_INET6) return address;
    const auto& six = reinterpret_cast<const sockaddr_in6&>(address.address);
    if (!IN6_IS_ADDR_V4MAPPED(&six.sin6_addr)) return address;
    SocketAddress four;
    auto& in = reinterpret_cast<sockaddr_in&>(four.address);
    in.sin_family = AF_INET;
    in.sin_port = six.sin6_port;
    std::memcpy(&in.sin_addr, &six.sin6_addr.s6_addr[12], 4);
    four.length = sizeof in;
    return four;
}

}  // namespace

bool PeerAddress(int socket, SocketAddress& address) {
    address.length = sizeof address.address;
    return ::getpeername(socket, reinterpret_cast<sockaddr*>(&address.address), &address.length) == 0;
}

bool LocalAddress(int socket, SocketAddress& address) {
    address.length = sizeof address.address;
    return ::getsockname(socket, reinterpret_cast<sockaddr*>(&address.address), &address.length) == 0;
}

std::string AddressText(const SocketAddress& address) {
    SocketAddress plain = Unmapped(address);
    char text[INET6_ADDRSTRLEN] = "";
    if (plain.family() == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(plain.address).sin_addr, text, sizeof text);
    else if (plain.family() == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(plain.address).sin6_addr, text, sizeof text);
    return text;
}

int AddressPort(const SocketAddress& address) {
    if (address.family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(address.address).sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in&>(address.address).sin_port);
}

void SetAddressPort(SocketAddress& address, int port) {
    if (address.family() == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(address.address).sin6_port = htons(static_cast<uint16_t>(port));
    else
        reinterpret_cast<sockaddr_in&>(address.address).sin_port = htons(static_cast<uint16_t>(port));
}

bool SameHost(const SocketAddress& a, const SocketAddress& b) {
    SocketAddress x = Unmapped(a), y = Unmapped(b);
    if (x.family() != y.family()) return false;
    if (x.family() == AF_INET)
        return reinterpret_cast<const sockaddr_in&>(x.address).sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in&>(y.address).sin_addr.s_addr;
    if (x.family() == AF_INET6)
        return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(x.address).sin6_addr,
                           &reinterpret_cast<const sockaddr_in6&>(y.address).sin6_addr, sizeof(in6_addr)) == 0;
    return false;
}

int AcceptDataPeer(int listenSocket, const std::vector<SocketAddress>& peers, const CancelSignal* cancel,
                   int timeoutMs) {
    const Deadline deadline = Deadline::After(timeoutMs);
    for (;;) {
        int remaining = deadline.RemainingMs();
        int ready = WaitSocketOrCancel(listenSocket, POLLIN, cancel, remaining < 0 ? 0 : remaining);
        if (ready <= 0 || remaining == 0) {
            errno = cancel && cancel->Cancelled() ? ECANCELED : (ready == 0 || remaining == 0 ? ETIMEDOUT : errno);
            return -1;
        }
        SocketAddress from;
        from.length = sizeof from.address;
        int fd = ::accept4(listenSocket, reinterpret_cast<sockaddr*>(&from.address), &from.length, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
            return -1;
        }
        for (const SocketAddress& peer : peers)
            if (SameHost(from, peer)) return fd;
        // Someone else found the port first: not the peer this channel is for.
        ::close(fd);
    }
}

int ConnectDataPeer(const SocketAddress& address, const CancelSignal* cancel, int timeoutMs) {
    int fd = ::socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) != 0 &&
        errno != EINPROGRESS) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    int ready = WaitSocketOrCancel(fd, POLLOUT, cancel, timeoutMs);
    int error = 0;
    socklen_t length = sizeof error;
    if (ready != 1) {
        error = cancel && cancel->Cancelled() ? ECANCELED : ready == 0 ? ETIMEDOUT : errno;
    } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

namespace {

// True once a connection that never sends has ended or failed.
bool Gone(int socket) {
    pollfd wait{socket, POLLIN | POLLRDHUP, 0};
    return ::poll(&wait, 1, 0) == 1 && (wait.revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

}  // namespace

ReceiveResult ReceiveToFile(int socket, FILE* file, const CancelSignal* cancel, int idleMs,
                            const std::function<void(const char* data, size_t size)>& onChunk, int receiver) {
    ReceiveResult result;
    std::vector<char> buffer(kDataChunk + 1);
    // While bytes stream in there is no wait that would see the receiver
    // go: it is looked at every few MiB instead.
    constexpr uint64_t kReceiverCheckBytes = 8 << 20;
    uint64_t receiverCheckedAt = 0;
    const auto receiverGone = [&result] {
        result.error = ECONNABORTED;
        result.receiverGone = true;
        return result;
    };
    for (;;) {
        if (receiver >= 0 && result.bytes - receiverCheckedAt >= kReceiverCheckBytes) {
            receiverCheckedAt = result.bytes;
            if (Gone(receiver)) return receiverGone();
        }
        ssize_t n = ::recv(socket, buffer.data(), kDataChunk, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd waits[3] = {{socket, POLLIN, 0}, {receiver, POLLIN | POLLRDHUP, 0},
                               {cancel ? cancel->descriptor() : -1, POLLIN, 0}};
            const Deadline deadline = Deadline::After(idleMs);
            int ready;
            do {
                ready = ::poll(waits, 3, deadline.RemainingMs());
            } while (ready < 0 && errno == EINTR);
            if (ready > 0 && waits[1].revents != 0 && Gone(receiver)) return receiverGone();
            if (ready > 0 && waits[2].revents == 0) continue;
            result.error = ready == 0 ? ETIMEDOUT : ECANCELED;
            return result;
        }
        if (n < 0) {
            result.error = errno;
            return result;
        }
        if (n == 0) {
            result.ended = true;
            return result;
        }
        if (std::fwrite(buffer.data(), 1, static_cast<size_t>(n), file) != static_cast<size_t>(n)) {
            result.error = errno;
            result.writeFailed = true;
            return result;
        }
        result.bytes += static_cast<uint64_t>(n);
        if (onChunk) onChunk(buffer.data(), static_cast<size_t>(n));
    }
}

bool SendFileToSocket(FILE* file, int socket, int timeoutMs,
                      const std::function<void(size_t read, ssize_t sent)>& onSend, const CancelSignal* cancel) {
    constexpr size_t kPiece = 1 << 20;
    const int fd = fileno(file);
    struct stat info {};
    if (std::fflush(file) != 0 || ::fstat(fd, &info) != 0) return false;
    off_t offset = ::lseek(fd, 0, SEEK_CUR);
    if (offset < 0) return false;
    // A peer that takes nothing for the time-out fails the send instead of
    // holding the thread.
    if (timeoutMs > 0) {
        timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    if (cancel) ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
    while (offset < info.st_size) {
        if (cancel && cancel->Cancelled()) {
            errno = ECANCELED;
            return false;
        }
        const size_t want = static_cast<size_t>(std::min<off_t>(info.st_size - offset, kPiece));
        ssize_t sent = ::sendfile(socket, fd, &offset, want);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A non-blocking socket waits here; a blocking one has waited
            // its send time-out already.
            const bool waits = (::fcntl(socket, F_GETFL) & O_NONBLOCK) != 0;
            const int ready = waits ? WaitSocketOrCancel(socket, POLLOUT, cancel, timeoutMs) : 0;
            if (ready == 1) continue;
            errno = ready == 0 ? ETIMEDOUT : ECANCELED;
        }
        if (onSend) onSend(want, sent);
        if (sent <= 0) return false;
    }
    ::lseek(fd, offset, SEEK_SET);
    return true;
}

}  // namespace engine
