#include "engine/socks/socks_udp.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/connect_table.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/socks/binary_dump.h"
#include "engine/socks/socks_lists.h"
#include "engine/socks/socks_sockets.h"

namespace engine {
namespace {

class SocketCloser {
public:
    explicit SocketCloser(int fd) : fd_(fd) {}
    ~SocketCloser() {
        if (fd_ >= 0) ::close(fd_);
    }
    SocketCloser(const SocketCloser&) = delete;
    SocketCloser& operator=(const SocketCloser&) = delete;

private:
    const int fd_;
};

// The public address of the listen entry (the send address of its line in
// the connection list), announced in place of the listen address.
std::string PublicAddress(const ConnectionRecord& record) {
    const common::ConnectTableLookup lookup = common::GetConnectTable(
        Settings().connectTableFile, record.ListenAddress, record.ListenPort,
        [](const std::string& line) { WriteLog(line); });
    if (!lookup.entry) return {};
    const std::string& address = lookup.entry->sendAddress;
    const std::size_t start = address.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : address.substr(start, address.find_last_not_of(' ') - start + 1);
}

bool Listed(const std::string& listenAddress, int listenPort, const SocksUdpHeader& header) {
    const std::string key = SocksListKey(listenAddress, listenPort, "udp", header.host, header.port);
    if (!SocksKeyBlackListed(key)) return false;
    WriteLogF("[TellRemoteUDP] QueryDBList(Black list, %s) hit.\n", key.c_str());
    return true;
}

// The destination, of the relay's family, connected so that only its
// answer is taken.
bool ConnectDestination(int fd, int family, const SocksUdpHeader& header) {
    WriteLogF("[SetAddr] getaddrinfo(%s, %d)\n", header.host.c_str(), header.port);
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(header.host.c_str(), std::to_string(header.port).c_str(), &hints, &found) != 0 || !found)
        return false;
    const bool connected = ::connect(fd, found->ai_addr, found->ai_addrlen) == 0;
    ::freeaddrinfo(found);
    return connected;
}

}  // namespace

bool TellRemoteUDP(int clientSocket, const std::string& listenAddress, int listenPort, std::string_view datagram,
                   std::string& answer) {
    SocksUdpHeader header;
    if (!ParseSocksUdpHeader(datagram, header)) {
        WriteLogF("[TellRemoteUDP] [%04d] datagram of %zu bytes without a whole header dropped.\n", clientSocket,
                  datagram.size());
        return false;
    }
    if (header.fragment != 0) {
        WriteLogF("[TellRemoteUDP] [%04d] fragment %d dropped.\n", clientSocket, header.fragment);
        return false;
    }
    if (Listed(listenAddress, listenPort, header)) return false;

    const int family = listenAddress.find(':') != std::string::npos ? AF_INET6 : AF_INET;
    int localPort = 0;
    const int fd = OpenBoundSocket(listenAddress, SOCK_DGRAM, localPort);
    WriteLogF("[TellRemoteUDP] UDPHost(%d, %s, %d)\n", family, listenAddress.c_str(), localPort);
    if (fd < 0) return false;
    SocketCloser closer(fd);
    SetSocketTimeouts(fd, Settings().timeouts.clientPlain);
    WriteLogF("[TellRemoteUDP] SetAddr(%d, %s, %d)\n", family, header.host.c_str(), header.port);
    if (!ConnectDestination(fd, family, header)) {
        WriteLogF("[TellRemoteUDP] [%04d] destination %s %d not reached.\n", clientSocket, header.host.c_str(),
                  header.port);
        return false;
    }
    const std::string_view payload = datagram.substr(header.length);
    if (::send(fd, payload.data(), payload.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(payload.size()))
        return false;
    WriteLogF("[TellRemoteUDP] [%04d] UDP Data send Server ok. %u bytes.\n", fd, static_cast<unsigned>(payload.size()));
    BinaryDump(fd, payload.data(), payload.size());

    std::vector<char> buffer(kSocksDatagramLimit - header.length);
    ssize_t n;
    do {
        n = ::recv(fd, buffer.data(), buffer.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        WriteLogF("[TellRemoteUDP] [%04d] no answer. (%d)\n", fd, errno);
        return false;
    }
    WriteLogF("[TellRemoteUDP] [%04d] UDP Data recv Server ok. %u bytes.\n", fd, static_cast<unsigned>(n));
    BinaryDump(fd, buffer.data(), static_cast<std::size_t>(n));
    answer.assign(datagram.substr(0, header.length));
    answer.append(buffer.data(), static_cast<std::size_t>(n));
    return true;
}

int UDPMain(SocksClient& client, const SocksRequest& request) {
    ConnectionRecord* record = client.record();
    const EngineSettings& settings = Settings();
    const int socket = client.socket();
    const std::string listenAddress = record->ListenAddress;
    const std::string publicAddress = PublicAddress(*record);
    int port = 0;
    const int relay = OpenBoundSocket(listenAddress, SOCK_DGRAM, port);
    WriteLogF("[UDPMain] [%04d] mIP=%s, nPort=%d, Global-IP=%s\n", socket, listenAddress.c_str(), port,
              publicAddress.c_str());
    if (relay < 0) {
        WriteLogF("[UDPHost] WSAGetLastError() = %d\n", errno);
        client.Send(BuildSocksReply(request, kSocks5GeneralFailure), true);
        return 0;
    }
    SocketCloser closer(relay);
    std::string reply =
        BuildSocksAddressReply(5, kSocks5Succeeded, publicAddress.empty() ? listenAddress : publicAddress, port);
    if (reply.empty()) reply = BuildSocksAddressReply(5, kSocks5Succeeded, listenAddress, port);
    if (!client.Send(reply, true)) return 0;

    const int idle = settings.timeouts.clientPlain > 0 ? settings.timeouts.clientPlain : -1;
    std::vector<char> buffer(kSocksDatagramLimit);
    for (;;) {
        pollfd waits[2] = {{relay, POLLIN, 0}, {socket, POLLIN, 0}};
        const int ready = ::poll(waits, 2, idle);
        if (ready < 0 && errno == EINTR) continue;
        // The association ends with the TCP connection (or anything sent on it).
        if (ready <= 0 || waits[1].revents != 0) break;
        sockaddr_storage sender{};
        socklen_t senderLength = sizeof sender;
        const ssize_t n = ::recvfrom(relay, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&sender),
                                     &senderLength);
        if (n < 0) continue;
        if (PeerText(sender) != record->ClientAddress) {
            WriteLogF("[UDPMain] [%04d] datagram from %s dropped: not the client.\n", socket,
                      PeerText(sender).c_str());
            continue;
        }
        WriteLogF("[UDPMain] [%04d] UDP Data recv Client ok. %u bytes.\n", socket, static_cast<unsigned>(n));
        BinaryDump(socket, buffer.data(), static_cast<std::size_t>(n));
        std::string answer;
        if (!TellRemoteUDP(socket, listenAddress, record->ListenPort, std::string_view(buffer.data(), static_cast<std::size_t>(n)),
                           answer))
            continue;
        if (::sendto(relay, answer.data(), answer.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sender),
                     senderLength) == static_cast<ssize_t>(answer.size())) {
            WriteLogF("[UDPMain] [%04d] UDP Data send Client ok. %u bytes.\n", socket,
                      static_cast<unsigned>(answer.size()));
            BinaryDump(socket, answer.data(), answer.size());
        }
    }
    WriteLogF("[UDPMain] [%04d] association ended.\n", socket);
    return 0;
}

}  // namespace engine
