// SOCKS 5 UDP ASSOCIATE: python3-socks to a UDP echo server, and raw
// datagrams that must get no answer.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "engine/tls/tests/tls_fixture.h"
#include "socks_engine.h"
#include "test_support.h"

namespace {

using listenertest::Client;
using sockstest::EchoServer;
using sockstest::Files;
using sockstest::PortBytes;
using sockstest::ReadExactly;
using sockstest::SocksEngine;
using namespace std::string_literals;

// A UDP socket of the test on a loopback address.
class Datagrams {
public:
    explicit Datagrams(const char* from = "127.0.0.1") : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &local.sin_addr);
        ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    int port() const {
        sockaddr_in local{};
        socklen_t length = sizeof local;
        ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&local), &length);
        return ntohs(local.sin_port);
    }
    void send(int port, const std::string& datagram) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        ::sendto(fd_.get(), datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    // The next datagram, or nullopt when none comes within the time.
    std::optional<std::string> receive(int milliseconds) {
        pollfd wait{fd_.get(), POLLIN, 0};
        if (::poll(&wait, 1, milliseconds) <= 0) return std::nullopt;
        char buffer[70000];
        const ssize_t n = ::recv(fd_.get(), buffer, sizeof buffer, 0);
        if (n < 0) return std::nullopt;
        return std::string(buffer, static_cast<std::size_t>(n));
    }

private:
    tlsfixture::Fd fd_;
};

// Opens an association; returns the relay port the reply names.
int Associate(Client& control) {
    std::string got;
    EXPECT_TRUE(control.send("\5\1\0"s));
    EXPECT_TRUE(ReadExactly(control, 2, got));
    EXPECT_TRUE(control.send("\5\3\0\1\0\0\0\0\0\0"s));
    if (!ReadExactly(control, 10, got)) return 0;
    EXPECT_EQ(got.substr(0, 8), "\5\0\0\1\x7f\0\0\1"s);
    return static_cast<unsigned char>(got[8]) << 8 | static_cast<unsigned char>(got[9]);
}

TEST(SocksUdp, PythonSocksThroughTheRelay) {
    auto echo = EchoServer("udp");
    SocksEngine engine(Files{}, {"-t=5000"});
    const auto result = testsupport::RunCommand("/usr/bin/python3 " +
                                                testsupport::SourcePath("engine/socks/tests/socks_udp_client.py") +
                                                " " + std::to_string(engine.port()) + " " +
                                                std::to_string(echo.port()) + " 3");
    EXPECT_EQ(result.output, "datagram 0\ndatagram 1\ndatagram 2\n") << engine.log();
}

TEST(SocksUdp, DatagramsWithoutAnAnswer) {
    auto echo = EchoServer("udp");
    auto listed = EchoServer("udp");
    SocksEngine engine(Files{{"black.db", "127.0.0.1,socks,udp,127.0.0.1," + std::to_string(listed.port()) + "\r\n"}},
                       {"-t=5000"});
    Client control("127.0.0.1", engine.port());
    const int relay = Associate(control);
    ASSERT_NE(relay, 0) << engine.log();
    EXPECT_NE(relay, engine.port());
    const std::string header = "\0\0\0\1\x7f\0\0\1"s + PortBytes(echo.port());
    Datagrams client;
    const struct {
        const char* name;
        std::string datagram;
    } dropped[] = {
        {"fragment 1", "\0\0\1\1\x7f\0\0\1"s + PortBytes(echo.port()) + "x"},
        {"black-listed destination", "\0\0\0\1\x7f\0\0\1"s + PortBytes(listed.port()) + "x"},
        {"header longer than the datagram", "\0\0\0\3\x40short"s},
        {"unknown address type", "\0\0\0\x09\x7f\0\0\1\0\x35x"s},
    };
    for (const auto& d : dropped) {
        client.send(relay, d.datagram);
        EXPECT_FALSE(client.receive(400)) << d.name;
    }
    {
        // Another sender than the TCP client is not served.
        Datagrams stranger("127.0.0.2");
        stranger.send(relay, header + "from a stranger");
        EXPECT_FALSE(stranger.receive(400));
    }
    EXPECT_EQ(listed.err(), "");
    // The association still serves its client: 100 bytes come back as 110.
    const std::string payload(100, 'p');
    client.send(relay, header + payload);
    const auto answer = client.receive(5000);
    ASSERT_TRUE(answer) << engine.log();
    EXPECT_EQ(*answer, header + payload);
    // A datagram larger than 1,024 bytes passes whole.
    const std::string large(30000, 'L');
    client.send(relay, header + large);
    const auto largeAnswer = client.receive(5000);
    ASSERT_TRUE(largeAnswer);
    EXPECT_EQ(largeAnswer->size(), 10 + large.size());
    // The association ends with the TCP connection.
    control.close();
    EXPECT_TRUE(engine.waitForLog("association ended."));
    EXPECT_TRUE(engine.waitForEmptyCache());
}

// Each datagram goes on as it comes and each answer comes back as it
// comes: a silent destination holds nothing up, a second answer is passed
// on, and only the port the client's first datagram came from is served.
TEST(SocksUdp, DirectionsAreIndependentAndOnlyTheClientsPortIsServed) {
    auto echo = EchoServer("udp");
    auto twice = EchoServer("udp-twice");
    Datagrams silent;
    // The idle time-out is far beyond every wait below: an exchange that
    // waited for the silent destination's answer would miss them all.
    SocksEngine engine(Files{}, {"-t=30000"});
    Client control("127.0.0.1", engine.port());
    const int relay = Associate(control);
    ASSERT_NE(relay, 0) << engine.log();
    auto header = [](int port) { return "\0\0\0\1\x7f\0\0\1"s + PortBytes(port); };
    Datagrams client;
    client.send(relay, header(silent.port()) + "into the void");
    client.send(relay, header(echo.port()) + "first");
    const auto first = client.receive(5000);
    ASSERT_TRUE(first) << engine.log();
    EXPECT_EQ(*first, header(echo.port()) + "first");
    EXPECT_EQ(silent.receive(5000), "into the void");

    client.send(relay, header(twice.port()) + "ask");
    EXPECT_EQ(client.receive(5000), header(twice.port()) + "ask");
    EXPECT_EQ(client.receive(5000), header(twice.port()) + "ask again");

    // Another port of the client's host is not the client.
    Datagrams otherPort;
    otherPort.send(relay, header(echo.port()) + "from another port");
    EXPECT_FALSE(otherPort.receive(500));
    EXPECT_FALSE(client.receive(100));
    EXPECT_TRUE(engine.waitForLog("dropped: not the client."));
    // The client's own port is still served.
    client.send(relay, header(echo.port()) + "still served");
    EXPECT_EQ(client.receive(5000), header(echo.port()) + "still served");
}

}  // namespace
