#include "engine/socks/socks_sockets.h"

#include <netinet/in.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "engine/core/address.h"
#include "engine/ftp/data_port.h"

namespace engine {

int OpenBoundSocket(const std::string& address, int type, int& boundPort) {
    const int family = address.find(':') != std::string::npos ? AF_INET6 : AF_INET;
    sockaddr_storage local{};
    if (TextToAddress(family, address, local) != 1) {
        errno = EINVAL;
        return -1;
    }
    const socklen_t length = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    return BindDataPort(reinterpret_cast<sockaddr*>(&local), length, type, boundPort, 1);
}

void SetSocketTimeouts(int socket, int milliseconds) {
    if (milliseconds <= 0) return;
    const timeval value{milliseconds / 1000, static_cast<suseconds_t>(milliseconds % 1000) * 1000};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value);
}

std::string PeerText(const sockaddr_storage& address) {
    return AddressToText(reinterpret_cast<const sockaddr*>(&address)).value_or("");
}

int PeerPort(const sockaddr_storage& address) { return AddressPort(reinterpret_cast<const sockaddr*>(&address)); }

}  // namespace engine
