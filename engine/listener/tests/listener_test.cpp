// The connection road end to end: a real orqhprx on loopback ports, served
// by curl and by raw clients that send requests in chosen pieces.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <regex>
#include <thread>
#include <string>
#include <vector>

#include "engine_process.h"
#include "platform/dns/tests/dnsmasq_fixture.h"
#include "test_support.h"

namespace {

using listenertest::Client;
using listenertest::EngineProcess;
using namespace std::chrono_literals;

// Whatever the dispatcher answers begins so.
const char kReplyStart[] = "HTTP/1.";
// The origin's answer, relayed.
const char kReplyBody[] = "hello\n";

const listenertest::OriginServer& Origin() {
    static const listenertest::OriginServer origin;
    return origin;
}

// The request text with every "ORIGIN" replaced by the origin's host:port.
std::string ToOrigin(std::string text) {
    const std::string hostPort = "127.0.0.1:" + std::to_string(Origin().port());
    for (std::size_t at = text.find("ORIGIN"); at != std::string::npos; at = text.find("ORIGIN", at))
        text.replace(at, 6, hostPort);
    return text;
}

std::string ListenLine(const std::string& address, int port) {
    return address + " " + std::to_string(port) + "=\r\n";
}

listenertest::EngineOptions Extra(std::vector<std::string> extra, int fileLimit = 0) {
    listenertest::EngineOptions options;
    options.extra = std::move(extra);
    options.fileLimit = fileLimit;
    return options;
}

std::string Curl(const std::string& arguments) {
    return testsupport::RunCommand("curl -sS --max-time 10 " + arguments, 15s).output;
}

TEST(Listener, PlainListenLineServesCurl) {
    int port = testsupport::FreeTcpPort();
    EngineProcess engine(ListenLine("127.0.0.1", port));
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();

    std::string reply = Curl("-x http://127.0.0.1:" + std::to_string(port) + " " + Origin().url());
    EXPECT_NE(reply.find(kReplyBody), std::string::npos) << reply << engine.log();
    EXPECT_TRUE(engine.waitForLog("Connect from [127.0.0.1]")) << engine.log();
    EXPECT_TRUE(engine.waitForLog("[CloseClient]")) << engine.log();
    EXPECT_TRUE(engine.waitForEmptyCache()) << engine.log();
}

// Every listen line may carry its own port; IPv6 entries serve IPv6
// clients when -i allows them (where the machine has an IPv6 loopback).
TEST(Listener, EntriesWithTheirOwnPortsAndFamilies) {
    const bool ipv6 = testsupport::HaveIPv6Loopback();
    int first = testsupport::FreeTcpPort(), second = testsupport::FreeTcpPort(), third = testsupport::FreeTcpPort();
    std::string lines = ListenLine("127.0.0.1", first) + ListenLine("127.0.0.1", second);
    std::vector<std::string> proxies = {"127.0.0.1:" + std::to_string(first), "127.0.0.1:" + std::to_string(second)};
    if (ipv6) {
        lines += ListenLine("::1", third);
        proxies.push_back("[::1]:" + std::to_string(third));
    }
    EngineProcess engine(lines, Extra({"-i=2"}));
    ASSERT_TRUE(testsupport::WaitForTcpPort(first)) << engine.log();
    ASSERT_TRUE(testsupport::WaitForTcpPort(second)) << engine.log();
    for (const std::string& proxy : proxies) {
        std::string reply = Curl("-x http://" + proxy + " " + Origin().url());
        EXPECT_NE(reply.find(kReplyBody), std::string::npos) << proxy << "\n" << reply << engine.log();
    }
    if (ipv6) {
        EXPECT_TRUE(engine.waitForLog("Connect from [::1]")) << engine.log();
    }
}

// An address typed with full-width digits (as the file holds it, in code
// page 932) is no address: the engine says so and serves the other lines.
TEST(Listener, LineWithoutAnAddressIsLoggedAndTheOthersServe) {
    const std::string fullWidth = "\x82\x50\x82\x51\x82\x56\x81\x44\x82\x4f\x81\x44\x82\x4f\x81\x44\x82\x50";
    int unusable = testsupport::FreeTcpPort(), port = testsupport::FreeTcpPort();
    EngineProcess engine(ListenLine(fullWidth, unusable) + ListenLine("127.0.0.1", port));
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();
    EXPECT_TRUE(engine.waitForLog("[AcceptClients] not an IPv4 or IPv6 address, not listened on: " + fullWidth + " " +
                                  std::to_string(unusable)))
        << engine.log();
    std::string reply = Curl("-x http://127.0.0.1:" + std::to_string(port) + " " + Origin().url());
    EXPECT_NE(reply.find(kReplyBody), std::string::npos) << reply << engine.log();
}

TEST(Listener, OnlyIPv6EntriesWithIPv4ListenersEndTheEngine) {
    int port = testsupport::FreeTcpPort();
    EngineProcess engine(ListenLine("::1", port), Extra({"-i=0"}));
    EXPECT_EQ(engine.process().wait(10s), 0) << engine.log();
    EXPECT_EQ(engine.count("[AcceptClients] listen="), 0) << engine.log();
    EXPECT_EQ(engine.count("select() failed. WSAGetLastError() = WSAEINVAL"), 1) << engine.log();
}

// Two idle clients fill a limit of 2; a third is reset without a byte, and
// once one of the two has gone a new client is served again.
TEST(Listener, ConnectionLimitResetsTheClientOverIt) {
    int port = testsupport::FreeTcpPort();
    EngineProcess engine(ListenLine("127.0.0.1", port), Extra({"-c=2", "-t=5,20000"}));
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();
    // WaitForTcpPort's own probe is a client too: let it end first.
    ASSERT_TRUE(engine.waitForLog("] end.")) << engine.log();

    Client a("127.0.0.1", port), b("127.0.0.1", port);
    ASSERT_TRUE(a.ok() && b.ok());
    ASSERT_TRUE(engine.waitForLog("] START [", 2)) << engine.log();

    Client c("127.0.0.1", port);
    ASSERT_TRUE(c.ok());
    int error = 0;
    std::string got = c.readToEnd(error);
    EXPECT_EQ(got, "");
    EXPECT_EQ(error, ECONNRESET);
    EXPECT_EQ(engine.count("Request exceeded. (Connection limit = 2)"), 1) << engine.log();

    a.close();
    ASSERT_TRUE(engine.waitForLog("] end.", 3)) << engine.log();  // the probe, c and a
    std::string reply = Curl("-x http://127.0.0.1:" + std::to_string(port) + " " + Origin().url());
    EXPECT_NE(reply.find(kReplyBody), std::string::npos) << reply << engine.log();
    EXPECT_EQ(engine.count("Request exceeded."), 1) << engine.log();
}

struct Piece {
    std::string bytes;
    bool replyFollows;  // the reply must come after this piece (else it must not yet)
};

struct CompletionCase {
    const char* name;
    std::vector<Piece> pieces;
    bool replyAfterHalfClose;  // nothing ends the request but the client's end of sending
    const char* replyStart = kReplyStart;
};

void PrintTo(const CompletionCase& c, std::ostream* os) { *os << c.name; }

const CompletionCase kCompletionCases[] = {
    {"PostInPieces",
     {{"POST http://ORIGIN/ HTTP/1.0\r\nContent-Length: 10\r\n\r\n0123", false}, {"456", false}, {"789", true}},
     false},
    {"GetWithExtraBytes", {{"GET http://ORIGIN/ HTTP/1.0\r\n\r\nGET http://ORIGIN/ HTTP/1.0\r\n", true}}, false},
    {"ChunkedUpload",
     {{"POST http://ORIGIN/ HTTP/1.1\r\nHost: ORIGIN\r\nTransfer-Encoding: chunked\r\n\r\n", false},
      {"5\r\nhello\r\n", false},
      {"0\r\n", false},
      {"\r\n", true}},
     false},
    {"PostWithoutLengthEndsAtHead", {{"POST http://ORIGIN/ HTTP/1.0\r\n\r\n", true}}, false},
    {"BareLfHeadEndsAtItsEmptyLine", {{"GET http://ORIGIN/ HTTP/1.0\nHost: ORIGIN\n\n", true}}, false},
    // A head the client stops sending before its end is not served as if whole.
    {"HeadCutByTheClientsEnd", {{"GET http://ORIGIN/ HTTP/1.0\r\nHost: ORIGIN\r\n", false}}, true,
     "HTTP/1.1 400 Bad Request\r\n"},
};

class RequestCompletionRoad : public testing::TestWithParam<CompletionCase> {};

TEST_P(RequestCompletionRoad, ReplyComesOnlyOnceTheRequestIsWhole) {
    const CompletionCase& c = GetParam();
    int port = testsupport::FreeTcpPort();
    EngineProcess engine(ListenLine("127.0.0.1", port), Extra({"-t=5,20000"}));
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();

    Client client("127.0.0.1", port);
    ASSERT_TRUE(client.ok());
    for (std::size_t i = 0; i < c.pieces.size(); ++i) {
        ASSERT_TRUE(client.send(ToOrigin(c.pieces[i].bytes)));
        EXPECT_EQ(client.readable(c.pieces[i].replyFollows ? 10000ms : 300ms), c.pieces[i].replyFollows)
            << "after piece " << i << "\n" << engine.log();
    }
    if (c.replyAfterHalfClose) client.halfClose();
    int error = -1;
    std::string reply = client.readToEnd(error);
    EXPECT_EQ(reply.rfind(c.replyStart, 0), 0u) << reply << engine.log();
    EXPECT_EQ(error, 0) << "the connection must end in order, not by a reset";
    EXPECT_TRUE(engine.waitForEmptyCache()) << engine.log();
}

INSTANTIATE_TEST_SUITE_P(Cases, RequestCompletionRoad, testing::ValuesIn(kCompletionCases),
                         [](const testing::TestParamInfo<CompletionCase>& info) { return info.param.name; });

int ReceivedBytes(const std::string& log) {
    static const std::regex line(R"(C:recv:(\d+) bytes\.\n)");
    int total = 0;
    for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it) total += std::stoi((*it)[1]);
    return total;
}

TEST(Listener, LargeUploadArrivesWholeBeforeTheReply) {
    testsupport::TempDir dir;
    const std::string body(1 << 20, 'u');
    testsupport::WriteFile(dir / "body", body);
    int port = testsupport::FreeTcpPort();
    EngineProcess engine(ListenLine("127.0.0.1", port), Extra({"-t=5,20000"}));
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();
    ASSERT_TRUE(engine.waitForLog("] end.")) << engine.log();

    std::string reply = Curl("-i -x http://127.0.0.1:" + std::to_string(port) + " -H 'Expect:' --data-binary @" +
                             (dir / "body") + " " + Origin().url());
    EXPECT_EQ(reply.rfind(kReplyStart, 0), 0u) << reply;
    EXPECT_GT(ReceivedBytes(engine.log()), static_cast<int>(body.size()));
    EXPECT_TRUE(engine.waitForEmptyCache()) << engine.log();
}

// Keep-alive serves requests one after another on one connection; when the
// client leaves, the connection ends rather than serving empty requests.
TEST(Listener, KeepAliveServesTwoRequestsThenEnds) {
    int port = testsupport::FreeTcpPort();
    EngineProcess engine(ListenLine("127.0.0.1", port), Extra({"-!=0", "-t=5,20000"}));
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();
    ASSERT_TRUE(engine.waitForLog("] end.")) << engine.log();

    std::string output = testsupport::RunCommand("curl -sv --max-time 10 -x http://127.0.0.1:" +
                                                     std::to_string(port) +
                                                     " " + Origin().url() + " " + Origin().url(),
                                                 15s)
                             .output;
    EXPECT_NE(output.find("Re-using existing connection"), std::string::npos) << output;
    ASSERT_TRUE(engine.waitForLog("] end.", 2)) << engine.log();
    EXPECT_EQ(engine.count("] START ["), 2) << engine.log();  // the port probe and curl's one connection
    EXPECT_EQ(engine.count("Start Proxy_Dispatch()"), 2) << engine.log();
    // The server connection kept for the client ends with it.
    EXPECT_EQ(engine.count("[PROXYMain] ["), 1) << engine.log();
    EXPECT_EQ(engine.count("Close Server socket."), 1) << engine.log();
    EXPECT_TRUE(engine.waitForEmptyCache()) << engine.log();
}

// Requests a client sends before the answers to the earlier ones are each
// answered in turn, however the bytes are cut into receives; the last one
// (HTTP/1.0, no keep-alive) ends the connection.
TEST(Listener, PipelinedRequestsAreAllAnswered) {
    int port = testsupport::FreeTcpPort();
    EngineProcess engine(ListenLine("127.0.0.1", port), Extra({"-!=0", "-t=5,20000"}));
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();
    const std::string keep = ToOrigin("GET http://ORIGIN/length/hello HTTP/1.1\r\nProxy-Connection: keep-alive\r\n\r\n");
    const std::string last = ToOrigin("GET http://ORIGIN/length/hello HTTP/1.0\r\n\r\n");
    const struct {
        const char* name;
        std::vector<std::string> sends;
    } cases[] = {
        {"all in one send", {keep + keep + last}},
        {"next head cut inside a line", {keep + keep.substr(0, 20), keep.substr(20) + last}},
        {"next head cut before its empty line", {keep + keep.substr(0, keep.size() - 2), "\r\n" + last}},
    };
    for (const auto& c : cases) {
        Client client("127.0.0.1", port);
        ASSERT_TRUE(client.ok()) << c.name;
        for (const std::string& bytes : c.sends) {
            ASSERT_TRUE(client.send(bytes)) << c.name;
            std::this_thread::sleep_for(50ms);
        }
        int error = -1;
        std::string replies = client.readToEnd(error);
        EXPECT_EQ(error, 0) << c.name << replies;
        int answered = 0;
        for (std::size_t at = replies.find(kReplyBody); at != std::string::npos; at = replies.find(kReplyBody, at + 1))
            ++answered;
        EXPECT_EQ(answered, 3) << c.name << replies << engine.log();
    }
    EXPECT_TRUE(engine.waitForEmptyCache()) << engine.log();
}

}  // namespace

namespace {

// A self-signed certificate and key made by openssl for one test.
struct TestCertificate {
    testsupport::TempDir dir;
    std::string certificate = dir / "cert.pem";
    std::string key = dir / "key.pem";
    TestCertificate() {
        auto made = testsupport::RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost"
                                            " -keyout " + key + " -out " + certificate, 60s);
        EXPECT_EQ(made.exitCode, 0) << made.output;
    }
};

std::string TlsListenLine(int port, const std::string& certificate, const std::string& key) {
    return "127.0.0.1 " + std::to_string(port) + "+" + certificate + "\t" + key + "=\r\n";
}

TEST(ListenerTls, TlsPortServesHandshakeAndRequests) {
    TestCertificate cert;
    int tls = testsupport::FreeTcpPort(), broken = testsupport::FreeTcpPort();
    EngineProcess engine(TlsListenLine(tls, cert.certificate, cert.key) + "127.0.0.1 " + std::to_string(broken) +
                             "+=\r\n",
                         Extra({"-t=5,20000,5000,5000"}));
    ASSERT_TRUE(testsupport::WaitForTcpPort(tls)) << engine.log();

    auto handshake = testsupport::RunCommand("printf '" + ToOrigin("GET http://ORIGIN/length/hello HTTP/1.0") +
                                                 "\\r\\n\\r\\n' | openssl s_client "
                                             "-connect 127.0.0.1:" + std::to_string(tls) + " -ign_eof",
                                             20s);
    EXPECT_NE(handshake.output.find("Verify return code"), std::string::npos) << handshake.output;
    EXPECT_NE(handshake.output.find(kReplyBody), std::string::npos) << handshake.output << engine.log();

    std::string viaCurl = Curl("--proxy https://127.0.0.1:" + std::to_string(tls) +
                               " --proxy-insecure " + Origin().url());
    EXPECT_NE(viaCurl.find(kReplyBody), std::string::npos) << viaCurl << engine.log();

    // A TLS line without certificate and key refuses its clients.
    Client refused("127.0.0.1", broken);
    ASSERT_TRUE(refused.ok());
    int error = -1;
    refused.readToEnd(error);
    EXPECT_TRUE(engine.waitForLog("Reject Open SSL failed [127.0.0.1]")) << engine.log();
    EXPECT_TRUE(engine.waitForEmptyCache()) << engine.log();
}

// With the TLS time-outs -p sets (10 ms for clients), a client whose
// handshake starts a little late over a slow network is still served.
TEST(ListenerTls, HandshakeGetsMoreThanTheShortTlsDefault) {
    TestCertificate cert;
    int tls = testsupport::FreeTcpPort();
    EngineProcess engine(TlsListenLine(tls, cert.certificate, cert.key));
    ASSERT_TRUE(testsupport::WaitForTcpPort(tls)) << engine.log();

    const std::string script =
        "import socket, ssl, sys, time\n"
        "s = socket.create_connection(('127.0.0.1', " + std::to_string(tls) + "))\n"
        "time.sleep(0.3)\n"
        "c = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)\n"
        "c.check_hostname = False\n"
        "c.verify_mode = ssl.CERT_NONE\n"
        "t = c.wrap_socket(s)\n"
        "t.sendall(sys.argv[1].encode() + b'\\r\\n\\r\\n')\n"
        "data = b''\n"
        "while True:\n"
        "    piece = t.recv(65536)\n"
        "    if not piece: break\n"
        "    data += piece\n"
        "sys.stdout.write(data.decode('latin-1'))\n";
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "late_client.py", script);
    auto reply = testsupport::RunCommand("/usr/bin/python3 " + (dir / "late_client.py") + " '" +
                                             ToOrigin("GET http://ORIGIN/length/hello HTTP/1.0") + "'",
                                         20s);
    EXPECT_NE(reply.output.find(kReplyBody), std::string::npos) << reply.output << engine.log();
}

// A client that never starts its handshake holds up only itself.
TEST(ListenerTls, IdleHandshakeDoesNotDelayOtherClients) {
    TestCertificate cert;
    int tls = testsupport::FreeTcpPort(), plain = testsupport::FreeTcpPort();
    EngineProcess engine(TlsListenLine(tls, cert.certificate, cert.key) + ListenLine("127.0.0.1", plain),
                         Extra({"-t=5,20000,20000,20000"}));
    ASSERT_TRUE(testsupport::WaitForTcpPort(plain)) << engine.log();

    Client idle("127.0.0.1", tls);
    ASSERT_TRUE(idle.ok());
    ASSERT_TRUE(engine.waitForLog("Connect from [127.0.0.1]")) << engine.log();

    auto start = std::chrono::steady_clock::now();
    std::string viaTls = Curl("--proxy https://127.0.0.1:" + std::to_string(tls) +
                              " --proxy-insecure " + Origin().url());
    std::string viaPlain = Curl("-x http://127.0.0.1:" + std::to_string(plain) + " " + Origin().url());
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_NE(viaTls.find(kReplyBody), std::string::npos) << viaTls << engine.log();
    EXPECT_NE(viaPlain.find(kReplyBody), std::string::npos) << viaPlain << engine.log();
    EXPECT_LT(took, 10s);
    EXPECT_FALSE(idle.readable(0ms)) << "the idle client is still waiting for its handshake";
}

}  // namespace

namespace {

// Out of descriptors, the listener pauses instead of spinning on the
// client it can't take, and serves again once descriptors are free.
TEST(Listener, OutOfDescriptorsPausesAndRecovers) {
    int port = testsupport::FreeTcpPort();
    EngineProcess engine(ListenLine("127.0.0.1", port), Extra({"-t=5,20000"}, 48));
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();

    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 64; ++i) idle.push_back(std::make_unique<Client>("127.0.0.1", port));
    ASSERT_TRUE(engine.waitForLog("[AcceptClients] WSAEMFILE")) << engine.log();
    std::this_thread::sleep_for(1s);
    EXPECT_LT(engine.count("[AcceptClients] WSAEMFILE"), 40);

    idle.clear();
    std::string reply;
    EXPECT_TRUE(testsupport::WaitUntil(
        [&] {
            reply = Curl("-x http://127.0.0.1:" + std::to_string(port) + " " + Origin().url());
            return reply.find(kReplyBody) != std::string::npos;
        },
        20s))
        << reply << engine.log();
}

}  // namespace

namespace {

// Admission runs before anything is read from the client: a refused client
// sends nothing and hears nothing but the end of the connection.
TEST(ListenerAdmission, RefusedClientIsClosedBeforeAnyRead) {
    int port = testsupport::FreeTcpPort();
    listenertest::EngineOptions options = Extra({"-t=5,20000"});
    options.files = {{"http-con.ini", "' admitted\r\n127.0.0.1\r\n"}};
    EngineProcess engine(ListenLine("127.0.0.1", port), options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();

    Client refused("127.0.0.1", port, "127.0.0.2");
    ASSERT_TRUE(refused.ok());
    int error = -1;
    EXPECT_EQ(refused.readToEnd(error), "");
    EXPECT_EQ(error, 0);
    EXPECT_EQ(engine.count("Reject QueryConnectPerimisson() [127.0.0.2]"), 1) << engine.log();
    EXPECT_EQ(engine.count("C:recv"), 0) << engine.log();

    std::string curl = "curl -sS --max-time 10 -x http://127.0.0.1:" + std::to_string(port);
    EXPECT_NE(testsupport::RunCommand(curl + " --interface 127.0.0.2 " + Origin().url(), 15s).exitCode, 0);
    EXPECT_NE(Curl("-x http://127.0.0.1:" + std::to_string(port) + " " + Origin().url()).find(kReplyBody),
              std::string::npos)
        << engine.log();
}

// A client listed in a zone of http-conbl.db is refused; one on
// http-conwl.db is served without a question to any zone.
TEST(ListenerAdmission, BlocklistZoneRefusesListedClientsAndSparesExemptOnes) {
    testsupport::Dnsmasq dns({"address=/2.0.0.127.bl.test/127.0.0.2", "address=/3.0.0.127.bl.test/127.0.0.2"});
    int port = testsupport::FreeTcpPort();
    listenertest::EngineOptions options = Extra({"-t=5,20000"});
    options.files = {{"http-conbl.db", "bl.test\r\n"}, {"http-conwl.db", "127.0.0.3\r\n"}};
    options.env = {{"VELQOR_DNS_SERVER", dns.server()}};
    EngineProcess engine(ListenLine("127.0.0.1", port), options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();
    ASSERT_TRUE(engine.waitForLog("] end.")) << engine.log();  // the port probe, asked about too
    dns.Forget();

    std::string curl = "curl -sS --max-time 10 -x http://127.0.0.1:" + std::to_string(port);
    EXPECT_NE(testsupport::RunCommand(curl + " --interface 127.0.0.2 " + Origin().url(), 15s).exitCode, 0);
    EXPECT_TRUE(engine.waitForLog("Reject Query_DNSBL() [127.0.0.2]")) << engine.log();
    EXPECT_EQ(testsupport::RunCommand(curl + " --interface 127.0.0.3 " + Origin().url(), 15s).output, kReplyBody)
        << engine.log();
    EXPECT_EQ(dns.Questions(), std::vector<std::string>{"A 2.0.0.127.bl.test"});
    EXPECT_EQ(engine.count("Reject Query_DNSBL()"), 1) << engine.log();
}

// A DNS server that never answers: every question to it runs into the
// resolver's time-out.
class SilentDnsServer {
public:
    SilentDnsServer() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentDnsServer() { ::close(fd_); }
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int fd_;
    int port_;
};

// The blocklist look-up of one client waits for its zone in that client's
// own worker; a client exempt from the zones is served meanwhile.
TEST(ListenerAdmission, SlowBlocklistZoneDelaysOnlyItsClient) {
    SilentDnsServer dns;
    int port = testsupport::FreeTcpPort();
    listenertest::EngineOptions options = Extra({"-t=5,20000"});
    options.files = {{"http-conbl.db", "zone.test\r\n"}, {"http-conwl.db", "127.0.0.1\r\n"}};
    // The silent zone costs a fixed 20 s whatever the machine's resolver
    // options say, so a served client that took far less can't have waited
    // behind it, however slow the machine is.
    options.env = {{"VELQOR_DNS_SERVER", dns.server()}, {"RES_OPTIONS", "timeout:20 attempts:1"}};
    EngineProcess engine(ListenLine("127.0.0.1", port), options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();

    Client waiting("127.0.0.1", port, "127.0.0.2");
    ASSERT_TRUE(waiting.ok());
    ASSERT_TRUE(engine.waitForLog("Connect from [127.0.0.2]")) << engine.log();

    auto start = std::chrono::steady_clock::now();
    std::string reply = Curl("-x http://127.0.0.1:" + std::to_string(port) + " " + Origin().url());
    EXPECT_NE(reply.find(kReplyBody), std::string::npos) << reply << engine.log();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(engine.count("not found list"), 0) << "the zone has not answered yet\n" << engine.log();
}

}  // namespace

namespace {

TEST(ListenerAdmission, ProxyUsersPassOrGetTheAuthenticationReply) {
    int port = testsupport::FreeTcpPort();
    listenertest::EngineOptions options = Extra({"-a", "-t=5,20000"});
    options.files = {{"http-auth.ini", "alice:secret,Alice\r\n"}};
    EngineProcess engine(ListenLine("127.0.0.1", port), options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();

    const std::string proxy = "-x http://127.0.0.1:" + std::to_string(port);
    EXPECT_NE(Curl(proxy + " --proxy-user alice:secret " + Origin().url()).find(kReplyBody), std::string::npos)
        << engine.log();
    for (const char* user : {"alice:wrong", "bob:secret"}) {
        std::string reply = Curl(proxy + " -i --proxy-user " + user + " " + Origin().url());
        EXPECT_EQ(reply.rfind("HTTP/1.1 407 Proxy Authentication Required", 0), 0u) << user << "\n" << reply;
    }
    std::string anonymous = Curl(proxy + " -i " + Origin().url());
    EXPECT_EQ(anonymous.rfind("HTTP/1.1 407", 0), 0u) << anonymous;

    // Credentials after a header line as long as the engine's line buffer
    // (its CR LF read on its own) are still found.
    Client client("127.0.0.1", port);
    ASSERT_TRUE(client.ok());
    const std::string pad = "X-Pad: " + std::string(16384 - 7, 'p') + "\r\n";
    ASSERT_TRUE(client.send(ToOrigin("GET http://ORIGIN/length/hello HTTP/1.0\r\n") + pad +
                            "Proxy-Authorization: Basic YWxpY2U6c2VjcmV0\r\n\r\n"));
    int error = -1;
    std::string reply = client.readToEnd(error);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply.substr(0, 200);
    EXPECT_TRUE(engine.waitForEmptyCache()) << engine.log();
}

}  // namespace
