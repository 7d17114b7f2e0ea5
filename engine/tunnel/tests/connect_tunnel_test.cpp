// CONNECT tunnels end to end: curl, socat and raw clients through a real
// orqhprx to TLS origins (openssl s_server), plain origins (socat) and an
// upstream tinyproxy, all on loopback.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/tls/tests/tls_fixture.h"
#include "engine_process.h"
#include "test_support.h"

namespace {

using listenertest::Client;
using listenertest::EngineProcess;
using namespace std::chrono_literals;

constexpr const char* kEstablished = "HTTP/1.0 200 Connection established.\r\n\r\n";

int ThreadCount(pid_t pid) {
    int count = 0;
    std::error_code ec;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec))
        ++count;
    return count;
}

std::string Sha256Of(const std::string& file) {
    auto result = testsupport::RunCommand("sha256sum < '" + file + "'");
    return result.output;
}

// Reads from the client until `text` has arrived (true) or the stream ends
// or the time runs out.
bool ReadUntil(Client& client, const std::string& text, std::string& got) {
    char buffer[4096];
    while (got.find(text) == std::string::npos) {
        if (!client.readable(10s)) return false;
        ssize_t n = ::recv(client.fd(), buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        got.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

class ConnectTunnel : public ::testing::Test {
protected:
    void SetUp() override { certificate_ = tlsfixture::MakeSelfSignedCertificate(work_.path()); }

    // The engine for HTTP on a free port; lineValue follows the listen
    // entry's sign ("=" plain, "+<cert>\t<key>=" TLS) in http.ini.
    void StartEngine(std::vector<std::pair<std::string, std::string>> files, std::vector<std::string> extra = {},
                     const std::string& lineValue = "=") {
        port_ = testsupport::FreeTcpPort();
        listenertest::EngineOptions options;
        options.extra = {"-g=1"};
        options.extra.insert(options.extra.end(), extra.begin(), extra.end());
        options.files = std::move(files);
        engine_ = std::make_unique<EngineProcess>(
            "127.0.0.1 " + std::to_string(port_) + lineValue + "\r\n", options);
        ASSERT_TRUE(testsupport::WaitForTcpPort(port_)) << engine_->log();
    }

    // openssl s_server on host (127.0.0.1 or ::1): "-www" answers a status
    // page, "-WWW" the files of the test's folder.
    int StartTlsOrigin(const std::string& mode, const std::string& host = "127.0.0.1") {
        const int port = testsupport::FreeTcpPort();
        const std::string accept = host.find(':') != std::string::npos ? "[" + host + "]:" : host + ":";
        testsupport::Process::Options options;
        options.cwd = work_.path();
        peers_.push_back(std::make_unique<testsupport::Process>(
            std::vector<std::string>{"/usr/bin/openssl", "s_server", "-accept", accept + std::to_string(port), "-cert",
                                     certificate_.certificateFile, "-key", certificate_.privateKeyFile, mode,
                                     "-quiet"},
            options));
        EXPECT_TRUE(testsupport::WaitUntil([&] { return Client(host, port).ok(); })) << mode;
        return port;
    }

    // socat serving each connection with a shell command (its standard
    // input is what the client sends, up to the client's half-close).
    int StartSocatOrigin(const std::string& command) {
        const int port = testsupport::FreeTcpPort();
        peers_.push_back(std::make_unique<testsupport::Process>(
            std::vector<std::string>{"/usr/bin/socat", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr,fork",
                                     "SYSTEM:" + command},
            testsupport::Process::Options{}));
        EXPECT_TRUE(testsupport::WaitForTcpPort(port));
        return port;
    }

    static std::string WhiteLine(int port, const std::string& host = "127.0.0.1") {
        return "https://" + host + ":" + std::to_string(port) + "/\r\n";
    }

    testsupport::CommandResult Curl(const std::string& arguments) {
        return testsupport::RunCommand("curl -sS --max-time 60 " + arguments, 90s);
    }

    std::string Proxy() const { return "http://127.0.0.1:" + std::to_string(port_); }

    std::string AccessLog() const {
        std::string text;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(engine_->dataFolder() + "ncsalog", ec))
            text += testsupport::ReadFile(entry.path());
        return text;
    }

    testsupport::TempDir work_;
    tlsfixture::CertificateFiles certificate_;
    std::vector<std::unique_ptr<testsupport::Process>> peers_;
    std::unique_ptr<EngineProcess> engine_;
    int port_ = 0;
};

// curl reaches a TLS origin through the tunnel when white.db lists it; the
// access log has the tunnel with 200 and 0 bytes. The server socket is
// closed once the tunnel ends.
TEST_F(ConnectTunnel, CurlReachesTlsOriginListedWhite) {
    const int origin = StartTlsOrigin("-www");
    StartEngine({{"white.db", "' comment\r\n" + WhiteLine(origin)}});
    auto result = Curl("-k -x " + Proxy() + " https://127.0.0.1:" + std::to_string(origin) + "/");
    EXPECT_EQ(result.exitCode, 0) << result.output << engine_->log();
    EXPECT_NE(result.output.find("s_server"), std::string::npos) << result.output;
    EXPECT_TRUE(engine_->waitForLog("[ConnectDispatch] [")) << engine_->log();
    EXPECT_TRUE(engine_->waitForLog("] Close Server socket. [")) << engine_->log();
    EXPECT_NE(engine_->log().find("] sender connect success."), std::string::npos) << engine_->log();
    EXPECT_NE(engine_->console().find(std::string("C:send:") + kEstablished), std::string::npos)
        << engine_->console();
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        return AccessLog().find("\"CONNECT 127.0.0.1:" + std::to_string(origin) + " HTTP/1.1\" 200 0") !=
               std::string::npos;
    })) << AccessLog();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// A destination the lists refuse gets no byte at all, and nothing is
// connected: the built-in entry refuses a port other than 443 that
// white.db does not list; black.db lines refuse by URL or by list key.
TEST_F(ConnectTunnel, BlackListedTargetsGetNoBytes) {
    const int origin = StartTlsOrigin("-www");
    StartEngine({{"black.db", "' comment\r\nhttps://blocked.test/\r\n127.0.0.1,connect,tcp,*.listkey.test,443\r\n"}});
    const std::string targets[] = {"127.0.0.1:" + std::to_string(origin), "blocked.test:443", "BLOCKED.TEST:443",
                                   "a.listkey.test:443"};
    int hits = 0;
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        Client client("127.0.0.1", port_);
        ASSERT_TRUE(client.ok());
        ASSERT_TRUE(client.send("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n"));
        int error = -1;
        EXPECT_EQ(client.readToEnd(error), "");
        EXPECT_EQ(error, 0);
        EXPECT_TRUE(engine_->waitForLog("] QueryDBList(CONNECT " + target + " HTTP/1.1) hit.", 1)) << engine_->log();
        ++hits;
    }
    EXPECT_EQ(engine_->count(") hit."), hits) << engine_->log();
    EXPECT_EQ(engine_->count("[ConnectHost]"), 0) << engine_->log();
}

// 50 MiB from a TLS origin through `curl -p` arrive byte for byte.
TEST_F(ConnectTunnel, LargeDownloadIsByteIdentical) {
    testsupport::WriteFile(work_ / "big.bin", tlsfixture::BinaryPattern(50 << 20, 5));
    const int origin = StartTlsOrigin("-WWW");
    StartEngine({{"white.db", WhiteLine(origin)}});
    auto result = Curl("-k -p -x " + Proxy() + " -o '" + work_ / "got.bin" + "' https://127.0.0.1:" +
                       std::to_string(origin) + "/big.bin");
    EXPECT_EQ(result.exitCode, 0) << result.output << engine_->log();
    ASSERT_TRUE(testsupport::FileExists(work_ / "got.bin"));
    EXPECT_EQ(std::filesystem::file_size(work_ / "got.bin"), 50u << 20);
    EXPECT_EQ(Sha256Of(work_ / "got.bin"), Sha256Of(work_ / "big.bin"));
}

// A client that ends its sending (socat at the end of its input) still
// gets the server's answer, which the server gives only after that end:
// the half-close reaches the server through the tunnel. Bytes sent right
// behind the CONNECT head, before the engine's reply, go to the server too.
TEST_F(ConnectTunnel, HalfCloseReachesServerAndItsAnswerComesBack) {
    std::string payload = "first line\r\n" + tlsfixture::BinaryPattern(4 << 20, 9) + "\r\n";
    testsupport::WriteFile(work_ / "payload", payload);
    const std::string digest = Sha256Of(work_ / "payload");
    const int origin = StartSocatOrigin("sha256sum");
    StartEngine({{"white.db", WhiteLine(origin)}});

    auto result = testsupport::RunCommand("socat -t 30 -T 60 - PROXY:127.0.0.1:127.0.0.1:" + std::to_string(origin) +
                                              ",proxyport=" + std::to_string(port_) + " < '" + work_ / "payload" +
                                              "'",
                                          90s);
    EXPECT_EQ(result.exitCode, 0) << result.output << engine_->log();
    EXPECT_EQ(result.output, digest) << engine_->log();

    Client client("127.0.0.1", port_);
    ASSERT_TRUE(client.ok());
    const std::string target = "127.0.0.1:" + std::to_string(origin);
    ASSERT_TRUE(client.send("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n" + payload));
    client.halfClose();
    int error = -1;
    EXPECT_EQ(client.readToEnd(error, 30s), kEstablished + digest) << engine_->log();
    EXPECT_EQ(error, 0);
}

// Through an upstream proxy (tinyproxy, named by the listen entry's line)
// the client gets the upstream's reply head, not the engine's own: its
// "200 Connection established" with its Proxy-agent line for a reachable
// origin, and its error page for one it can't reach.
TEST_F(ConnectTunnel, UpstreamProxyReplyReachesClient) {
    const int origin = StartTlsOrigin("-www");
    const int closedPort = testsupport::FreeTcpPort();
    const int upstream = testsupport::FreeTcpPort();
    testsupport::WriteFile(work_ / "tinyproxy.conf", "Port " + std::to_string(upstream) +
                                                         "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                                                         "LogLevel Info\n");
    peers_.push_back(std::make_unique<testsupport::Process>(
        std::vector<std::string>{"/usr/bin/tinyproxy", "-d", "-c", work_ / "tinyproxy.conf"}, testsupport::Process::Options{}));
    ASSERT_TRUE(testsupport::WaitForTcpPort(upstream));
    StartEngine({{"white.db", WhiteLine(origin) + WhiteLine(closedPort)}}, {},
                "=,127.0.0.1 " + std::to_string(upstream));

    auto result = Curl("-v -k -p -x " + Proxy() + " https://127.0.0.1:" + std::to_string(origin) + "/");
    EXPECT_EQ(result.exitCode, 0) << result.output << engine_->log();
    EXPECT_NE(result.output.find("< Proxy-agent: tinyproxy"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("s_server"), std::string::npos) << result.output;

    Client client("127.0.0.1", port_);
    ASSERT_TRUE(client.ok());
    const std::string target = "127.0.0.1:" + std::to_string(closedPort);
    ASSERT_TRUE(client.send("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n"));
    int error = -1;
    const std::string reply = client.readToEnd(error, 30s);
    EXPECT_EQ(reply.rfind("HTTP/1.1 500 Unable to connect\r\n", 0), 0u) << reply;
    EXPECT_NE(reply.find("tinyproxy"), std::string::npos) << reply;
    EXPECT_EQ(engine_->console().find(kEstablished), std::string::npos) << engine_->console();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// The tunnel's extra thread ends, and so does the connection's worker,
// whichever side ends the tunnel: a client that closes, or a server that
// closes while the client waits in silence. A stopping engine ends a
// tunnel that is still open.
TEST_F(ConnectTunnel, NoThreadLeftAfterEitherSideCloses) {
    const int echo = StartSocatOrigin("cat");
    const int greeter = StartSocatOrigin("printf hello");
    // An idle time-out far beyond the waits below: only the tunnel's own
    // end may end its threads.
    StartEngine({{"white.db", WhiteLine(echo) + WhiteLine(greeter)}}, {"-t=5,60000"});
    const pid_t pid = engine_->process().pid();
    // The engine at rest: the worker of the start-up probe's connection has
    // closed it, and its thread is gone once the count stays put.
    ASSERT_TRUE(engine_->waitForLog("[CloseClient] [")) << engine_->log();
    int idle = ThreadCount(pid);
    for (int still = 0; still < 5;) {
        std::this_thread::sleep_for(100ms);
        const int now = ThreadCount(pid);
        still = now == idle ? still + 1 : 0;
        idle = now;
    }

    auto open = [&](Client& client, int origin, std::string& got) {
        const std::string target = "127.0.0.1:" + std::to_string(origin);
        EXPECT_TRUE(client.send("CONNECT " + target + " HTTP/1.0\r\n\r\n"));
        EXPECT_TRUE(ReadUntil(client, kEstablished, got)) << got;
    };
    {
        Client client("127.0.0.1", port_);
        std::string got;
        open(client, echo, got);
        ASSERT_TRUE(client.send("echo me"));
        EXPECT_TRUE(ReadUntil(client, "echo me", got)) << got;
        // The worker and the client-to-server relay.
        EXPECT_TRUE(testsupport::WaitUntil([&] { return ThreadCount(pid) >= idle + 2; })) << ThreadCount(pid);
        client.close();
        EXPECT_TRUE(testsupport::WaitUntil([&] { return ThreadCount(pid) == idle; })) << ThreadCount(pid);
    }
    {
        Client client("127.0.0.1", port_);
        std::string got;
        open(client, greeter, got);
        int error = -1;
        got += client.readToEnd(error);
        EXPECT_EQ(got, kEstablished + std::string("hello"));
        EXPECT_EQ(error, 0);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return ThreadCount(pid) == idle; })) << ThreadCount(pid);
    }
    EXPECT_EQ(engine_->count("] End ServerSession("), 2) << engine_->log();
    EXPECT_EQ(engine_->count("] End ClientSession("), 2) << engine_->log();

    Client client("127.0.0.1", port_);
    std::string got;
    open(client, echo, got);
    engine_->process().terminate();
    EXPECT_EQ(engine_->process().wait(10s), 0) << engine_->log();
    EXPECT_EQ(engine_->count("] End ClientSession("), 3) << engine_->log();
    EXPECT_EQ(engine_->count("] Close Server socket. ["), 3) << engine_->log();
}

// A client on a TLS listen port speaks TLS to the engine; the tunnel
// inside carries its TLS to the origin, relayed through the engine's TLS
// layer both ways.
TEST_F(ConnectTunnel, TlsListenPortRelaysThroughTls) {
    testsupport::WriteFile(work_ / "file.bin", tlsfixture::BinaryPattern(4 << 20, 13));
    const int origin = StartTlsOrigin("-WWW");
    const auto listenCertificate = tlsfixture::MakeSelfSignedCertificate(work_.path(), "listen");
    StartEngine({{"white.db", WhiteLine(origin)}}, {},
                "+" + listenCertificate.certificateFile + "\t" + listenCertificate.privateKeyFile + "=");
    auto result = Curl("-k --proxy-insecure -p -x https://127.0.0.1:" + std::to_string(port_) + " -o '" +
                       work_ / "got.bin" + "' https://127.0.0.1:" + std::to_string(origin) + "/file.bin");
    EXPECT_EQ(result.exitCode, 0) << result.output << engine_->log();
    EXPECT_EQ(Sha256Of(work_ / "got.bin"), Sha256Of(work_ / "file.bin"));
    EXPECT_NE(engine_->log().find("SSL_accept() success"), std::string::npos) << engine_->log();
}

// "[::1]:port" is an IPv6 address and its port, not a host "[" and port ":1]".
TEST_F(ConnectTunnel, BracketedIPv6Target) {
    if (!testsupport::HaveIPv6Loopback()) GTEST_SKIP() << "no IPv6 loopback";
    const int origin = StartTlsOrigin("-www", "::1");
    StartEngine({{"white.db", WhiteLine(origin, "[::1]")}}, {"-i=2"});
    auto result = Curl("-k -x " + Proxy() + " 'https://[::1]:" + std::to_string(origin) + "/'");
    EXPECT_EQ(result.exitCode, 0) << result.output << engine_->log();
    EXPECT_NE(result.output.find("s_server"), std::string::npos) << result.output;
    EXPECT_NE(engine_->log().find("Server=[::1] Port=" + std::to_string(origin)), std::string::npos)
        << engine_->log();
}

}  // namespace
