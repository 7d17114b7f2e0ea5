// An orqcprx (the engine as SOCKS proxy) started for one test on a free
// loopback port, with its own data root, and the loopback peers the tests
// put behind it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine_process.h"
#include "test_support.h"

namespace sockstest {

// Further files of the data folder: name, content.
using Files = std::vector<std::pair<std::string, std::string>>;

class SocksEngine {
public:
    // extra: options after "-e=... -p=5 -f -v"; listTail: what follows
    // "127.0.0.1 <port>" in the engine's line of socks.ini; launcher: words
    // before the engine's command line (a private mount namespace).
    explicit SocksEngine(const Files& files = {}, const std::vector<std::string>& extra = {},
                         const std::string& listTail = "=", const std::vector<std::string>& launcher = {});
    SocksEngine(const SocksEngine&) = delete;
    SocksEngine& operator=(const SocksEngine&) = delete;

    int port() const { return port_; }
    const std::string& dataFolder() const { return dataFolder_; }
    std::string log() const { return process_->err(); }
    // What the engine printed on its standard output (console-only lines).
    std::string console() const { return process_->out(); }
    bool waitForLog(const std::string& text) const;
    // True once the cache folder holds no spool or request file.
    bool waitForEmptyCache() const;

private:
    testsupport::TempDir root_;
    std::string dataFolder_;
    int port_ = 0;
    std::unique_ptr<testsupport::Process> process_;
};

// A peer started by a helper script that prints "port N" once it listens.
class Peer {
public:
    explicit Peer(std::vector<std::string> argv);
    int port() const { return port_; }
    std::string err() const { return process_->err(); }

private:
    std::unique_ptr<testsupport::Process> process_;
    int port_ = 0;
};

// echo_server.py: "tcp" or "udp" on host.
Peer EchoServer(const std::string& kind, const std::string& host = "127.0.0.1");

// A port as the two bytes of the SOCKS forms.
inline std::string PortBytes(int port) { return {static_cast<char>(port >> 8), static_cast<char>(port & 0xff)}; }

// Reads exactly `size` bytes (false on end, error or time-out).
bool ReadExactly(listenertest::Client& client, std::size_t size, std::string& out);

}  // namespace sockstest
