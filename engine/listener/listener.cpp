#include "engine/listener/listener.h"

#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <thread>

#include "engine/core/address.h"
#include "engine/core/connection.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/listener/worker.h"

namespace engine {
namespace {

struct ListenEntry {
    std::string text;  // as listed
    std::string address;
    int port = 0;
    int family = AF_UNSPEC;  // AF_UNSPEC: neither IPv4 nor IPv6, never used
};

ListenEntry ParseEntry(const std::string& text, int defaultPort) {
    ListenEntry entry;
    entry.text = text;
    std::size_t blank = text.find(' ');
    entry.address = text.substr(0, blank);
    entry.port = blank == std::string::npos ? defaultPort : std::atoi(text.c_str() + blank + 1);
    if (text.find('.') != std::string::npos) entry.family = AF_INET;
    else if (text.find(':') != std::string::npos) entry.family = AF_INET6;
    return entry;
}

bool FamilyEnabled(int family, int ipVersion) {
    if (family == AF_INET) return ipVersion != 1;
    if (family == AF_INET6) return ipVersion != 0;
    return false;
}

void CloseAll(const std::vector<int>& sockets) {
    for (int s : sockets) {
        ::shutdown(s, SHUT_RDWR);
        ::close(s);
    }
}

// Opens and binds one listening socket; -1 after logging why not.
int OpenListenSocket(const ListenEntry& entry) {
    if (entry.port < 0 || entry.port > 65535) {
        WriteLog("[AcceptClients] getaddrinfo failed with error\n");
        return -1;
    }
    int s = ::socket(entry.family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    int on = 1;
    // A restarted engine must get its port back while connections of the
    // previous run linger in TIME_WAIT.
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // An IPv6 entry serves IPv6 only; IPv4 clients come through IPv4 entries.
    if (entry.family == AF_INET6) ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    sockaddr_storage address;
    bool parsed = TextToAddress(entry.family, entry.address, address) == 1;
    socklen_t length = entry.family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (entry.family == AF_INET) reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(entry.port);
    else reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(entry.port);
    // The reason goes with the line: a port that another program holds
    // and an address this machine does not have need different fixes.
    if (!parsed) {
        WriteLogF("[AcceptClients] bind() failed with error: not an address (%s)\n", entry.address.c_str());
        ::close(s);
        return -1;
    }
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        const int error = errno;
        WriteLogF("[AcceptClients] bind() failed with error %d: %s\n", error, std::strerror(error));
        ::close(s);
        return -1;
    }
    return s;
}

const char* WaitErrorName(int error) {
    switch (error) {
    case EINTR: return "WSAEINTR";
    case EFAULT: return "WSAEFAULT";
    case EINVAL: return "WSAEINVAL";
    case ENOTSOCK: return "WSAENOTSOCK";
    case ENETDOWN: return "WSAENETDOWN";
    default: return "WSA OTHER";
    }
}

const char* AcceptErrorName(int error) {
    switch (error) {
    case EFAULT: return "WSAEFAULT";
    case EINVAL: return "WSAEINVAL";
    case EMFILE:
    case ENFILE: return "WSAEMFILE";
    case EAGAIN: return "WSAEWOULDBLOCK";
    case EINPROGRESS: return "WSAEINPROGRESS";
    case ENOTSOCK: return "WSAENOTSOCK";
    case EOPNOTSUPP: return "WSAEOPNOTSUPP";
    case ENETDOWN: return "WSAENETDOWN";
    case ENOBUFS:
    case ENOMEM: return "WSAENOBUFS";
    default: return "UNKNOWN CODE";
    }
}

bool OutOfResources(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// Fills the record from the accepted socket. False when the client can't
// be served (already logged); the caller then refuses it.
bool FillRecord(ConnectionRecord& record, const sockaddr_storage& peer, const std::string& hostDomain) {
    const EngineSettings& settings = Settings();
    sockaddr_storage local{};
    socklen_t localLength = sizeof local;
    if (::getsockname(record.ClientSocket, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) {
        WriteLog("[AcceptClients] getsockname error\n");
        return false;
    }
    UnmapIPv4(local, localLength);
    if (local.ss_family == AF_INET6) std::memcpy(&record.LocalAddress6, &local, sizeof record.LocalAddress6);
    else std::memcpy(&record.LocalAddress, &local, sizeof record.LocalAddress);
    record.LocalAddressLength = localLength;
    AssignField(record.HostName, hostDomain, kHostNameWidth);
    AssignField(record.ListenAddress, AddressToText(reinterpret_cast<sockaddr*>(&local)).value_or(""),
                kAddressTextWidth);
    record.ListenPort = AddressPort(reinterpret_cast<const sockaddr*>(&local));

    std::optional<std::string> client = AddressToText(reinterpret_cast<const sockaddr*>(&peer));
    if (!client) {
        WriteLog(peer.ss_family == AF_INET6 ? "[AcceptClients] inet_ntop(sinListener6.sin6_addr) = NULL\n"
                                            : "[AcceptClients] inet_ntop(sinListener.sin_addr) = NULL\n");
        return false;
    }
    WriteLogF("[AcceptClients] [%04d] Connect from [%s]\n", record.ClientSocket, client->c_str());
    AssignField(record.ClientAddress, *client, kAddressTextWidth);
    // The worker replaces this copy by the client's DNS name.
    AssignField(record.ClientHostName, *client, kHostNameWidth);
    record.ClientIsIPv4 = record.ClientAddress.empty() || record.ClientAddress.find('.') != std::string::npos;
    record.ClientFamily = peer.ss_family;

    if (settings.clientSocketTimeout != 0) {
        timeval tv{settings.clientSocketTimeout / 1000, (settings.clientSocketTimeout % 1000) * 1000};
        ::setsockopt(record.ClientSocket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(record.ClientSocket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    }
    return true;
}

void* WorkerEntry(void* record) {
    PROXYMain(static_cast<ConnectionRecord*>(record));
    return nullptr;
}

// A detached worker thread that owns the record; the error code of the
// start, 0 when it runs. (A plain thread start: it must also work when the
// process is out of descriptors, and it names its own error.)
int StartDetachedWorker(ConnectionRecord* record) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    int error = pthread_create(&thread, &attributes, WorkerEntry, record);
    pthread_attr_destroy(&attributes);
    return error;
}

// Starts the client's worker, retrying with growing pauses; on the last
// failure the client is closed rather than left connected and forgotten.
void StartWorker(ConnectionRecord* record) {
    unsigned long tries = std::max(1ul, Settings().retryCount);
    for (unsigned long attempt = 1;; ++attempt) {
        int error = StartDetachedWorker(record);
        if (error == 0) return;
        if (attempt >= tries) {
            WriteLogF("[AcceptClients] [%04d] PROXYMain() beginthread failed.(%d)\n", record->ClientSocket, error);
            RefuseClient(record);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100 * attempt));
    }
}

void ServeAccepted(int client, const sockaddr_storage& peer, int listenSocket, const std::string& hostDomain) {
    WriteLogF("[AcceptClients] [%04d] Accept Client sokect.(%08x)\n", client, static_cast<unsigned>(listenSocket));
    ConnectionRecord* record = new (std::nothrow) ConnectionRecord;
    WriteLogF("[AcceptClients] [%08" PRIxPTR "] memory alloc()\n", reinterpret_cast<std::uintptr_t>(record));
    if (!record) {
        // Only this client is lost; the listening socket keeps serving.
        CloseSocket(client, false);
        return;
    }
    record->ClientSocket = client;
    record->SpoolNumber = NextSpoolNumber();
    if (!FillRecord(*record, peer, hostDomain)) {
        RefuseClient(record);
        return;
    }
    StartWorker(record);
}

}  // namespace

void AcceptClients(const ListenerParameters& parameters) {
    const EngineSettings& settings = Settings();
    std::vector<ListenEntry> entries;
    for (const std::string& text : parameters.listenList) {
        WriteLogF("[AcceptClients] table=%s\n", text.c_str());
        entries.push_back(ParseEntry(text, parameters.port));
    }

    std::vector<int> sockets;
    for (const ListenEntry& entry : entries) {
        // Left out without a word, such a line looks like a listener that
        // silently does not answer.
        if (entry.family == AF_UNSPEC)
            WriteLogF("[AcceptClients] not an IPv4 or IPv6 address, not listened on: %s\n", entry.text.c_str());
        if (!FamilyEnabled(entry.family, settings.ipVersion)) continue;
        WriteLogF("[AcceptClients] listen=%s\n", entry.text.c_str());
        int s = OpenListenSocket(entry);
        if (s < 0) {
            CloseAll(sockets);
            return;
        }
        sockets.push_back(s);
    }
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        if (::listen(sockets[i], settings.connectionLimit) != 0) {
            CloseAll(sockets);
            return;
        }
    }

    if (parameters.onListening && !parameters.onListening()) {
        CloseAll(sockets);
        return;
    }

    const std::string hostDomain = QueryHostDomain(settings.ipVersion);
    WriteLogF("[AcceptClients] host.domain=[%s]\n", hostDomain.c_str());
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    std::vector<pollfd> waits;
    for (int s : sockets) waits.push_back(pollfd{s, POLLIN, 0});
    // The stop waits last, after every listening socket.
    if (parameters.stopDescriptor >= 0) waits.push_back(pollfd{parameters.stopDescriptor, POLLIN, 0});
    while (!(parameters.stop && parameters.stop->load())) {
        WriteLog("[AcceptClients] wait select()\n");
        // Nothing to wait on is an invalid wait, as it always was.
        int ready = sockets.empty() ? (errno = EINVAL, -1) : ::poll(waits.data(), waits.size(), -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            WriteLogF("[AcceptClients] %s%s\n", "select() failed. WSAGetLastError() = ", WaitErrorName(errno));
            CloseAll(sockets);
            return;
        }
        if (parameters.stopDescriptor >= 0 && waits.back().revents != 0) break;
        for (pollfd& w : waits) {
            if (w.revents == 0) continue;
            w.revents = 0;
            WriteLog("[AcceptClients] wait accept()\n");
            sockaddr_storage peer{};
            socklen_t peerLength = sizeof peer;
            int client = ::accept4(w.fd, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
            WriteLog("[AcceptClients] start accept()\n");
            if (client < 0) {
                int error = errno;
                WriteLogF("[AcceptClients] %s\n", AcceptErrorName(error));
                WriteLog("[AcceptClients] invalid socket\n");
                // Out of descriptors or memory the pending client stays
                // ready: pause instead of spinning until some are free.
                if (OutOfResources(error)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
                break;
            }
            UnmapIPv4(peer, peerLength);
            ServeAccepted(client, peer, w.fd, hostDomain);
            break;  // the first ready socket in table order, then wait again
        }
    }
    CloseAll(sockets);
}

}  // namespace engine
