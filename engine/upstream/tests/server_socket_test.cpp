#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "capture_server.h"
#include "engine/upstream/server_socket.h"
#include "test_support.h"

namespace upstreamtest {
namespace {

engine::SocketAddress Loopback(int port) {
    std::vector<engine::SocketAddress> found;
    EXPECT_EQ(engine::ResolveServer("127.0.0.1", std::to_string(port), 0, found), 0);
    return found.at(0);
}

TEST(UpstreamSocket, TriesEveryAddressUntilOneAnswers) {
    CaptureServer live;
    ASSERT_TRUE(live.ok());
    const std::vector<engine::SocketAddress> addresses{Loopback(testsupport::FreeTcpPort()), Loopback(live.port())};
    int bindFailures = 0;
    const auto sendAddress = engine::ParseSendAddress("127.0.0.3");
    ASSERT_TRUE(sendAddress);
    int first = engine::OpenServerSocket(addresses[0], sendAddress, [&] { ++bindFailures; });
    ASSERT_GE(first, 0);

    engine::ConnectAttempt attempt =
        engine::ConnectToAny(first, addresses, sendAddress, 2000, [&] { ++bindFailures; });
    ASSERT_TRUE(attempt.connected) << attempt.error;
    EXPECT_EQ(bindFailures, 0);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return live.accepted() == 1; }));
    EXPECT_EQ(live.peers()[0].address, "127.0.0.3");
    ::close(attempt.socket);
}

TEST(UpstreamSocket, SendAddressFamilyComesFirstAndAMismatchIsReported) {
    std::vector<engine::SocketAddress> addresses{Loopback(1)};
    std::vector<engine::SocketAddress> v6;
    if (engine::ResolveServer("::1", "1", 1, v6) == 0) addresses.insert(addresses.begin(), v6[0]);
    engine::PreferFamily(addresses, AF_INET);
    EXPECT_EQ(addresses.front().family(), AF_INET);

    const auto other = engine::ParseSendAddress("[::1]");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->family(), AF_INET6);
    EXPECT_FALSE(engine::ParseSendAddress("host.example.test"));
    EXPECT_FALSE(engine::ParseSendAddress(""));
    int bindFailures = 0;
    int s = engine::OpenServerSocket(addresses.front(), other, [&] { ++bindFailures; });
    ASSERT_GE(s, 0);
    EXPECT_EQ(bindFailures, 1);
    ::close(s);
}

TEST(UpstreamSocket, TellsAKeptConnectionFromOneTheServerEnded) {
    CaptureServer server;
    ASSERT_TRUE(server.ok());
    const engine::SocketAddress address = Loopback(server.port());
    int s = engine::OpenServerSocket(address, std::nullopt, {});
    ASSERT_EQ(engine::ConnectWithin(s, address, 2000), 0);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return server.accepted() == 1; }));
    EXPECT_TRUE(engine::ServerStillOpen(s, false));

    server.sendAll("unasked");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !engine::ServerStillOpen(s, false); }));
    EXPECT_TRUE(engine::ServerStillOpen(s, true));  // a TLS session may hold records of its own

    server.closeAll();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !engine::ServerStillOpen(s, true); }));
    ::close(s);
    EXPECT_FALSE(engine::ServerStillOpen(-1, true));
}

}  // namespace
}  // namespace upstreamtest
