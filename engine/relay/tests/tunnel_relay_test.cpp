// The tunnel's byte relay between two loopback TCP connections: the test
// holds the client's and the server's own ends, the relay the two ends in
// the middle, as a CONNECT tunnel has them.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "engine/relay/tunnel_relay.h"
#include "engine/tls/tests/tls_fixture.h"
#include "platform/io/full_write.h"

namespace {

using namespace std::chrono_literals;
using tlsfixture::Fd;

// Reads until the peer ends the stream (true) or fails or the time runs out
// (false). pause slows the reader down between reads.
bool ReadToEnd(int fd, std::string& out, std::chrono::milliseconds pause = 0ms,
               std::chrono::milliseconds timeout = 20s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    char buffer[65536];
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left <= 0ms || ::poll(&entry, 1, static_cast<int>(left.count())) != 1) return false;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0) return true;
        if (n < 0) return false;
        out.append(buffer, static_cast<size_t>(n));
        if (pause > 0ms) std::this_thread::sleep_for(pause);
    }
}

bool ReadExactly(int fd, size_t size, std::string& out) {
    char buffer[65536];
    while (out.size() < size) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 20000) != 1) return false;
        ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, size - out.size()), 0);
        if (n <= 0) return false;
        out.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

// Two loopback connections joined by the relay: client <-> [relay] <-> server.
class TunnelRelayTest : public ::testing::Test {
protected:
    // smallClientBuffers: the way to the client holds little, so the relay's
    // sends to it wait for the client to read.
    void Start(engine::TunnelTimeouts timeouts = {}, bool smallClientBuffers = false) {
        auto [client, relayClient] = tlsfixture::TcpPair();
        auto [relayServer, server] = tlsfixture::TcpPair();
        client_ = std::move(client);
        relayClient_ = std::move(relayClient);
        relayServer_ = std::move(relayServer);
        server_ = std::move(server);
        if (smallClientBuffers) {
            const int size = 32768;
            ::setsockopt(client_.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
            ::setsockopt(relayClient_.get(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        }
        tunnel_ = std::make_unique<engine::Tunnel>(
            engine::TunnelSides{relayClient_.get(), nullptr, relayServer_.get(), nullptr}, timeouts);
        result_ = std::async(std::launch::async, [this] {
            return engine::RunTunnel(*tunnel_, 3, [](int) {});
        });
    }

    // True once RunTunnel has returned (it has then joined its thread).
    bool Ended(std::chrono::milliseconds timeout = 20s) {
        return result_.wait_for(timeout) == std::future_status::ready;
    }

    void TearDown() override {
        if (result_.valid() && !Ended(0ms)) {
            // Unblocks a relay that failed to end, so the test can report it.
            ::shutdown(relayClient_.get(), SHUT_RDWR);
            ::shutdown(relayServer_.get(), SHUT_RDWR);
            tunnel_->Stop();
            result_.wait();
        }
    }

    Fd client_, relayClient_, relayServer_, server_;
    std::unique_ptr<engine::Tunnel> tunnel_;
    std::future<engine::TunnelResult> result_;
};

// Binary bytes go both ways at once, unchanged: a piece that ends in CR LF
// does not end the relay, NUL bytes are sent on. The client's end of
// stream reaches the server as a half-close, the server's answer still
// reaches the client, and the server's close ends the tunnel.
TEST_F(TunnelRelayTest, BinaryBothWaysAndHalfClose) {
    Start({5000, 5000, 5000});
    const std::string line = "EHLO a line of its own\r\n";
    ASSERT_TRUE(platform::SendAll(client_.get(), line));
    std::string atServer;
    ASSERT_TRUE(ReadExactly(server_.get(), line.size(), atServer));
    EXPECT_EQ(atServer, line);

    const std::string up = tlsfixture::BinaryPattern(6 << 20, 7) + "\r\n";
    const std::string down = tlsfixture::BinaryPattern(9 << 20, 11) + "\r\n";
    std::string atClient;
    std::thread serverSide([&] {
        EXPECT_TRUE(platform::SendAll(server_.get(), down));
        // The client's half-close arrives after all it sent.
        EXPECT_TRUE(ReadToEnd(server_.get(), atServer));
        EXPECT_TRUE(platform::SendAll(server_.get(), "answer after the half-close"));
        server_.reset();
    });
    std::thread clientReader([&] {
        EXPECT_TRUE(ReadExactly(client_.get(), down.size() + 27, atClient));
    });
    EXPECT_TRUE(platform::SendAll(client_.get(), up));
    ::shutdown(client_.get(), SHUT_WR);
    serverSide.join();
    clientReader.join();

    EXPECT_TRUE(atServer == line + up) << atServer.size();
    EXPECT_TRUE(atClient == down + "answer after the half-close") << atClient.size();
    ASSERT_TRUE(Ended());
    const engine::TunnelResult result = result_.get();
    EXPECT_EQ(result.toServer, line.size() + up.size());
    EXPECT_EQ(result.toClient, down.size() + 27);
    EXPECT_TRUE(result.bothDirections);
}

// Each way a tunnel ends while the other side waits in silence; RunTunnel
// returns (its second thread joined) with the client's socket still open
// for its owner to close, and the other peer then sees the end.
TEST_F(TunnelRelayTest, EndsByServerCloseClientResetOrIdleness) {
    enum class Ending { ServerCloses, ServerResets, ClientResets, Idle };
    for (Ending ending : {Ending::ServerCloses, Ending::ServerResets, Ending::ClientResets, Ending::Idle}) {
        SCOPED_TRACE(static_cast<int>(ending));
        Start({ending == Ending::Idle ? 300 : 0, 5000, 5000});
        ASSERT_TRUE(platform::SendAll(client_.get(), "ping"));
        std::string got;
        ASSERT_TRUE(ReadExactly(server_.get(), 4, got));
        auto reset = [](Fd& fd) {
            linger hard{1, 0};
            ::setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            fd.reset();
        };
        if (ending == Ending::ServerCloses) server_.reset();
        if (ending == Ending::ServerResets) reset(server_);
        if (ending == Ending::ClientResets) reset(client_);
        ASSERT_TRUE(Ended());
        EXPECT_EQ(result_.get().toServer, 4u);
        // The relay's side of the server is shut down both ways.
        if (server_.get() >= 0) {
            std::string rest;
            EXPECT_TRUE(ReadToEnd(server_.get(), rest));
        }
        tunnel_.reset();
        relayClient_.reset();
        relayServer_.reset();
        if (client_.get() >= 0) {
            std::string rest;
            EXPECT_TRUE(ReadToEnd(client_.get(), rest));
            EXPECT_EQ(rest, "");
        }
        client_.reset();
        server_.reset();
    }
}

// A client that stops reading a large download for a while, and sends
// nothing the whole time, keeps the tunnel alive: the idle time-out counts
// only silence both ways, and a send that waits for the client is none.
TEST_F(TunnelRelayTest, PausingReaderIsNotIdle) {
    // The idle time-out leaves room for a loaded machine to start the
    // sending thread; the pause below is well past it.
    Start({1000, 5000, 5000}, true);
    const std::string down = tlsfixture::BinaryPattern(3 << 20, 3);
    std::thread serverSide([&] {
        EXPECT_TRUE(platform::SendAll(server_.get(), down));
        server_.reset();
    });
    std::string atClient;
    EXPECT_TRUE(ReadExactly(client_.get(), down.size() / 2, atClient));
    // Longer than the idle time-out, while the relay waits to send more.
    std::this_thread::sleep_for(2500ms);
    EXPECT_TRUE(ReadExactly(client_.get(), down.size(), atClient));
    serverSide.join();
    EXPECT_TRUE(atClient == down) << atClient.size();
    ASSERT_TRUE(Ended());
    EXPECT_EQ(result_.get().toClient, down.size());
}

}  // namespace
