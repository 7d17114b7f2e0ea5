#include "capture_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace upstreamtest {

CaptureServer::CaptureServer(const std::string& address, int backlog) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        length = sizeof *v6;
    } else {
        return;
    }
    int s = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return;
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(s, reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(s, backlog) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        ::close(s);
        return;
    }
    port_ = ntohs(storage.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
    listenSocket_ = s;
    thread_ = std::thread([this] { run(); });
}

CaptureServer::~CaptureServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int s : sockets_)
        if (s >= 0) ::close(s);
    if (listenSocket_ >= 0) ::close(listenSocket_);
}

std::vector<CaptureServer::Peer> CaptureServer::peers() const {
    std::lock_guard<std::mutex> lock(lock_);
    return peers_;
}

size_t CaptureServer::accepted() const {
    std::lock_guard<std::mutex> lock(lock_);
    return peers_.size();
}

void CaptureServer::waitWhile(const std::atomic<bool>& flag) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (flag && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void CaptureServer::closeAll() {
    closeRequested_ = true;
    waitWhile(closeRequested_);
}

void CaptureServer::sendAll(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        toSend_ = text;
    }
    sendRequested_ = true;
    waitWhile(sendRequested_);
}

void CaptureServer::run() {
    // Only this thread accepts, reads and closes, so no descriptor is
    // closed under a poll of another thread.
    while (!stop_) {
        std::vector<pollfd> fds{{listenSocket_, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (closeRequested_) {
                for (size_t i = 0; i < sockets_.size(); ++i) {
                    if (sockets_[i] < 0) continue;
                    ::shutdown(sockets_[i], SHUT_RDWR);
                    ::close(sockets_[i]);
                    sockets_[i] = -1;
                    peers_[i].open = false;
                }
                closeRequested_ = false;
            }
            if (sendRequested_) {
                for (int s : sockets_)
                    if (s >= 0) ::send(s, toSend_.data(), toSend_.size(), MSG_NOSIGNAL);
                sendRequested_ = false;
            }
            for (int s : sockets_)
                if (s >= 0) fds.push_back({s, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            sockaddr_storage peer{};
            socklen_t length = sizeof peer;
            int s = ::accept4(listenSocket_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
            if (s >= 0) {
                Peer p;
                char text[INET6_ADDRSTRLEN] = "";
                p.family = peer.ss_family;
                if (peer.ss_family == AF_INET) {
                    auto* a = reinterpret_cast<sockaddr_in*>(&peer);
                    inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
                    p.port = ntohs(a->sin_port);
                } else {
                    auto* a = reinterpret_cast<sockaddr_in6*>(&peer);
                    inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
                    p.port = ntohs(a->sin6_port);
                }
                p.address = text;
                std::lock_guard<std::mutex> lock(lock_);
                peers_.push_back(p);
                sockets_.push_back(s);
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            std::lock_guard<std::mutex> lock(lock_);
            for (size_t k = 0; k < sockets_.size(); ++k) {
                if (sockets_[k] != fds[i].fd) continue;
                if (n > 0) {
                    peers_[k].received.append(buffer, static_cast<size_t>(n));
                } else {
                    ::close(sockets_[k]);
                    sockets_[k] = -1;
                    peers_[k].open = false;
                }
            }
        }
    }
}

}  // namespace upstreamtest
