// SOCKS BIND with raw clients: the first reply names where the engine
// listens, the second who came, and then bytes go both ways.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

#include "socks_engine.h"
#include "test_support.h"

namespace {

using listenertest::Client;
using sockstest::Files;
using sockstest::ReadExactly;
using sockstest::SocksEngine;
using namespace std::string_literals;

int PortOf(const std::string& reply, std::size_t at) {
    return static_cast<unsigned char>(reply[at]) << 8 | static_cast<unsigned char>(reply[at + 1]);
}

int LocalPort(int fd) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
}

// Asks for "no authentication".
void Greet(Client& client) {
    std::string method;
    ASSERT_TRUE(client.send("\5\1\0"s));
    ASSERT_TRUE(ReadExactly(client, 2, method));
    ASSERT_EQ(method, "\5\0"s);
}

void ExpectBothWays(Client& client, Client& peer) {
    std::string got;
    ASSERT_TRUE(client.send("to the peer"));
    ASSERT_TRUE(ReadExactly(peer, 11, got));
    EXPECT_EQ(got, "to the peer");
    ASSERT_TRUE(peer.send("to the client"));
    ASSERT_TRUE(ReadExactly(client, 13, got));
    EXPECT_EQ(got, "to the client");
}

TEST(SocksBind, BothRepliesAndBothDirections) {
    SocksEngine engine(Files{{"black.db", "127.0.0.1,socks,tcp,127.0.0.9,*\r\n"}}, {"-n=47100-47110"});
    {
        Client client("127.0.0.1", engine.port());
        Greet(client);
        ASSERT_TRUE(client.send("\5\2\0\1\x7f\0\0\1\0\0"s));
        std::string first, second;
        ASSERT_TRUE(ReadExactly(client, 10, first)) << engine.log();
        EXPECT_EQ(first.substr(0, 8), "\5\0\0\1\x7f\0\0\1"s);
        const int listenPort = PortOf(first, 8);
        EXPECT_GE(listenPort, 47100);
        EXPECT_LE(listenPort, 47110);
        Client peer("127.0.0.1", listenPort);
        ASSERT_TRUE(peer.ok());
        ASSERT_TRUE(ReadExactly(client, 10, second)) << engine.log();
        EXPECT_EQ(second.substr(0, 8), "\5\0\0\1\x7f\0\0\1"s);
        EXPECT_EQ(PortOf(second, 8), LocalPort(peer.fd()));
        ExpectBothWays(client, peer);
    }
    {
        // SOCKS 4 with a user id: 8-byte replies.
        Client client("127.0.0.1", engine.port());
        ASSERT_TRUE(client.send("\4\2\0\x15\x7f\0\0\1ftp\0"s));
        std::string first, second;
        ASSERT_TRUE(ReadExactly(client, 8, first));
        EXPECT_EQ(first.substr(0, 2), "\0\x5a"s);
        EXPECT_EQ(first.substr(4), "\x7f\0\0\1"s);
        Client peer("127.0.0.1", PortOf(first, 2));
        ASSERT_TRUE(ReadExactly(client, 8, second));
        EXPECT_EQ(second, "\0\x5a"s + sockstest::PortBytes(LocalPort(peer.fd())) + "\x7f\0\0\1"s);
        ExpectBothWays(client, peer);
    }
}

TEST(SocksBind, Refusals) {
    // -t: the wait for the incoming connection ends after 300 ms.
    SocksEngine engine(Files{{"black.db", "127.0.0.1,socks,tcp,127.0.0.9,*\r\n"}}, {"-t=300000,300"});
    const struct {
        const char* name;
        std::string request;
        std::string code;  // the reply's first two bytes
    } cases[] = {
        {"v4 without user id", "\4\2\0\x15\x7f\0\0\1\0"s, "\0\x5d"s},
        {"v4 black-listed", "\4\2\0\x15\x7f\0\0\x09u\0"s, "\0\x5b"s},
        {"v5 black-listed", "\5\2\0\1\x7f\0\0\x09\0\x15"s, "\5\2"s},
    };
    for (const auto& c : cases) {
        Client client("127.0.0.1", engine.port());
        if (c.request[0] == 5) Greet(client);
        ASSERT_TRUE(client.send(c.request));
        std::string reply;
        ASSERT_TRUE(ReadExactly(client, c.request[0] == 5 ? 10 : 8, reply)) << c.name;
        EXPECT_EQ(reply.substr(0, 2), c.code) << c.name;
        int error = 0;
        EXPECT_EQ(client.readToEnd(error), "") << c.name;
    }
    {
        // Nobody comes: the second reply is a failure once the time is up.
        Client client("127.0.0.1", engine.port());
        Greet(client);
        ASSERT_TRUE(client.send("\5\2\0\1\x7f\0\0\1\0\0"s));
        std::string first, second;
        ASSERT_TRUE(ReadExactly(client, 10, first));
        EXPECT_EQ(first.substr(0, 2), "\5\0"s);
        ASSERT_TRUE(ReadExactly(client, 10, second));
        EXPECT_EQ(second.substr(0, 2), "\5\1"s);
    }
    {
        // A peer other than the one the request names is turned away.
        Client client("127.0.0.1", engine.port());
        Greet(client);
        ASSERT_TRUE(client.send("\5\2\0\1\x7f\0\0\2\0\0"s));
        std::string first, second;
        ASSERT_TRUE(ReadExactly(client, 10, first));
        Client peer("127.0.0.1", PortOf(first, 8));
        ASSERT_TRUE(ReadExactly(client, 10, second));
        EXPECT_EQ(second.substr(0, 2), "\5\2"s);
        int error = 0;
        EXPECT_EQ(peer.readToEnd(error), "");
    }
    {
        // The client leaving ends the wait at once.
        {
            Client client("127.0.0.1", engine.port());
            Greet(client);
            ASSERT_TRUE(client.send("\5\2\0\1\x7f\0\0\1\0\0"s));
            std::string first;
            ASSERT_TRUE(ReadExactly(client, 10, first));
        }
        EXPECT_TRUE(engine.waitForLog("client left before the connection came."));
    }
    EXPECT_TRUE(engine.waitForEmptyCache());
}

}  // namespace
