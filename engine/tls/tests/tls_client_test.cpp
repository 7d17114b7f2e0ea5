// The TLS connect against openssl s_server.
#include "engine/tls/tests/tls_test_base.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <vector>

using namespace std::chrono_literals;
using testing::HasSubstr;
using testsupport::Process;
using namespace tlsfixture;

namespace {

class TlsClientTest : public TlsTest {
protected:
    // s_server ends when its input ends; a FIFO opened for reading and
    // writing keeps its input open and empty.
    std::unique_ptr<Process> StartServer(int port, const std::string& options) {
        const std::string fifo = dir / "server-input";
        ::mkfifo(fifo.c_str(), 0600);
        auto server = std::make_unique<Process>(
            std::vector<std::string>{"/bin/sh", "-c",
                                     "exec openssl s_server -accept 127.0.0.1:" + std::to_string(port) + " -cert '" +
                                         cert.certificateFile + "' -key '" + cert.privateKeyFile + "' " + options +
                                         " 0<>'" + fifo + "'"},
            Process::Options{{}, dir.path(), true});
        if (!testsupport::WaitForTcpPort(port, 20s)) ADD_FAILURE() << "s_server did not start: " << server->err();
        return server;
    }

    CertificateFiles cert = MakeSelfSignedCertificate(dir.path());
};

TEST_F(TlsClientTest, SendsBinaryDataIntact) {
    int port = testsupport::FreeTcpPort();
    auto server = StartServer(port, "-quiet");
    Fd socket = ConnectLoopback(port);
    ASSERT_GE(socket.get(), 0);

    testing::internal::CaptureStderr();
    engine::TlsSessionPtr session = engine::OpenSSLClient(socket.get(), kPatience);
    std::string log = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(session) << log << server->err();
    EXPECT_THAT(log, HasSubstr(SocketLine("[OpenSSLClient] SOCKET=%d start.\n", socket.get())));
    EXPECT_THAT(log, HasSubstr(SocketLine("[OpenSSLClient] SOCKET=%d SSL_connect() success.\n", socket.get())));

    const std::string data = BinaryPattern((1 << 20) + 5, 7);
    EXPECT_EQ(engine::SecureSendData(socket.get(), session.get(), data.data(), data.size(), kPatience),
              static_cast<ssize_t>(data.size()));
    EXPECT_EQ(engine::SecureSend(socket.get(), session.get(), "END\r\n", kPatience), 5);
    const std::string expected = data + "END\r\n";
    EXPECT_TRUE(testsupport::WaitUntil([&] { return server->out().size() >= expected.size(); }, 30s))
        << server->out().size();
    EXPECT_TRUE(server->out() == expected);
    engine::CloseTls(session);
}

TEST_F(TlsClientTest, ReceivesLargeFileIntactAndNamesTheServer) {
    const std::string file = BinaryPattern((3 << 20) + 11, 3);
    testsupport::WriteFile(dir / "blob.bin", file);
    int port = testsupport::FreeTcpPort();
    // Two connections: the start-up probe and this test's; s_server then
    // ends, which writes out what it printed.
    auto server = StartServer(port, "-WWW -naccept 2 -servername localhost -cert2 '" + cert.certificateFile +
                                        "' -key2 '" + cert.privateKeyFile + "'");
    Fd socket = ConnectLoopback(port);
    ASSERT_GE(socket.get(), 0);
    engine::TlsSessionPtr session = engine::OpenSSLClient(socket.get(), kPatience, "localhost");
    ASSERT_TRUE(session) << server->err();

    EXPECT_GT(engine::SecureSend(socket.get(), session.get(), "GET /blob.bin HTTP/1.0\r\n\r\n", kPatience), 0);
    std::string received = ReceiveUpTo(socket.get(), session.get());
    size_t head = received.find("\r\n\r\n");
    ASSERT_NE(head, std::string::npos) << received.substr(0, 200);
    EXPECT_THAT(received.substr(0, head), HasSubstr(" 200 "));
    EXPECT_EQ(received.size() - head - 4, file.size());
    EXPECT_TRUE(received.compare(head + 4, std::string::npos, file) == 0);
    engine::CloseTls(session);
    EXPECT_EQ(server->wait(20s), 0);
    EXPECT_THAT(server->out(), HasSubstr("Hostname in TLS extension: \"localhost\""));
}

TEST_F(TlsClientTest, FailedConnectsAreLoggedAndGiveNoSession) {
    struct Case {
        const char* name;
        const char* serverSays;  // null: the server never answers
        int timeoutMs;
    } cases[] = {
        {"server speaks plain SMTP", "220 mail.example ESMTP ready\r\n", kPatience},
        // Accepted by the system, never answered: the connect must give up
        // at its time-out.
        {"server stays silent", nullptr, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackListener listener;
        Fd socket = ConnectLoopback(listener.port());
        ASSERT_GE(socket.get(), 0);
        Fd far;
        if (c.serverSays) {
            far = listener.Accept();
            ASSERT_GT(::send(far.get(), c.serverSays, std::strlen(c.serverSays), MSG_NOSIGNAL), 0);
        }

        auto start = std::chrono::steady_clock::now();
        testing::internal::CaptureStderr();
        engine::TlsSessionPtr session = engine::OpenSSLClient(socket.get(), c.timeoutMs);
        std::string log = testing::internal::GetCapturedStderr();
        auto elapsed = std::chrono::steady_clock::now() - start;

        EXPECT_FALSE(session);
        EXPECT_THAT(log, HasSubstr(SocketLine("[OpenSSLClient] SOCKET=%d SSL_connect() failed.\n", socket.get())));
        EXPECT_LT(elapsed, 10s);
        if (!c.serverSays) {
            EXPECT_GE(elapsed, 250ms);
        }
    }
}

}  // namespace
