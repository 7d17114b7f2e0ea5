#include "filters/cwfs/kids_fetch.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/ascii_case.h"
#include "common/text.h"
#include "filters/cwfs/cwfs_log.h"
#include "filters/cwfs/cwfs_settings.h"

namespace cwfs {
namespace {

constexpr size_t kReceiveBlock = 16384;

int MillisecondsLeft(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(left.count());
}

// Waits for the socket to become ready for events; false on time-out.
bool WaitFor(int socket, short events, Deadline deadline) {
    for (;;) {
        pollfd entry{socket, events, 0};
        const int ready = ::poll(&entry, 1, MillisecondsLeft(deadline));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

bool ConnectOne(int socket, const addrinfo& address, Deadline deadline) {
    if (::connect(socket, address.ai_addr, address.ai_addrlen) == 0) return true;
    if (errno != EINPROGRESS) return false;
    if (!WaitFor(socket, POLLOUT, deadline)) return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

// The query proxy's host and port: split at the last ":", "[...]" around an
// IPv6 address; without ":" the given port stays.
void ProxyTarget(const std::string& proxy, std::string& host, std::string& port) {
    const size_t colon = proxy.rfind(':');
    std::string hostPart = proxy;
    if (colon != std::string::npos && (proxy[0] != '[' || proxy.find(']') < colon)) {
        hostPart = proxy.substr(0, colon);
        port = proxy.substr(colon + 1);
    }
    if (!hostPart.empty() && hostPart[0] == '[') hostPart = hostPart.substr(1, hostPart.find(']') - 1);
    host = hostPart;
}

// Where the answer ends, from its head: the Content-Length, or the last chunk.
bool AnswerComplete(const std::string& answer) {
    const size_t headEnd = answer.find("\r\n\r\n");
    if (headEnd == std::string::npos) return false;
    const std::string_view head(answer.data(), headEnd + 2);
    const size_t length = common::StrIStr(head, "\r\ncontent-length:");
    if (length != std::string_view::npos) {
        const long long size = std::atoll(answer.c_str() + length + 17);
        return size >= 0 && answer.size() - (headEnd + 4) >= static_cast<size_t>(size);
    }
    if (common::StrIStr(head, "\r\ntransfer-encoding: chunked") != std::string_view::npos)
        return answer.size() >= 5 && answer.compare(answer.size() - 5, 5, "0\r\n\r\n") == 0;
    return false;
}

}  // namespace

int ConnectHost(int& socket, const std::string& host, int port, Deadline deadline) {
    socket = -1;
    std::string targetHost = host.substr(0, 260);
    std::string targetPort = std::to_string(port);
    if (!Settings().queryProxy.empty()) ProxyTarget(Settings().queryProxy, targetHost, targetPort);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(targetHost.c_str(), targetPort.c_str(), &hints, &found) != 0 || !found) return 0;

    int result = 0;
    for (const addrinfo* address = found; address; address = address->ai_next) {
        const int candidate = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                       address->ai_protocol);
        if (candidate < 0) continue;
        if (ConnectOne(candidate, *address, deadline)) {
            socket = candidate;
            result = 1;
            break;
        }
        ::close(candidate);
        result = -1;
        if (MillisecondsLeft(deadline) == 0) break;
    }
    ::freeaddrinfo(found);
    if (result == -1) WriteLog("[ConnectHost] connect failed.\n");
    return result;
}

int HttpRequestHeader(int socket, const std::string& host, const std::string& path) {
    std::string request = Settings().queryProxy.empty() ? "GET " + path + " HTTP/1.1\r\n"
                                                        : "GET http://" + host + path + " HTTP/1.1\r\n";
    // Without "Connection: close" a keep-alive portal would hold every
    // passing page until the fetch ran out of time.
    request += "Host: " + host + "\r\n"
               "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
               "Connection: close\r\n"
               "\r\n";
    std::fwrite(request.data(), 1, request.size(), stdout);
    std::fputs("\n", stdout);
    size_t sent = 0;
    int error = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(socket, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
            WaitFor(socket, POLLOUT, std::chrono::steady_clock::now() + kPortalFetchBound))
            continue;
        error = errno;
        break;
    }
    const int result = sent == request.size() ? static_cast<int>(sent) : -1;
    std::printf("send(%d) status = %d\n", result, error);
    std::fflush(stdout);
    WriteLogF("[HttpRequestHeader] send(%04d):%d bytes\n", socket, result);
    return result;
}

std::optional<std::string> FetchPortalAnswer(const std::string& host, const std::string& connectHost, int port,
                                             const std::string& path, Deadline deadline) {
    int socket = -1;
    if (ConnectHost(socket, connectHost, port, deadline) != 1) return std::nullopt;
    std::optional<std::string> answer;
    if (HttpRequestHeader(socket, host, path) > 0) {
        std::string received;
        char block[kReceiveBlock];
        for (;;) {
            if (!WaitFor(socket, POLLIN, deadline)) break;  // out of time: no verdict
            const ssize_t n = ::recv(socket, block, sizeof block, 0);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n < 0) break;
            if (n == 0) {
                if (!received.empty()) answer = std::move(received);
                break;
            }
            received.append(block, static_cast<size_t>(n));
            if (received.size() >= kPortalAnswerLimit || AnswerComplete(received)) {
                answer = std::move(received);
                break;
            }
        }
    }
    ::close(socket);
    return answer;
}

}  // namespace cwfs
