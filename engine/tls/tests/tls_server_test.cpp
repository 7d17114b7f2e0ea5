// The TLS accept against openssl s_client.
#include "engine/tls/tests/tls_test_base.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <vector>

using namespace std::chrono_literals;
using testing::HasSubstr;
using testsupport::Process;
using namespace tlsfixture;

namespace {

std::vector<std::string> SClient(int port, const std::string& options, const std::string& input) {
    return {"/bin/sh", "-c",
            "exec openssl s_client -connect 127.0.0.1:" + std::to_string(port) + " " + options + " < '" + input + "'"};
}

using TlsServerTest = TlsTest;

TEST_F(TlsServerTest, ClientRoundTripsBinaryDataIntact) {
    CertificateFiles cert = MakeSelfSignedCertificate(dir.path());
    const std::string data = BinaryPattern((1 << 20) + 3);
    testsupport::WriteFile(dir / "input.bin", data);
    LoopbackListener listener;
    Process client(SClient(listener.port(), "-quiet", dir / "input.bin"), {});
    Fd socket = listener.Accept();
    ASSERT_GE(socket.get(), 0);

    testing::internal::CaptureStderr();
    engine::TlsSessionPtr session =
        engine::OpenSSLServer(socket.get(), cert.certificateFile, cert.privateKeyFile, kPatience);
    std::string log = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(session) << log << client.err();
    EXPECT_THAT(log, HasSubstr(SocketLine("[OpenSSLServer] SOCKET=%d start\n", socket.get())));
    EXPECT_THAT(log, HasSubstr(SocketLine("[OpenSSLServer] SOCKET=%d SSL_accept() success.\n", socket.get())));

    std::string received = ReceiveUpTo(socket.get(), session.get(), data.size());
    ASSERT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);

    EXPECT_EQ(engine::SecureSendData(socket.get(), session.get(), data.data(), data.size(), kPatience),
              static_cast<ssize_t>(data.size()));
    engine::CloseTls(session);
    EXPECT_FALSE(session);
    EXPECT_EQ(client.wait(30s), 0) << client.err();
    EXPECT_EQ(client.out().size(), data.size());
    EXPECT_TRUE(client.out() == data);
}

// A client that trusts only the root can verify the server only when the
// server sends the intermediate CA along with its own certificate.
TEST_F(TlsServerTest, SendsTheWholeCertificateChain) {
    CertificateFiles cert = MakeChainCertificate(dir.path());
    testsupport::WriteFile(dir / "empty", "");
    LoopbackListener listener;
    Process client(SClient(listener.port(),
                           "-showcerts -servername localhost -verify_return_error -CAfile '" + cert.rootFile + "'",
                           dir / "empty"),
                   {});
    Fd socket = listener.Accept();
    ASSERT_GE(socket.get(), 0);

    engine::TlsSessionPtr session =
        engine::OpenSSLServer(socket.get(), cert.certificateFile, cert.privateKeyFile, kPatience);
    ASSERT_TRUE(session) << client.err();
    EXPECT_EQ(client.wait(30s), 0) << client.out() << client.err();
    EXPECT_EQ(CountOf(client.out(), "-----BEGIN CERTIFICATE-----"), 2u) << client.out();
    EXPECT_THAT(client.out(), HasSubstr("Verify return code: 0 (ok)"));
    engine::CloseTls(session);
}

TEST_F(TlsServerTest, FailedAcceptsAreLoggedAndGiveNoSession) {
    CertificateFiles cert = MakeSelfSignedCertificate(dir.path());
    testsupport::WriteFile(dir / "empty", "");
    enum class Peer { TlsClient, PlainClient, SilentClient };
    struct Case {
        const char* name;
        std::string certificate, key;
        Peer peer;
        int timeoutMs;
        const char* expected;
    } cases[] = {
        {"no certificate path", "", cert.privateKeyFile, Peer::TlsClient, kPatience,
         "[OpenSSLServer] SOCKET=%d Certificate or Privatekey is NULL.\n"},
        {"no key path", cert.certificateFile, "", Peer::TlsClient, kPatience,
         "[OpenSSLServer] SOCKET=%d Certificate or Privatekey is NULL.\n"},
        {"certificate file missing", dir / "missing.pem", cert.privateKeyFile, Peer::TlsClient, kPatience,
         "[OpenSSLServer] SOCKET=%d SSL_accept() failed.\n"},
        {"key does not match", cert.certificateFile, MakeSelfSignedCertificate(dir.path(), "other").privateKeyFile,
         Peer::TlsClient, kPatience, "[OpenSSLServer] SOCKET=%d SSL_accept() failed.\n"},
        {"client speaks plain HTTP", cert.certificateFile, cert.privateKeyFile, Peer::PlainClient, kPatience,
         "[OpenSSLServer] SOCKET=%d SSL_accept() failed.\n"},
        // A client that connects and never says anything must not hold the
        // accept past the TLS time-out.
        {"client stays silent", cert.certificateFile, cert.privateKeyFile, Peer::SilentClient, 300,
         "[OpenSSLServer] SOCKET=%d SSL_accept() failed.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackListener listener;
        std::unique_ptr<Process> tlsClient;
        Fd plainClient;
        if (c.peer == Peer::TlsClient) {
            tlsClient = std::make_unique<Process>(SClient(listener.port(), "", dir / "empty"), Process::Options{});
        } else {
            plainClient = ConnectLoopback(listener.port());
            if (c.peer == Peer::PlainClient) {
                ASSERT_GT(::send(plainClient.get(), "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL), 0);
            }
        }
        Fd socket = listener.Accept();
        ASSERT_GE(socket.get(), 0);

        auto start = std::chrono::steady_clock::now();
        testing::internal::CaptureStderr();
        engine::TlsSessionPtr session = engine::OpenSSLServer(socket.get(), c.certificate, c.key, c.timeoutMs);
        std::string log = testing::internal::GetCapturedStderr();
        auto elapsed = std::chrono::steady_clock::now() - start;

        EXPECT_FALSE(session);
        EXPECT_THAT(log, HasSubstr(SocketLine(c.expected, socket.get())));
        EXPECT_LT(elapsed, 10s);
        if (c.peer == Peer::SilentClient) {
            EXPECT_GE(elapsed, 250ms);
        }
    }
}

}  // namespace
