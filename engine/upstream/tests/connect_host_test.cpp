#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "capture_server.h"
#include "engine/tls/tls.h"
#include "engine/upstream/connect_host.h"
#include "engine/upstream/server_socket.h"
#include "engine/upstream/upstream_target.h"
#include "platform/dns/tests/dnsmasq_fixture.h"
#include "upstream_fixture.h"

namespace upstreamtest {
namespace {

using engine::ConnectHost;
using engine::ConnectionRecord;
using engine::kNoSocket;
using Clock = std::chrono::steady_clock;

std::string Port(int port) { return std::to_string(port); }

// The server accepts on its own thread: wait until it has taken `count`
// connections, and a little longer to see that no more arrive.
bool Accepted(const CaptureServer& server, size_t count) {
    testsupport::WaitUntil([&] { return server.accepted() >= count; }, std::chrono::seconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    return server.accepted() == count;
}

std::string Number4(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", n);
    return text;
}

bool SendText(int socket, const std::string& text) {
    return ::send(socket, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

int TimeoutMs(int socket, int option) {
    timeval value{};
    socklen_t length = sizeof value;
    ::getsockopt(socket, SOL_SOCKET, option, &value, &length);
    return static_cast<int>(value.tv_sec * 1000 + value.tv_usec / 1000);
}

TEST_F(UpstreamTest, ReachesTheUpstreamProxyOfTheConnectionListAndNamesItToTheCaller) {
    CaptureServer proxy;
    ASSERT_TRUE(proxy.ok());
    WriteConnectTable("'upstream proxy for the office\r\n"
                      "127.0.0.1 8080=,localhost " + Port(proxy.port()) + ",Upstream\r\n");
    ConnectionRecord* record = NewRecord();
    std::string host = "www.example.test";

    int socket = ConnectHost(record, host, 80);
    ASSERT_NE(socket, kNoSocket) << Log();
    EXPECT_EQ(host, "localhost:" + Port(proxy.port()));
    EXPECT_EQ(record->ServerSocket, socket);
    EXPECT_EQ(record->ServerConnected, 1);
    EXPECT_EQ(record->ServerHost, "www.example.test");
    EXPECT_EQ(record->ServerAddressText, "localhost");
    const std::string request = "GET http://www.example.test/a HTTP/1.1\r\nHost: www.example.test\r\n\r\n";
    ASSERT_TRUE(SendText(socket, request));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !proxy.peers().empty() && proxy.peers()[0].received == request; }));

    // The next request to the same host takes the kept connection, and the
    // caller still learns that it goes through the proxy.
    host = "www.example.test";
    EXPECT_EQ(ConnectHost(record, host, 80), socket);
    EXPECT_EQ(host, "localhost:" + Port(proxy.port()));
    EXPECT_TRUE(Accepted(proxy, 1)) << proxy.accepted();

    const std::string log = Log();
    EXPECT_EQ(Count(log, "[GetConnectTable] [Hit] Upstream\n"), 2u) << log;
    EXPECT_EQ(Count(log, "] Server=localhost Port=" + Port(proxy.port()) + "\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Winsock connect success. Socket=" + std::to_string(socket)), 1u) << log;
}

// Whether HTTP goes to an upstream proxy is what the listen entry's line
// (or -s) says, never what the requested host is called: the host text a
// caller gets back differs from the requested one exactly then.
TEST_F(UpstreamTest, TheConnectionListOrOptionSNamesTheUpstreamProxy) {
    struct Case {
        const char* name;
        std::string line;  // the listen entry's line, 127.0.0.1 8080
        std::string option;  // -s
        std::string server, port;
        bool named;
        std::string callerHost;
    } cases[] = {
        {"no line", "", "", "127.0.0.1", "80", false, "127.0.0.1"},
        {"a page line without a server", "127.0.0.1 8080=, ,office", "", "127.0.0.1", "80", false, "127.0.0.1"},
        {"a port without a server", "127.0.0.1 8080=, 3128,x", "", "127.0.0.1", "80", false, "127.0.0.1"},
        {"a proxy named like the requested host", "127.0.0.1 8080=,127.0.0.1 3128,up", "", "127.0.0.1", "3128",
         true, "127.0.0.1:3128"},
        {"a proxy without a port takes the requested one", "127.0.0.1 8080=,proxy.test,up", "", "proxy.test", "80",
         true, "proxy.test:80"},
        {"an IPv6 proxy", "127.0.0.1 8080=,::1 3128,up", "", "::1", "3128", true, "[::1]:3128"},
        {"-s", "127.0.0.1 8080=, ,office", "127.0.0.1 3128", "127.0.0.1", "3128", true, "127.0.0.1:3128"},
        {"-s without a port", "", "proxy.test", "proxy.test", "80", true, "proxy.test:80"},
        {"-s without a host", "", " 3128", "127.0.0.1", "80", false, "127.0.0.1"},
        {"the line's proxy before -s", "127.0.0.1 8080=,line.test 8000,up", "option.test 3128", "line.test", "8000",
         true, "line.test:8000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteConnectTable(c.line.empty() ? "" : c.line + "\r\n");
        engine::UpstreamTarget target = engine::ChooseUpstreamTarget(
            engine::kProtocolHttp, engine::Settings().connectTableFile, "127.0.0.1", 8080, "127.0.0.1", 80, c.option);
        EXPECT_EQ(target.server, c.server);
        EXPECT_EQ(target.port, c.port);
        EXPECT_EQ(target.namedServer, c.named);
        EXPECT_EQ(target.HostForCaller("127.0.0.1"), c.callerHost);
    }
}

TEST_F(UpstreamTest, RetriesARefusedConnectWithGrowingPauses) {
    struct Case {
        unsigned long retries;
        size_t resets;
        std::chrono::milliseconds minimum;
    };
    const Case cases[] = {{0, 0, {}}, {1, 0, {}}, {3, 2, std::chrono::milliseconds(300)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.retries);
        engine::Settings().retryCount = c.retries;
        const int closedPort = testsupport::FreeTcpPort();
        ConnectionRecord* record = NewRecord();
        std::string host = "127.0.0.1";
        const std::string before = Log();
        auto start = Clock::now();
        EXPECT_EQ(ConnectHost(record, host, closedPort), kNoSocket);
        auto elapsed = Clock::now() - start;
        const std::string log = Log().substr(before.size());
        EXPECT_EQ(Count(log, "Server=127.0.0.1 Port=" + Port(closedPort) + " / Reset Socket ("), c.resets) << log;
        EXPECT_EQ(Count(log, " / Winsock connect failed. Socket="), 1u) << log;
        EXPECT_EQ(Count(log, "WSAGetLastError() = " + std::to_string(ECONNREFUSED) + "\n"), c.resets + 1) << log;
        EXPECT_GE(elapsed, c.minimum - std::chrono::milliseconds(5));  // the clock may run a hair apart
        EXPECT_EQ(record->ServerSocket, kNoSocket);
        EXPECT_EQ(record->ServerConnected, 0);
    }
}

TEST_F(UpstreamTest, ReusesAKeptConnectionOnlyForTheSameHostPortAndMarksWhileTheServerKeepsIt) {
    CaptureServer first, second;
    ASSERT_TRUE(first.ok() && second.ok());
    ConnectionRecord* record = NewRecord();
    std::string host = "127.0.0.1";

    const int a = ConnectHost(record, host, first.port());
    ASSERT_NE(a, kNoSocket) << Log();
    EXPECT_EQ(ConnectHost(record, host, first.port()), a);
    EXPECT_TRUE(Accepted(first, 1)) << first.accepted();

    // Same host, another port: a new connection, the old one closed.
    const int b = ConnectHost(record, host, second.port());
    ASSERT_NE(b, kNoSocket);
    EXPECT_TRUE(Accepted(second, 1)) << second.accepted();
    EXPECT_NE(Log().find("[ConnectHost] [" + Number4(record->ClientSocket) + "] Close Server socket. [" +
                         Number4(a) + "]"),
              std::string::npos)
        << Log();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !first.peers()[0].open; }));
    EXPECT_EQ(ConnectHost(record, host, second.port()), b);
    EXPECT_TRUE(Accepted(second, 1)) << second.accepted();

    // The same destination with a STARTTLS mark in the connection list is
    // another server side. (A line that names the server hands back its
    // own host text: each request asks for its host afresh.)
    WriteConnectTable("127.0.0.1 8080=,127.0.0.1 " + Port(second.port()) + "-\r\n");
    const int c = ConnectHost(record, host, second.port());
    ASSERT_NE(c, kNoSocket);
    EXPECT_TRUE(Accepted(second, 2)) << second.accepted();
    EXPECT_EQ(record->ServerUseStartTls, 1);
    host = "127.0.0.1";
    EXPECT_EQ(ConnectHost(record, host, second.port()), c);
    EXPECT_TRUE(Accepted(second, 2)) << second.accepted();

    // Once the server has ended the connection it is not taken again.
    second.closeAll();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !engine::ServerStillOpen(c, false); }));
    host = "127.0.0.1";
    const int d = ConnectHost(record, host, second.port());
    ASSERT_NE(d, kNoSocket);
    EXPECT_TRUE(Accepted(second, 3)) << second.accepted();
    EXPECT_EQ(record->ServerSocket, d);
}

TEST_F(UpstreamTest, LeftoverBytesOfAnEarlierReplyAreNotHandedToTheNextRequest) {
    // Bytes that nobody asked for would be read as the start of the next
    // reply: such a connection is closed instead of reused.
    CaptureServer server;
    ASSERT_TRUE(server.ok());
    ConnectionRecord* record = NewRecord();
    std::string host = "127.0.0.1";
    const int a = ConnectHost(record, host, server.port());
    ASSERT_NE(a, kNoSocket);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return server.accepted() == 1; }));
    server.sendAll("HTTP/1.1 200 OK\r\n\r\nstray");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !engine::ServerStillOpen(a, false); }));
    const int b = ConnectHost(record, host, server.port());
    ASSERT_NE(b, kNoSocket);
    EXPECT_TRUE(Accepted(server, 2)) << server.accepted();
    EXPECT_NE(Log().find("Close Server socket. [" + Number4(a) + "]"), std::string::npos) << Log();
}

TEST_F(UpstreamTest, AClosedServerSocketIsResetAndItsReusedNumberNeverTaken) {
    CaptureServer server;
    ASSERT_TRUE(server.ok());
    std::string host = "127.0.0.1";
    ConnectionRecord* one = NewRecord();
    ConnectionRecord* two = NewRecord();

    const int first = ConnectHost(one, host, server.port());
    ASSERT_NE(first, kNoSocket);
    engine::CloseServerConnection(one, "GetDispatch");
    EXPECT_EQ(one->ServerSocket, kNoSocket);
    EXPECT_EQ(one->ServerConnected, 0);
    EXPECT_NE(Log().find("[GetDispatch] ["), std::string::npos);

    // A caller that closes behind ConnectHost's back leaves a stale number;
    // another connection gets that number at once.
    const int stale = ConnectHost(one, host, server.port());
    ASSERT_NE(stale, kNoSocket);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return server.accepted() == 2; }));  // no descriptor made meanwhile
    ::close(stale);
    const int others = ConnectHost(two, host, server.port());
    ASSERT_NE(others, kNoSocket);
    ASSERT_EQ(others, stale) << "the system did not hand out the freed number again";

    const int fresh = ConnectHost(one, host, server.port());
    ASSERT_NE(fresh, kNoSocket);
    EXPECT_NE(fresh, others);
    EXPECT_TRUE(engine::ServerStillOpen(others, false)) << "the other connection's socket was closed";
    ASSERT_TRUE(Accepted(server, 4)) << server.accepted();
    EXPECT_TRUE(server.peers()[2].open);
}

TEST_F(UpstreamTest, BindsTheSendAddressWithAPortOfItsOwnForEveryConnection) {
    const bool ipv6 = testsupport::HaveIPv6Loopback();
    struct Case {
        const char* name;
        int protocol;
        const char* sendAddress;
        const char* serverAddress;
        int ipVersion;
        const char* expectedPeer;
        bool bindFails;
    };
    const Case cases[] = {
        {"IPv4 send address", engine::kProtocolSmtp, "127.0.0.2", "127.0.0.1", 0, "127.0.0.2", false},
        {"send address of the other family", engine::kProtocolPop3, "::1", "127.0.0.1", 0, "127.0.0.1", true},
        {"no address", engine::kProtocolSmtp, "not-an-address", "127.0.0.1", 0, "127.0.0.1", true},
        {"HTTP sends from any address", engine::kProtocolHttp, "127.0.0.2", "127.0.0.1", 0, "127.0.0.1", false},
        {"IPv6 send address", engine::kProtocolImap4, "::1", "::1", 1, "::1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.serverAddress) == "::1" && !ipv6) continue;
        UseProtocol(c.protocol);
        engine::Settings().ipVersion = c.ipVersion;
        CaptureServer server(c.serverAddress);
        ASSERT_TRUE(server.ok());
        const int listenPort = testsupport::FreeTcpPort();
        WriteConnectTable("127.0.0.1 " + Port(listenPort) + "=" + c.sendAddress + "," + c.serverAddress + " " +
                          Port(server.port()) + "\r\n");
        const std::string before = Log();

        // Two connections at the same time from one listen port.
        ConnectionRecord* one = NewRecord(listenPort);
        ConnectionRecord* two = NewRecord(listenPort);
        std::string host1 = "mail.example.test", host2 = "mail.example.test";
        const int a = ConnectHost(one, host1, 25);
        const int b = ConnectHost(two, host2, 25);
        ASSERT_NE(a, kNoSocket) << Log();
        ASSERT_NE(b, kNoSocket) << Log();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return server.accepted() == 2; }));
        auto peers = server.peers();
        EXPECT_EQ(peers[0].address, c.expectedPeer);
        EXPECT_EQ(peers[1].address, c.expectedPeer);
        EXPECT_NE(peers[0].port, peers[1].port);
        EXPECT_NE(peers[0].port, listenPort);
        EXPECT_EQ(one->SendAddress, c.sendAddress);
        EXPECT_EQ(one->SendAddressIsIPv4, std::string(c.sendAddress).find('.') != std::string::npos ? 1 : 0);
        const std::string log = Log().substr(before.size());
        EXPECT_EQ(log.find("MyAddr=" + std::string(c.sendAddress) + "/ bind local adder failed.") != std::string::npos,
                  c.bindFails)
            << log;
        engine::CloseServerConnection(one, "UpstreamTest");
        engine::CloseServerConnection(two, "UpstreamTest");
    }
}

TEST_F(UpstreamTest, ResolvesByTheEnginesIpVersion) {
    const bool ipv6 = testsupport::HaveIPv6Loopback();
    struct Case {
        int ipVersion;
        const char* host;
        const char* listenOn;
        bool connects;
        int peerFamily;
    };
    const Case cases[] = {
        {0, "127.0.0.1", "127.0.0.1", true, AF_INET},
        {0, "localhost", "127.0.0.1", true, AF_INET},
        {0, "::1", "::1", false, 0},
        {1, "::1", "::1", true, AF_INET6},
        {1, "127.0.0.1", "127.0.0.1", false, 0},
        {2, "::1", "::1", true, AF_INET6},
        {2, "[::1]", "::1", true, AF_INET6},
        {2, "127.0.0.1", "127.0.0.1", true, AF_INET},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.ipVersion) + " " + c.host);
        if (std::string(c.listenOn) == "::1" && !ipv6) continue;
        engine::Settings().ipVersion = c.ipVersion;
        CaptureServer server(c.listenOn);
        ASSERT_TRUE(server.ok());
        ConnectionRecord* record = NewRecord();
        std::string host = c.host;
        const std::string before = Log();
        const int socket = ConnectHost(record, host, server.port());
        const std::string log = Log().substr(before.size());
        if (!c.connects) {
            EXPECT_EQ(socket, kNoSocket);
            EXPECT_NE(log.find("/ Cannot resolve address, error "), std::string::npos) << log;
            continue;
        }
        ASSERT_NE(socket, kNoSocket) << log;
        ASSERT_TRUE(testsupport::WaitUntil([&] { return server.accepted() == 1; }));
        EXPECT_EQ(server.peers()[0].family, c.peerFamily);
    }
}

TEST_F(UpstreamTest, ServerMarksAndSocketTimeOuts) {
    CaptureServer server;
    ASSERT_TRUE(server.ok());
    struct Case {
        int protocol;
        const char* marks;
        int tunnel, tls, startTls;
    };
    // A SOCKS connection keeps the flags that its own negotiation set.
    const Case cases[] = {
        {engine::kProtocolSmtp, "", 0, 0, 0},
        {engine::kProtocolPop3, "*", 1, 0, 0},
        {engine::kProtocolSmtp, "-", 0, 0, 1},
        {engine::kProtocolImap4, "*+", 1, 0, 0},
        {engine::kProtocolSocks, "-", 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.protocol) + " '" + c.marks + "'");
        UseProtocol(c.protocol);
        WriteConnectTable("127.0.0.1 8080=,127.0.0.1 " + Port(server.port()) + c.marks + "\r\n");
        ConnectionRecord* record = NewRecord();
        if (c.protocol == engine::kProtocolSocks) {
            record->DestinationEncrypted = record->ServerUseTls = record->ServerUseStartTls = 1;
        }
        std::string host = "ignored.example.test";
        const int socket = ConnectHost(record, host, 110);
        ASSERT_NE(socket, kNoSocket) << Log();
        EXPECT_EQ(host, "ignored.example.test");  // only HTTP names the server to the caller
        EXPECT_EQ(record->DestinationEncrypted, c.tunnel);
        EXPECT_EQ(record->ServerUseTls, c.tls);
        EXPECT_EQ(record->ServerUseStartTls, c.startTls);
        const engine::SocketTimeouts& t = engine::Settings().timeouts;
        EXPECT_EQ(TimeoutMs(socket, SO_SNDTIMEO), t.serverPlain);
        EXPECT_EQ(TimeoutMs(socket, SO_RCVTIMEO), c.tunnel ? t.serverTls : t.serverPlain);
        EXPECT_EQ(TimeoutMs(record->ClientSocket, SO_RCVTIMEO), c.tunnel ? t.clientTls : 0);
        EXPECT_EQ(record->Tls.server, nullptr);
    }
}

TEST_F(UpstreamTest, GivesUpAConnectThatHangsAfterTheServerTimeOut) {
    // A listener whose queue is full drops new handshakes: without a
    // time-out of its own the connect would wait for the system's minutes.
    CaptureServer unused;
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);
    engine::SocketAddress target;
    std::memcpy(&target.address, &address, sizeof address);
    target.length = sizeof address;
    std::vector<int> fillers;
    bool full = false;
    for (int i = 0; i < 16 && !full; ++i) {
        int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        fillers.push_back(s);
        full = engine::ConnectWithin(s, target, 200) == ETIMEDOUT;
    }
    if (!full) {
        for (int s : fillers) ::close(s);
        ::close(listener);
        GTEST_SKIP() << "this system does not let a full listen queue stall a connect";
    }

    engine::Settings().timeouts.serverPlain = 300;
    engine::Settings().retryCount = 2;
    ConnectionRecord* record = NewRecord();
    std::string host = "127.0.0.1";
    auto start = Clock::now();
    EXPECT_EQ(ConnectHost(record, host, port), kNoSocket);
    auto elapsed = Clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    const std::string log = Log();
    const std::string timedOut = "WSAGetLastError() = " + std::to_string(ETIMEDOUT) + "\n";
    EXPECT_EQ(Count(log, "/ Reset Socket ("), 1u) << log;
    EXPECT_EQ(Count(log, "/ Winsock connect failed. Socket="), 1u) << log;
    EXPECT_EQ(Count(log, timedOut), 2u) << log;
    for (int s : fillers) ::close(s);
    ::close(listener);
}

TEST_F(UpstreamTest, EmptyAndOverlongNames) {
    CaptureServer server;
    ASSERT_TRUE(server.ok());
    ConnectionRecord* record = NewRecord();
    std::string host = "127.0.0.1";
    const int socket = ConnectHost(record, host, server.port());
    ASSERT_NE(socket, kNoSocket);

    // An empty host ends the kept connection.
    std::string empty;
    EXPECT_EQ(ConnectHost(record, empty, server.port()), kNoSocket);
    EXPECT_EQ(record->ServerSocket, kNoSocket);
    EXPECT_EQ(record->ServerConnected, 0);
    EXPECT_NE(Log().find("Close Server socket. [" + Number4(socket) + "]"), std::string::npos);

    // A host of more than 255 characters is refused before anything else;
    // one of 255 goes to the resolver, which finds no such name.
    std::string tooLong(256, 'a');
    EXPECT_EQ(ConnectHost(record, tooLong, 80), kNoSocket);
    EXPECT_NE(Log().find("host name too long (256)"), std::string::npos);
    EXPECT_EQ(Count(Log(), "Server=" + tooLong), 0u);
    std::string longest(251, 'b');
    longest += ".test";
    longest.resize(255, 'c');
    EXPECT_EQ(ConnectHost(record, longest, 80), kNoSocket);
    EXPECT_EQ(Count(Log(), "Server=" + longest + " Port=80 / Cannot resolve address"), 1u);

    // A server name from the connection list longer than DNS allows.
    const std::string huge(900, 'x');
    WriteConnectTable("127.0.0.1 8080=," + huge + " 3128\r\n");
    std::string direct = "www.example.test";
    EXPECT_EQ(ConnectHost(record, direct, 80), kNoSocket);
    EXPECT_EQ(Count(Log(), "Server=" + huge + " Port=3128 / Cannot resolve address"), 1u);
    EXPECT_TRUE(Accepted(server, 1)) << server.accepted();
}

TEST_F(UpstreamTest, ADestinationInABlocklistIsNotConnected) {
    testsupport::Dnsmasq dns{{"address=/host.test.zone.test/127.0.0.2"}};
    testsupport::ProcessDnsServer use{dns.server()};
    CaptureServer proxy;
    ASSERT_TRUE(proxy.ok());
    struct Case {
        int protocol;
        int socksProtocol;
        const char* host;
        const char* exempt;
        bool connects;
    };
    const Case cases[] = {
        {engine::kProtocolHttp, -1, "a.host.test", "", false},
        {engine::kProtocolHttp, -1, "a.host.test", "A.Host.Test\r\n", true},
        {engine::kProtocolHttp, -1, "a.other.test", "", true},
        {engine::kProtocolSocks, engine::kProtocolHttp, "www.host.test", "", false},
        {engine::kProtocolSocks, engine::kProtocolSmtp, "www.host.test", "", true},
    };
    size_t connections = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.protocol) + " " + c.host + " " + c.exempt);
        UseProtocol(c.protocol);
        testsupport::WriteFile(engine::Settings().dnsblZoneFile, "zone.test\r\n");
        testsupport::WriteFile(engine::Settings().dnsblExceptionFile, c.exempt);
        // Through a proxy, so that the destination itself needs no address.
        WriteConnectTable("127.0.0.1 8080=,127.0.0.1 " + Port(proxy.port()) + "\r\n");
        ConnectionRecord* record = NewRecord();
        record->SocksProtocol = c.socksProtocol;
        std::string host = c.host;
        const std::string before = Log();
        const int socket = ConnectHost(record, host, 80);
        const std::string log = Log().substr(before.size());
        EXPECT_EQ(socket != kNoSocket, c.connects) << log;
        EXPECT_EQ(log.find("[Query_SURBLists] zone.test -- " + std::string(c.host) + " Hit.") != std::string::npos,
                  !c.connects)
            << log;
        if (c.connects) ++connections;
        EXPECT_TRUE(Accepted(proxy, connections));
    }
}

class UpstreamTlsTest : public UpstreamTest {
protected:
    void SetUp() override {
        UpstreamTest::SetUp();
        engine::InitTls();
        cert_ = root_ / "server.pem";
        key_ = root_ / "server.key";
        auto made = testsupport::RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                                            " -subj /CN=localhost -days 1 -keyout " + key_ + " -out " + cert_ + " 2>&1");
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }
    std::string cert_, key_;
};

TEST_F(UpstreamTlsTest, APlusMarkConnectsTlsTowardsTheServer) {
    const int port = testsupport::FreeTcpPort();
    testsupport::Process::Options options;
    testsupport::Process server({"/usr/bin/openssl", "s_server", "-accept", "127.0.0.1:" + Port(port), "-cert", cert_,
                                 "-key", key_, "-rev", "-naccept", "1"},
                                options);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return server.out().find("ACCEPT") != std::string::npos; }))
        << server.out() << server.err();
    WriteConnectTable("127.0.0.1 8080=,localhost " + Port(port) + "+,Secure upstream\r\n");
    ConnectionRecord* record = NewRecord();
    std::string host = "www.example.test";

    const int socket = ConnectHost(record, host, 80);
    ASSERT_NE(socket, kNoSocket) << Log();
    EXPECT_EQ(record->ServerUseTls, 1);
    ASSERT_NE(record->Tls.server, nullptr);
    ASSERT_EQ(engine::SecureSend(socket, record->Tls.server.get(), "upstream\n", 2000), 9);
    std::string answer;
    char buffer[256];
    for (int i = 0; i < 50 && answer.find("maertspu") == std::string::npos; ++i) {
        int n = engine::SecureRecv(socket, record->Tls.server.get(), buffer, sizeof buffer - 1, 2000);
        if (n <= 0) break;
        answer.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_NE(answer.find("maertspu"), std::string::npos) << answer;
}

TEST_F(UpstreamTlsTest, AFailedHandshakeLeavesNoServerSide) {
    CaptureServer plain;  // accepts, but never answers the TLS greeting
    ASSERT_TRUE(plain.ok());
    engine::Settings().timeouts.serverTls = 300;
    WriteConnectTable("127.0.0.1 8080=,127.0.0.1 " + Port(plain.port()) + "+\r\n");
    ConnectionRecord* record = NewRecord();
    std::string host = "www.example.test";
    EXPECT_EQ(ConnectHost(record, host, 80), kNoSocket);
    EXPECT_EQ(record->ServerSocket, kNoSocket);
    EXPECT_EQ(record->ServerConnected, 0);
    EXPECT_EQ(record->Tls.server, nullptr);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return plain.accepted() == 1 && !plain.peers()[0].open; }));
    EXPECT_NE(Log().find("/ TLS connect failed."), std::string::npos) << Log();
}

}  // namespace
}  // namespace upstreamtest
