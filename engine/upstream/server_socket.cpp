#include "engine/upstream/server_socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/core/socket_wait.h"

namespace engine {
namespace {

std::string WithoutBrackets(const std::string& text) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') return text.substr(1, text.size() - 2);
    return text;
}

int Resolve(const std::string& server, const std::string& port, int family, int flags,
            std::vector<SocketAddress>& out) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    addrinfo* list = nullptr;
    int error = ::getaddrinfo(server.c_str(), port.c_str(), &hints, &list);
    if (error != 0) return error;
    for (addrinfo* entry = list; entry; entry = entry->ai_next) {
        if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
        SocketAddress address;
        std::memcpy(&address.address, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        out.push_back(address);
    }
    ::freeaddrinfo(list);
    return out.empty() ? EAI_NONAME : 0;
}

int SetBlocking(int socket, bool blocking) {
    int flags = ::fcntl(socket, F_GETFL);
    if (flags < 0) return -1;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(socket, F_SETFL, flags);
}

// Waits for the end of a connect in progress; 0 or the errno.
int WaitForConnect(int socket, int timeoutMs) {
    int ready = WaitForSocket(socket, POLLOUT, Deadline::After(timeoutMs));
    if (ready < 0) return errno;
    if (ready == 0) return ETIMEDOUT;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

}  // namespace

int ResolveServer(const std::string& server, const std::string& port, int ipVersion,
                  std::vector<SocketAddress>& out) {
    out.clear();
    const std::string name = WithoutBrackets(server);
    if (name.size() > kMaxServerNameLength) return EAI_NONAME;
    const int family = ipVersion == 0 ? AF_INET : ipVersion == 1 ? AF_INET6 : AF_UNSPEC;
    int error = Resolve(name, port, family, 0, out);
    if (error != 0 && family == AF_UNSPEC) {
        out.clear();
        error = Resolve(name, port, AF_INET6, 0, out);
    }
    return error;
}

std::optional<SocketAddress> ParseSendAddress(const std::string& text) {
    std::vector<SocketAddress> found;
    if (text.empty() || Resolve(WithoutBrackets(text), "0", AF_UNSPEC, AI_NUMERICHOST | AI_NUMERICSERV, found) != 0)
        return std::nullopt;
    return found.front();
}

void PreferFamily(std::vector<SocketAddress>& addresses, int family) {
    std::stable_partition(addresses.begin(), addresses.end(),
                          [family](const SocketAddress& a) { return a.family() == family; });
}

int OpenServerSocket(const SocketAddress& server, const std::optional<SocketAddress>& sendAddress,
                     const std::function<void()>& bindFailed) {
    int socket = ::socket(server.family(), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (socket < 0 || !sendAddress) return socket;
    // Port 0: every connection gets a port of its own. A socket of one
    // family can't be bound to an address of the other.
    if (sendAddress->family() != server.family() ||
        ::bind(socket, reinterpret_cast<const sockaddr*>(&sendAddress->address), sendAddress->length) != 0) {
        if (bindFailed) bindFailed();
    }
    return socket;
}

int ConnectWithin(int socket, const SocketAddress& server, int timeoutMs) {
    if (SetBlocking(socket, false) != 0) return errno;
    int error = 0;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&server.address), server.length) != 0) {
        error = errno;
        if (error == EINPROGRESS || error == EINTR) error = WaitForConnect(socket, timeoutMs);
    }
    if (SetBlocking(socket, true) != 0 && error == 0) error = errno;
    return error;
}

ConnectAttempt ConnectToAny(int socket, const std::vector<SocketAddress>& addresses,
                            const std::optional<SocketAddress>& sendAddress, int timeoutMs,
                            const std::function<void()>& bindFailed) {
    ConnectAttempt attempt;
    attempt.socket = socket;
    for (size_t i = 0; i < addresses.size(); ++i) {
        if (i > 0) {
            int next = OpenServerSocket(addresses[i], sendAddress, bindFailed);
            if (next < 0) {
                attempt.error = errno;
                continue;
            }
            attempt.socket = next;
        }
        attempt.error = ConnectWithin(attempt.socket, addresses[i], timeoutMs);
        if (attempt.error == 0) {
            attempt.connected = true;
            return attempt;
        }
        ::close(attempt.socket);
    }
    return attempt;
}

bool ServerStillOpen(int socket, bool unreadDataAllowed) {
    if (socket < 0) return false;
    pollfd p{socket, static_cast<short>(POLLIN | POLLRDHUP), 0};
    int ready;
    do {
        ready = ::poll(&p, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return false;
    if (ready == 0) return true;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL | POLLRDHUP)) return false;
    char byte;
    ssize_t n = ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) return false;
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    return unreadDataAllowed;
}

}  // namespace engine
