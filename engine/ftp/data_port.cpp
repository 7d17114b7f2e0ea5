#include "engine/ftp/data_port.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <unistd.h>

#include "engine/core/engine_settings.h"

namespace engine {

namespace {

std::mutex& CounterLock() {
    static std::mutex lock;
    return lock;
}

// The next port to try; 0 until the first choice seeds it with the range's
// low end.
int& Counter() {
    static int counter = 0;
    return counter;
}

void SetPort(sockaddr_storage& address, int port) {
    if (address.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(address).sin6_port = htons(static_cast<uint16_t>(port));
    else
        reinterpret_cast<sockaddr_in&>(address).sin_port = htons(static_cast<uint16_t>(port));
}

// A bound socket on the port, or -1 (errno kept).
int TryBind(sockaddr_storage address, socklen_t length, int type, int port, int backlog, int& boundPort) {
    int fd = ::socket(address.ss_family, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    // Only a listening stream socket: two datagram sockets with address
    // reuse would share the port.
    if (type == SOCK_STREAM) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (address.ss_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    SetPort(address, port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        (type == SOCK_STREAM && ::listen(fd, backlog) != 0)) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    boundPort = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6&>(bound).sin6_port)
                                            : ntohs(reinterpret_cast<sockaddr_in&>(bound).sin_port);
    return fd;
}

}  // namespace

int BindDataPort(const sockaddr* address, socklen_t length, int type, int& port, int backlog) {
    sockaddr_storage local{};
    if (length > sizeof local || (address->sa_family != AF_INET && address->sa_family != AF_INET6)) {
        errno = EAFNOSUPPORT;
        return -1;
    }
    std::memcpy(&local, address, length);
    const EngineSettings& settings = Settings();
    const int low = settings.dataPortLow, high = settings.dataPortHigh;
    if (low <= 0 || high <= 0 || high < low || high > 65535) return TryBind(local, length, type, 0, backlog, port);

    std::lock_guard<std::mutex> guard(CounterLock());
    int& counter = Counter();
    for (int tries = high - low + 1; tries > 0; --tries) {
        int candidate = counter < low || counter > high ? low : counter;
        counter = candidate + 1;
        int fd = TryBind(local, length, type, candidate, backlog, port);
        if (fd >= 0) return fd;
        // Only a port in use is skipped; any other failure (no socket, an
        // address that isn't ours) fails on every port alike.
        if (errno != EADDRINUSE && errno != EACCES) return -1;
    }
    errno = EADDRINUSE;
    return -1;
}

int BindDataPort(int family, int type, int& port, int backlog) {
    if (family == AF_INET6) {
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_addr = in6addr_any;
        return BindDataPort(reinterpret_cast<sockaddr*>(&any), sizeof any, type, port, backlog);
    }
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    return BindDataPort(reinterpret_cast<sockaddr*>(&any), sizeof any, type, port, backlog);
}

void ResetDataPortCounter() {
    std::lock_guard<std::mutex> guard(CounterLock());
    Counter() = 0;
}

}  // namespace engine
