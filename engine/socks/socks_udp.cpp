#include "engine/socks/socks_udp.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
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

bool SameEndpoint(const sockaddr_storage& a, const sockaddr_storage& b) {
    if (a.ss_family != b.ss_family) return false;
    if (a.ss_family == AF_INET) {
        const auto& x = reinterpret_cast<const sockaddr_in&>(a);
        const auto& y = reinterpret_cast<const sockaddr_in&>(b);
        return x.sin_port == y.sin_port && x.sin_addr.s_addr == y.sin_addr.s_addr;
    }
    if (a.ss_family == AF_INET6) {
        const auto& x = reinterpret_cast<const sockaddr_in6&>(a);
        const auto& y = reinterpret_cast<const sockaddr_in6&>(b);
        return x.sin6_port == y.sin6_port && std::memcmp(&x.sin6_addr, &y.sin6_addr, sizeof x.sin6_addr) == 0;
    }
    return false;
}

// Destinations one association keeps: beyond this the oldest is forgotten
// (its late answers are dropped then).
constexpr std::size_t kDestinationLimit = 256;

class Association {
public:
    Association(SocksClient& client, int relay)
        : record_(*client.record()), socket_(client.socket()), relay_(relay),
          listenAddress_(record_.ListenAddress),
          family_(listenAddress_.find(':') != std::string::npos ? AF_INET6 : AF_INET),
          buffer_(kSocksDatagramLimit) {}
    ~Association() {
        if (outbound_ >= 0) ::close(outbound_);
    }
    Association(const Association&) = delete;
    Association& operator=(const Association&) = delete;

    void Run();

private:
    // A destination the client wrote to: where it is, and the header the
    // client named it with, which goes in front of its answers.
    struct Destination {
        std::string header;
        sockaddr_storage address{};
        socklen_t length = 0;
    };

    void FromClient();
    void FromDestination();
    bool IsTheClient(const sockaddr_storage& sender, socklen_t length);
    const Destination* Find(const SocksUdpHeader& header, std::string_view headerBytes);
    bool Listed(const SocksUdpHeader& header) const;
    bool OpenOutbound();

    const ConnectionRecord& record_;
    const int socket_;
    const int relay_;
    const std::string listenAddress_;
    const int family_;
    int outbound_ = -1;
    bool clientKnown_ = false;
    sockaddr_storage clientAddress_{};
    socklen_t clientLength_ = 0;
    std::deque<Destination> destinations_;
    std::vector<char> buffer_;
};

bool Association::IsTheClient(const sockaddr_storage& sender, socklen_t length) {
    if (clientKnown_) return SameEndpoint(sender, clientAddress_);
    // The first datagram from the TCP client's host names the port its
    // datagrams come from for the rest of the association.
    if (PeerText(sender) != record_.ClientAddress) return false;
    clientKnown_ = true;
    clientAddress_ = sender;
    clientLength_ = length;
    return true;
}

bool Association::Listed(const SocksUdpHeader& header) const {
    const std::string key = SocksListKey(listenAddress_, record_.ListenPort, "udp", header.host, header.port);
    if (!SocksKeyBlackListed(key)) return false;
    WriteLogF("[TellRemoteUDP] QueryDBList(Black list, %s) hit.\n", key.c_str());
    return true;
}

bool Association::OpenOutbound() {
    if (outbound_ >= 0) return true;
    int port = 0;
    outbound_ = OpenBoundSocket(listenAddress_, SOCK_DGRAM, port);
    WriteLogF("[TellRemoteUDP] UDPHost(%d, %s, %d)\n", family_, listenAddress_.c_str(), port);
    return outbound_ >= 0;
}

// The destination of a datagram, checked and resolved once for all the
// datagrams that name it alike; null when it is not to be reached.
const Association::Destination* Association::Find(const SocksUdpHeader& header, std::string_view headerBytes) {
    for (const Destination& known : destinations_)
        if (known.header == headerBytes) return &known;
    if (Listed(header)) return nullptr;
    WriteLogF("[TellRemoteUDP] SetAddr(%d, %s, %d)\n", family_, header.host.c_str(), header.port);
    WriteLogF("[SetAddr] getaddrinfo(%s, %d)\n", header.host.c_str(), header.port);
    addrinfo hints{};
    hints.ai_family = family_;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(header.host.c_str(), std::to_string(header.port).c_str(), &hints, &found) != 0 || !found) {
        WriteLogF("[TellRemoteUDP] [%04d] destination %s %d not reached.\n", socket_, header.host.c_str(),
                  header.port);
        return nullptr;
    }
    Destination destination;
    destination.header = std::string(headerBytes);
    std::memcpy(&destination.address, found->ai_addr, found->ai_addrlen);
    destination.length = found->ai_addrlen;
    ::freeaddrinfo(found);
    if (destinations_.size() >= kDestinationLimit) destinations_.pop_front();
    destinations_.push_back(std::move(destination));
    return &destinations_.back();
}

void Association::FromClient() {
    sockaddr_storage sender{};
    socklen_t senderLength = sizeof sender;
    const ssize_t n = ::recvfrom(relay_, buffer_.data(), buffer_.size(), 0, reinterpret_cast<sockaddr*>(&sender),
                                 &senderLength);
    if (n < 0) return;
    if (!IsTheClient(sender, senderLength)) {
        WriteLogF("[UDPMain] [%04d] datagram from %s %d dropped: not the client.\n", socket_,
                  PeerText(sender).c_str(), PeerPort(sender));
        return;
    }
    const std::string_view datagram(buffer_.data(), static_cast<std::size_t>(n));
    WriteLogF("[UDPMain] [%04d] UDP Data recv Client ok. %u bytes.\n", socket_, static_cast<unsigned>(n));
    BinaryDump(socket_, datagram.data(), datagram.size());
    SocksUdpHeader header;
    if (!ParseSocksUdpHeader(datagram, header)) {
        WriteLogF("[TellRemoteUDP] [%04d] datagram of %zu bytes without a whole header dropped.\n", socket_,
                  datagram.size());
        return;
    }
    if (header.fragment != 0) {
        WriteLogF("[TellRemoteUDP] [%04d] fragment %d dropped.\n", socket_, header.fragment);
        return;
    }
    const Destination* destination = Find(header, datagram.substr(0, header.length));
    if (!destination || !OpenOutbound()) return;
    const std::string_view payload = datagram.substr(header.length);
    if (::sendto(outbound_, payload.data(), payload.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&destination->address),
                 destination->length) != static_cast<ssize_t>(payload.size())) {
        WriteLogF("[TellRemoteUDP] [%04d] UDP Data send Server failed. (%d)\n", outbound_, errno);
        return;
    }
    WriteLogF("[TellRemoteUDP] [%04d] UDP Data send Server ok. %u bytes.\n", outbound_,
              static_cast<unsigned>(payload.size()));
    BinaryDump(outbound_, payload.data(), payload.size());
}

void Association::FromDestination() {
    sockaddr_storage sender{};
    socklen_t senderLength = sizeof sender;
    const ssize_t n = ::recvfrom(outbound_, buffer_.data(), buffer_.size(), 0, reinterpret_cast<sockaddr*>(&sender),
                                 &senderLength);
    if (n < 0) return;
    const Destination* from = nullptr;
    for (const Destination& known : destinations_)
        if (SameEndpoint(known.address, sender)) from = &known;
    if (!from || !clientKnown_) {
        WriteLogF("[TellRemoteUDP] [%04d] datagram from %s %d dropped: not a destination.\n", outbound_,
                  PeerText(sender).c_str(), PeerPort(sender));
        return;
    }
    WriteLogF("[TellRemoteUDP] [%04d] UDP Data recv Server ok. %u bytes.\n", outbound_, static_cast<unsigned>(n));
    BinaryDump(outbound_, buffer_.data(), static_cast<std::size_t>(n));
    std::string answer = from->header;
    answer.append(buffer_.data(), static_cast<std::size_t>(n));
    if (::sendto(relay_, answer.data(), answer.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&clientAddress_),
                 clientLength_) != static_cast<ssize_t>(answer.size())) {
        WriteLogF("[UDPMain] [%04d] UDP Data send Client failed. (%d)\n", socket_, errno);
        return;
    }
    WriteLogF("[UDPMain] [%04d] UDP Data send Client ok. %u bytes.\n", socket_, static_cast<unsigned>(answer.size()));
    BinaryDump(socket_, answer.data(), answer.size());
}

void Association::Run() {
    const int idle = Settings().timeouts.clientPlain;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(idle);
    for (;;) {
        int wait = -1;
        if (idle > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                     std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            wait = static_cast<int>(left.count());
        }
        pollfd waits[3] = {{socket_, POLLIN, 0}, {relay_, POLLIN, 0}, {outbound_, POLLIN, 0}};
        const int ready = ::poll(waits, outbound_ >= 0 ? 3 : 2, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        // The association ends with the TCP connection (or anything sent on it).
        if (waits[0].revents != 0) break;
        if (waits[1].revents != 0) FromClient();
        if (outbound_ >= 0 && waits[2].revents != 0) FromDestination();
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(idle);
    }
}

}  // namespace

int UDPMain(SocksClient& client, const SocksRequest& request) {
    ConnectionRecord* record = client.record();
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
    Association(client, relay).Run();
    WriteLogF("[UDPMain] [%04d] association ended.\n", socket);
    return 0;
}

}  // namespace engine
