// SOCKS CONNECT end to end: curl in every SOCKS flavour, ncat and raw
// clients through a real orqcprx to loopback origins (the test origin
// server, openssl s_server, an echo server).
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/tls/tests/tls_fixture.h"
#include "platform/ldap/tests/slapd_fixture.h"
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
using namespace std::chrono_literals;

std::string Curl(const std::string& proxyOptions, const std::string& url, int* exitCode = nullptr) {
    const auto result = testsupport::RunCommand("curl -s -k --max-time 10 " + proxyOptions + " '" + url + "'");
    if (exitCode) *exitCode = result.exitCode;
    return result.output;
}

// The origin's port as an HTTP destination, for the engine's HTTP road.
std::string HttpRow(int port) { return "'destinations\r\n*:" + std::to_string(port) + ",0,0,http\r\n"; }

TEST(SocksConnect, CurlInEveryFlavourOverTheHttpRoadAndTheTunnel) {
    listenertest::OriginServer origin;
    SocksEngine httpRoad(Files{{"socks-ptl.ini", HttpRow(origin.port())}});
    // Without a row the origin's port is of no known kind: a tunnel.
    SocksEngine tunnel(Files{{"socks-ptl.ini", "'no rows\r\n"}});
    const std::string byAddress = origin.url("length/hello");
    const std::string byName = "http://localhost:" + std::to_string(origin.port()) + "/length/hello";
    const struct {
        const char* flag;
        const std::string& url;
    } flavours[] = {{"--socks4", byAddress}, {"--socks4a", byName}, {"--socks5", byAddress}, {"--socks5-hostname", byName}};
    for (const SocksEngine* engine : {&httpRoad, &tunnel}) {
        for (const auto& flavour : flavours) {
            EXPECT_EQ(Curl(flavour.flag + " 127.0.0.1:"s + std::to_string(engine->port()), flavour.url), "hello\n")
                << flavour.flag << "\n"
                << engine->log();
        }
    }
    EXPECT_NE(httpRoad.log().find("[GetDispatch]"), std::string::npos);
    EXPECT_EQ(httpRoad.log().find("[TelnetDispatch]"), std::string::npos);
    EXPECT_EQ(tunnel.log().find("[GetDispatch]"), std::string::npos);
    EXPECT_NE(tunnel.log().find("protocol=-1"), std::string::npos);
    EXPECT_TRUE(httpRoad.waitForEmptyCache());
    EXPECT_TRUE(tunnel.waitForEmptyCache());
}

// Two HTTP origins on one port of two loopback addresses.
struct OriginPair {
    sockstest::Peer three{{"/usr/bin/python3", testsupport::SourcePath("engine/socks/tests/address_origin.py"),
                           "127.0.0.3"}};
    sockstest::Peer one{{"/usr/bin/python3", testsupport::SourcePath("engine/socks/tests/address_origin.py"),
                         "127.0.0.1", std::to_string(three.port())}};
};

// The HTTP road goes to the server the SOCKS request named, whatever the
// Host line says, asks it as an origin (a path, not an absolute URL), and
// keeps no copy that would answer for another server.
TEST(SocksConnect, HttpRoadGoesToTheAddressTheClientNamed) {
    OriginPair origins;
    const std::string port = std::to_string(origins.three.port());
    ASSERT_NE(origins.one.port(), 0) << origins.one.err();
    SocksEngine engine(Files{{"socks-ptl.ini", HttpRow(origins.three.port())},
                             {"black.db", "127.0.0.1,socks,tcp,127.0.0.4,*\r\n"}},
                       {"-m=10"});
    const std::string url = "http://localhost:" + port + "/page";
    for (const char* flag : {"--socks5", "--socks4"}) {
        SCOPED_TRACE(flag);
        const std::string proxy = flag + " 127.0.0.1:"s + std::to_string(engine.port());
        EXPECT_EQ(Curl(proxy + " --resolve localhost:" + port + ":127.0.0.3", url), "served by 127.0.0.3\n")
            << engine.log();
        EXPECT_EQ(Curl(proxy + " --resolve localhost:" + port + ":127.0.0.1", url), "served by 127.0.0.1\n")
            << engine.log();
        EXPECT_EQ(Curl(proxy + " --resolve localhost:" + port + ":127.0.0.3", url), "served by 127.0.0.3\n");
        // A Host line without a port still goes to the port the client named.
        EXPECT_EQ(Curl(proxy + " -H 'Host: localhost'", "http://127.0.0.3:" + port + "/"), "served by 127.0.0.3\n");
        // A black-listed address is refused whatever the Host line names.
        int exitCode = 0;
        EXPECT_EQ(Curl(proxy + " --resolve localhost:" + port + ":127.0.0.4", url, &exitCode), "");
        EXPECT_NE(exitCode, 0);
    }
    EXPECT_NE(engine.log().find("QueryDBList(127.0.0.1:" + std::to_string(engine.port()) + ",socks,tcp,127.0.0.4,"),
              std::string::npos);
    EXPECT_EQ(engine.log().find("GET http://localhost:" + port + "/page HTTP/1.1\r\n"), std::string::npos)
        << "a request line in absolute form went to an origin";
}

// Programs that go through SOCKS without knowing it: proxychains4 resolves
// the name in the client (no proxy_dns) and hands the engine an address,
// while the Host line names the site.
TEST(SocksConnect, ProxychainsClientsGetTheOriginsPage) {
    OriginPair origins;
    const std::string port = std::to_string(origins.three.port());
    ASSERT_NE(origins.one.port(), 0) << origins.one.err();
    SocksEngine engine(Files{{"socks-ptl.ini", HttpRow(origins.three.port())}});
    testsupport::TempDir work;
    const std::string url = "http://localhost:" + port + "/hello.txt";
    const struct {
        const char* client;
        std::string command;
        const char* body;
    } clients[] = {
        {"curl", "curl -s -4 --max-time 10 --resolve localhost:" + port + ":127.0.0.3 '" + url + "'",
         "served by 127.0.0.3\n"},
        {"wget", "wget -4 -q -T 10 -t 1 -O - '" + url + "'", "served by 127.0.0.1\n"},
    };
    for (const char* version : {"socks4", "socks5"}) {
        const std::string config = work.path() + "/" + version + ".conf";
        testsupport::WriteFile(config, "strict_chain\nquiet_mode\ntcp_read_time_out 10000\ntcp_connect_time_out 5000\n"
                                       "[ProxyList]\n"s + version + " 127.0.0.1 " + std::to_string(engine.port()) +
                                           "\n");
        for (const auto& c : clients) {
            SCOPED_TRACE(std::string(c.client) + " over " + version);
            const auto result = testsupport::RunCommand("proxychains4 -q -f " + config + " " + c.command);
            EXPECT_EQ(result.exitCode, 0) << result.output << engine.log();
            EXPECT_EQ(result.output, c.body) << engine.log();
        }
    }
}

TEST(SocksConnect, EncryptedDestinationIsTunnelledToTheTlsServer) {
    testsupport::TempDir work;
    const auto certificate = tlsfixture::MakeSelfSignedCertificate(work.path());
    const int tlsPort = testsupport::FreeTcpPort();
    testsupport::Process server({"/usr/bin/openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(tlsPort),
                                 "-cert", certificate.certificateFile, "-key", certificate.privateKeyFile, "-www",
                                 "-quiet"},
                                {});
    ASSERT_TRUE(testsupport::WaitForTcpPort(tlsPort));
    SocksEngine engine(Files{{"socks-ptl.ini", "*:" + std::to_string(tlsPort) + ",0,1,https\r\n"}});
    const std::string url = "https://localhost:" + std::to_string(tlsPort) + "/";
    for (const char* flag : {"--socks5-hostname", "--socks4a"}) {
        EXPECT_NE(Curl(flag + " 127.0.0.1:"s + std::to_string(engine.port()), url).find("s_server"),
                  std::string::npos)
            << flag << "\n"
            << engine.log();
    }
    EXPECT_NE(engine.log().find("protocol=0 encrypted=1"), std::string::npos);
    EXPECT_NE(engine.log().find("[TelnetDispatch]"), std::string::npos);
}

TEST(SocksConnect, TlsListenPortAndBytesSentAheadOfTheReply) {
    testsupport::TempDir work;
    const auto certificate = tlsfixture::MakeSelfSignedCertificate(work.path());
    auto echo = EchoServer("tcp");
    SocksEngine engine(Files{}, {},
                       "+" + certificate.certificateFile + "\t" + certificate.privateKeyFile + "=");
    const auto result = testsupport::RunCommand(
        "/usr/bin/python3 " + testsupport::SourcePath("engine/socks/tests/socks_tls_client.py") + " " +
        std::to_string(engine.port()) + " " + std::to_string(echo.port()) + " early-bytes 2>&1");
    char port[8];
    std::snprintf(port, sizeof port, "%04x", echo.port());
    EXPECT_EQ(result.output, "050005000001" "7f000001" + std::string(port) + " early-bytes\n") << engine.log();
}

TEST(SocksConnect, NcatToAnOtherKindPort) {
    auto echo = EchoServer("tcp");
    SocksEngine engine(Files{{"socks-ptl.ini", "*:" + std::to_string(echo.port()) + ",6,0,other\r\n"}});
    const auto result = testsupport::RunCommand(
        "printf 'ping through socks\\n' | timeout 10 ncat --proxy 127.0.0.1:" + std::to_string(engine.port()) +
        " --proxy-type socks5 127.0.0.1 " + std::to_string(echo.port()));
    EXPECT_EQ(result.output, "ping through socks\n") << engine.log();
    EXPECT_NE(engine.log().find("protocol=6"), std::string::npos);
}

class SocksAuthentication : public ::testing::Test {
protected:
    listenertest::OriginServer origin;
    // The origin's port is an HTTP destination: the HTTP road serves it.
    SocksEngine engine_{Files{{"socks-auth.ini", "'users\r\nu:p,User\r\nalice:secret-pw,Alice\r\n"},
                              {"socks-ptl.ini", HttpRow(origin.port())}},
                        {"-a"}};
};

// The user checked in the SOCKS negotiation is not asked again for HTTP
// proxy credentials, which a SOCKS client has no way to send.
TEST_F(SocksAuthentication, CurlWithTheRightPasswordOnly) {
    const std::string proxy = "-x socks5h://%s@127.0.0.1:" + std::to_string(engine_.port());
    auto with = [&](const char* credentials) {
        char options[256];
        std::snprintf(options, sizeof options, proxy.c_str(), credentials);
        return Curl(options, origin.url("length/hello"));
    };
    EXPECT_EQ(with("u:p"), "hello\n") << engine_.log();
    EXPECT_EQ(with("u:wrong"), "");
    EXPECT_EQ(with("nobody:p"), "");
    EXPECT_NE(engine_.log().find("SOCKS5 authentication failed. [u]"), std::string::npos);
    // SOCKS 4 has no password: it is refused outright.
    EXPECT_EQ(Curl("--socks4 127.0.0.1:" + std::to_string(engine_.port()), origin.url("length/hello")), "");
}

TEST_F(SocksAuthentication, RawExchanges) {
    std::string got;
    {
        // Only "no authentication" offered: no acceptable method, then closed.
        Client client("127.0.0.1", engine_.port());
        ASSERT_TRUE(client.send("\5\1\0"s));
        ASSERT_TRUE(ReadExactly(client, 2, got));
        EXPECT_EQ(got, "\5\xff"s);
        int error = 0;
        EXPECT_EQ(client.readToEnd(error), "");
    }
    {
        Client client("127.0.0.1", engine_.port());
        ASSERT_TRUE(client.send("\4\1\0\x50\x7f\0\0\1user\0"s));
        ASSERT_TRUE(ReadExactly(client, 8, got));
        EXPECT_EQ(got.substr(0, 2), "\0\x5b"s);
    }
    {
        // A failed check is answered with status 2 and the request never served.
        auto echo = EchoServer("tcp");
        Client client("127.0.0.1", engine_.port());
        ASSERT_TRUE(client.send("\5\1\2"s));
        ASSERT_TRUE(ReadExactly(client, 2, got));
        EXPECT_EQ(got, "\5\2"s);
        ASSERT_TRUE(client.send("\1\5alice\3bad"s + "\5\1\0\1\x7f\0\0\1"s + PortBytes(echo.port())));
        ASSERT_TRUE(ReadExactly(client, 2, got));
        EXPECT_EQ(got, "\1\2"s);
        int error = 0;
        EXPECT_EQ(client.readToEnd(error), "");
    }
    {
        // The password is checked, but never written to the request file.
        auto echo = EchoServer("tcp");
        Client client("127.0.0.1", engine_.port());
        ASSERT_TRUE(client.send("\5\1\2"s));
        ASSERT_TRUE(ReadExactly(client, 2, got));
        ASSERT_TRUE(client.send("\1\5alice\x09secret-pw"s));
        ASSERT_TRUE(ReadExactly(client, 2, got));
        EXPECT_EQ(got, "\1\0"s);
        std::string spooled;
        for (const auto& entry : std::filesystem::directory_iterator(engine_.dataFolder() + "cache"))
            spooled += testsupport::ReadFile(entry.path().string());
        EXPECT_NE(spooled.find("\5\1\2"s), std::string::npos);
        EXPECT_EQ(spooled.find("secret-pw"), std::string::npos);
        ASSERT_TRUE(client.send("\5\1\0\1\x7f\0\0\1"s + PortBytes(echo.port())));
        ASSERT_TRUE(ReadExactly(client, 10, got));
        EXPECT_EQ(got, "\5\0\0\1\x7f\0\0\1"s + PortBytes(echo.port()));
        ASSERT_TRUE(client.send("echo"));
        ASSERT_TRUE(ReadExactly(client, 4, got));
        EXPECT_EQ(got, "echo");
    }
}

TEST(SocksDirectoryAuthentication, UserAndPasswordBoundAtTheDirectory) {
    testsupport::SlapdServer slapd;
    ASSERT_TRUE(slapd.ok()) << slapd.diagnostics();
    listenertest::OriginServer origin;
    SocksEngine engine(Files{{"http-ldap.ini", "server=127.0.0.1\r\nport=" + std::to_string(slapd.port()) +
                                                   "\r\nschemadc=" + slapd.suffix() +
                                                   "\r\nretrytime=1\r\nretrymsec=100\r\n"}},
                       {"-a=1"});
    const std::string proxy = "@127.0.0.1:" + std::to_string(engine.port());
    EXPECT_EQ(Curl("-x socks5h://alice:secret" + proxy, origin.url("length/hello")), "hello\n") << engine.log();
    EXPECT_EQ(Curl("-x socks5h://alice:wrong" + proxy, origin.url("length/hello")), "");
    EXPECT_NE(engine.log().find("[LDAP_LOGON] id=<alice> ... OK.\n"), std::string::npos) << engine.log();
    EXPECT_EQ(engine.log().find("wrong"), std::string::npos) << "a password reached the log";
}

// Raw requests: every reply of the request's own length and type, and the
// refusals.
TEST(SocksConnect, RawRepliesAndRefusals) {
    auto echo = EchoServer("tcp");
    const int closedPort = testsupport::FreeTcpPort();
    const std::string echoPort = PortBytes(echo.port());
    // -i=2: destinations of either IP version; -$=1: a failed connect is not tried again.
    SocksEngine engine(Files{{"black.db", "127.0.0.1,socks,tcp,127.0.0.9,*\r\n"}}, {"-i=2", "-$=1"});
    const struct {
        const char* name;
        std::string request;
        std::string reply;
        bool relays;  // the reply is followed by the echo
    } cases[] = {
        {"domain", "\5\1\0\3\x09localhost"s + echoPort,
         "\5\0\0\3\x09localhost"s + echoPort, true},
        {"ipv4", "\5\1\0\1\x7f\0\0\1"s + echoPort, "\5\0\0\1\x7f\0\0\1"s + echoPort, true},
        {"4a with a user id", "\4\1"s + echoPort + "\0\0\0\1someone\0localhost\0"s, "\0\x5a"s + echoPort + "\0\0\0\1"s,
         true},
        {"unknown address type", "\5\1\0\7\1\2\3\4\0\x50"s, "\5\x08\0\1\0\0\0\0\0\0"s, false},
        {"black-listed v5", "\5\1\0\1\x7f\0\0\x09"s + echoPort, "\5\2\0\1\x7f\0\0\x09"s + echoPort, false},
        {"black-listed v4", "\4\1"s + echoPort + "\x7f\0\0\x09u\0"s, "\0\x5b"s + echoPort + "\x7f\0\0\x09"s, false},
        {"connect failure v5", "\5\1\0\1\x7f\0\0\1"s + PortBytes(closedPort),
         "\5\5\0\1\x7f\0\0\1"s + PortBytes(closedPort), false},
        {"connect failure v4", "\4\1"s + PortBytes(closedPort) + "\x7f\0\0\1u\0"s,
         "\0\x5c"s + PortBytes(closedPort) + "\x7f\0\0\1"s, false},
        {"unknown command v5", "\5\x09\0\1\x7f\0\0\1"s + echoPort, "\5\7\0\1\x7f\0\0\1"s + echoPort, false},
    };
    for (const auto& c : cases) {
        Client client("127.0.0.1", engine.port());
        const bool v5 = c.request[0] == 5;
        if (v5) {
            std::string method;
            ASSERT_TRUE(client.send("\5\1\0"s));
            ASSERT_TRUE(ReadExactly(client, 2, method)) << c.name;
        }
        ASSERT_TRUE(client.send(c.request)) << c.name;
        std::string got;
        ASSERT_TRUE(ReadExactly(client, c.reply.size(), got)) << c.name << "\n" << engine.log();
        EXPECT_EQ(got, c.reply) << c.name;
        if (c.relays) {
            ASSERT_TRUE(client.send("both ways"));
            ASSERT_TRUE(ReadExactly(client, 9, got)) << c.name;
            EXPECT_EQ(got, "both ways");
        } else {
            int error = 0;
            EXPECT_EQ(client.readToEnd(error), "") << c.name;
        }
    }
    if (testsupport::HaveIPv6Loopback()) {
        auto echo6 = EchoServer("tcp", "::1");
        Client client("127.0.0.1", engine.port());
        std::string got;
        ASSERT_TRUE(client.send("\5\1\0"s));
        ASSERT_TRUE(ReadExactly(client, 2, got));
        const std::string address = std::string(15, '\0') + "\1"s + PortBytes(echo6.port());
        ASSERT_TRUE(client.send("\5\1\0\4"s + address));
        ASSERT_TRUE(ReadExactly(client, 22, got));
        EXPECT_EQ(got, "\5\0\0\4"s + address);
        ASSERT_TRUE(client.send("six"));
        ASSERT_TRUE(ReadExactly(client, 3, got));
        EXPECT_EQ(got, "six");
    }
}

TEST(SocksConnect, AListenLineNamingAServerRelaysEveryConnectThere) {
    auto echo = EchoServer("tcp");
    SocksEngine engine(Files{{"socks-ptl.ini", "*:80,0,0,http\r\n"}}, {},
                       "=,127.0.0.1 " + std::to_string(echo.port()) + ",fixed");
    // Even a plain HTTP destination goes to the fixed server.
    Client client("127.0.0.1", engine.port());
    std::string got;
    ASSERT_TRUE(client.send("\4\1\0\x50\x0a\xff\xff\1u\0"s));
    ASSERT_TRUE(ReadExactly(client, 8, got)) << engine.log();
    EXPECT_EQ(got, "\0\x5a\0\x50\x0a\xff\xff\1"s);
    ASSERT_TRUE(client.send("to the fixed server"));
    ASSERT_TRUE(ReadExactly(client, 19, got));
    EXPECT_EQ(got, "to the fixed server");
}

TEST(SocksConnect, DataRangePortWithoutAPreparedChannelIsTunnelled) {
    auto echo = EchoServer("tcp");
    const std::string port = std::to_string(echo.port());
    SocksEngine engine(Files{}, {"-n=" + port + "-" + port});
    const auto result = testsupport::RunCommand("printf 'not ftp data\\n' | timeout 10 ncat --proxy 127.0.0.1:" +
                                                std::to_string(engine.port()) + " --proxy-type socks5 127.0.0.1 " +
                                                port);
    EXPECT_EQ(result.output, "not ftp data\n") << engine.log();
    EXPECT_NE(engine.log().find("protocol=-1"), std::string::npos);
}

TEST(SocksConnect, OverlongAndFilteredRequestsAreDropped) {
    SocksEngine onlyV4({}, {"-o=1"});
    {
        // A SOCKS 4 user id that never ends fills the buffer and is dropped.
        Client client("127.0.0.1", onlyV4.port());
        ASSERT_TRUE(client.send("\4\1\0\x50\x7f\0\0\1"s + std::string(20000, 'u')));
        int error = 0;
        EXPECT_EQ(client.readToEnd(error), "");
        EXPECT_TRUE(onlyV4.waitForLog("SOCKS request longer than 16384 bytes."));
    }
    {
        Client client("127.0.0.1", onlyV4.port());
        ASSERT_TRUE(client.send("\5\1\0"s));
        int error = 0;
        EXPECT_EQ(client.readToEnd(error), "");
        EXPECT_TRUE(onlyV4.waitForLog("SOCKS5 is not served (-o=1)."));
    }
}

// A destination name that spells a black-listed IPv4 address another way
// is refused as the address is.
TEST(SocksConnect, NumericSpellingsOfABlackListedAddressAreRefused) {
    SocksEngine engine(Files{{"black.db", "127.0.0.1,socks,tcp,127.88.0.1,*\r\n"}}, {"-$=1"});
    for (const std::string spelling : {"127.88.1", "2136473601", "0x7f580001", "0177.0130.0.01", "127.88.0.001"}) {
        Client client("127.0.0.1", engine.port());
        std::string got;
        ASSERT_TRUE(client.send("\5\1\0"s));
        ASSERT_TRUE(ReadExactly(client, 2, got)) << engine.log();
        const std::string destination = "\3"s + static_cast<char>(spelling.size()) + spelling + PortBytes(80);
        ASSERT_TRUE(client.send("\5\1\0"s + destination));
        ASSERT_TRUE(ReadExactly(client, 2, got)) << spelling << engine.log();
        EXPECT_EQ(got, "\5\2"s) << spelling << engine.log();
    }
}

}  // namespace
