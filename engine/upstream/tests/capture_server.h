// A loopback TCP server for the upstream tests: accepts every connection,
// keeps what each peer sends, and closes its side when told to.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace upstreamtest {

class CaptureServer {
public:
    struct Peer {
        std::string address;  // the peer's address text
        int port = 0;
        int family = 0;
        std::string received;
        bool open = true;  // neither side has ended the connection
    };

    // Listens on address (IPv4 or IPv6 text) at a port of the system's choice.
    explicit CaptureServer(const std::string& address = "127.0.0.1", int backlog = 16);
    ~CaptureServer();
    CaptureServer(const CaptureServer&) = delete;
    CaptureServer& operator=(const CaptureServer&) = delete;

    bool ok() const { return listenSocket_ >= 0; }
    int port() const { return port_; }
    std::vector<Peer> peers() const;
    size_t accepted() const;
    // Ends every accepted connection from the server's side; returns once done.
    void closeAll();
    // Sends text on every open accepted connection; returns once sent.
    void sendAll(const std::string& text);

private:
    void run();
    void waitWhile(const std::atomic<bool>& flag);

    int listenSocket_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closeRequested_{false};
    std::atomic<bool> sendRequested_{false};
    std::string toSend_;
    mutable std::mutex lock_;
    std::vector<Peer> peers_;
    std::vector<int> sockets_;  // parallel to peers_; -1 once closed
    std::thread thread_;
};

}  // namespace upstreamtest
