// SecureSend and SecureRecv, plain and over TLS, between two ends of a
// loopback connection in this process.
#include "engine/tls/tests/tls_test_base.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using namespace tlsfixture;

namespace {

class SecureTransferTest : public TlsTest {
protected:
    // Both ends of one loopback connection; with `tls`, a session on each.
    void Connect(bool tls) {
        std::tie(clientSocket, serverSocket) = TcpPair();
        if (!tls) return;
        auto accepted = std::async(std::launch::async, [&] {
            return engine::OpenSSLServer(serverSocket.get(), cert.certificateFile, cert.privateKeyFile, kPatience);
        });
        clientTls = engine::OpenSSLClient(clientSocket.get(), kPatience);
        serverTls = accepted.get();
        ASSERT_TRUE(clientTls && serverTls);
    }

    CertificateFiles cert = MakeSelfSignedCertificate(dir.path());
    Fd clientSocket, serverSocket;
    engine::TlsSessionPtr clientTls, serverTls;
};

// Each end reads its session in one thread while another thread writes it,
// as a tunnel's two relay threads do. Both directions stream at once, so a
// writer that waited for the reader's lock, or two threads inside the
// library at once, would stall or garble a stream.
TEST_F(SecureTransferTest, OneSessionCarriesBothDirectionsFromTwoThreads) {
    Connect(true);
    const std::string up = BinaryPattern(6 << 20, 11);
    const std::string down = BinaryPattern(6 << 20, 12);
    auto send = [](int socket, engine::TlsSession* session, const std::string& data) {
        size_t sent = 0;
        while (sent < data.size()) {  // chunks of a relay's size
            size_t piece = std::min<size_t>(16384, data.size() - sent);
            if (engine::SecureSendData(socket, session, data.data() + sent, piece, kPatience) !=
                static_cast<ssize_t>(piece))
                return false;
            sent += piece;
        }
        return true;
    };
    auto clientSends = std::async(std::launch::async, send, clientSocket.get(), clientTls.get(), std::cref(up));
    auto serverSends = std::async(std::launch::async, send, serverSocket.get(), serverTls.get(), std::cref(down));
    auto clientReads = std::async(std::launch::async, ReceiveUpTo, clientSocket.get(), clientTls.get(), down.size());
    auto serverReads = std::async(std::launch::async, ReceiveUpTo, serverSocket.get(), serverTls.get(), up.size());

    EXPECT_TRUE(clientSends.get());
    EXPECT_TRUE(serverSends.get());
    std::string atClient = clientReads.get(), atServer = serverReads.get();
    EXPECT_EQ(atClient.size(), down.size());
    EXPECT_TRUE(atClient == down);
    EXPECT_EQ(atServer.size(), up.size());
    EXPECT_TRUE(atServer == up);
}

// The peer speaks only after it has heard from us, as a mail server's
// client waits for the greeting: our write must go out while our other
// thread is already waiting to read the same session.
TEST_F(SecureTransferTest, AWaitingReaderDoesNotHoldUpAWriter) {
    Connect(true);
    auto reader = std::async(std::launch::async, ReceiveUpTo, serverSocket.get(), serverTls.get(), 4);
    EXPECT_EQ(reader.wait_for(200ms), std::future_status::timeout);  // the reader is waiting now
    auto writer = std::async(std::launch::async, [&] {
        return engine::SecureSend(serverSocket.get(), serverTls.get(), "220 ready\r\n", kPatience);
    });
    if (writer.wait_for(10s) != std::future_status::ready) {
        ::shutdown(serverSocket.get(), SHUT_RDWR);  // frees both threads
        FAIL() << "the writer waited for the reader";
    }
    EXPECT_EQ(writer.get(), 11);
    EXPECT_EQ(ReceiveUpTo(clientSocket.get(), clientTls.get(), 11), "220 ready\r\n");
    EXPECT_EQ(engine::SecureSend(clientSocket.get(), clientTls.get(), "EHLO", kPatience), 4);
    ASSERT_EQ(reader.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(reader.get(), "EHLO");
}

TEST_F(SecureTransferTest, ReceiveResults) {
    enum class Peer { Sends, StaysSilent, ClosesTls, ClosesSocket };
    struct Case {
        const char* name;
        bool tls;
        Peer peer;
        int expected;     // byte count, 0 or -1
        int beforeWaits;  // how often the hook before a wait ran: on a plain
                          // socket only when nothing was there yet
    } cases[] = {
        {"plain data", false, Peer::Sends, 5, 0},
        {"tls data", true, Peer::Sends, 5, 1},
        {"plain time-out", false, Peer::StaysSilent, -1, 1},
        {"tls time-out", true, Peer::StaysSilent, -1, 1},
        {"plain close", false, Peer::ClosesSocket, 0, 0},
        {"tls close-notify", true, Peer::ClosesTls, 0, 1},
        {"tls close without notify", true, Peer::ClosesSocket, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Connect(c.tls);
        engine::TlsSession* session = c.tls ? serverTls.get() : nullptr;
        if (c.peer == Peer::Sends) {
            ASSERT_EQ(engine::SecureSend(clientSocket.get(), clientTls.get(), "hello", kPatience), 5);
        } else if (c.peer == Peer::ClosesTls) {
            engine::CloseTls(clientTls);
        } else if (c.peer == Peer::ClosesSocket) {
            clientTls.reset();
            clientSocket.reset();
        }
        char buffer[64] = {};
        auto start = std::chrono::steady_clock::now();
        errno = 0;
        int beforeWaits = 0;
        int n = engine::SecureRecv(serverSocket.get(), session, buffer, sizeof buffer - 1, 300,
                                   [&beforeWaits] { ++beforeWaits; });
        auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(n, c.expected);
        EXPECT_EQ(beforeWaits, c.beforeWaits);
        if (c.expected > 0) {
            EXPECT_STREQ(buffer, "hello");
        }
        if (c.peer == Peer::StaysSilent) {
            EXPECT_EQ(errno, ETIMEDOUT);
            EXPECT_GE(elapsed, 250ms);
        }
        EXPECT_LT(elapsed, 10s);
        clientTls.reset();
        serverTls.reset();
    }
}

// A relay thread that waits for its peer without a time-out is woken by a
// shutdown of the socket, so the worker can join it before closing.
TEST_F(SecureTransferTest, ShutdownWakesAWaitingTlsReader) {
    Connect(true);
    auto reader = std::async(std::launch::async, [&] {
        char buffer[64];
        return engine::SecureRecv(serverSocket.get(), serverTls.get(), buffer, sizeof buffer, 0);
    });
    EXPECT_EQ(reader.wait_for(200ms), std::future_status::timeout);
    ::shutdown(serverSocket.get(), SHUT_RDWR);
    ASSERT_EQ(reader.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(reader.get(), 0);
}

// Large sends go out whole, over as many partial sends as the peer's pace
// needs; a peer that stops reading makes the send give up at its time-out
// instead of blocking the relay for good; a connection that can send no
// more makes it fail, not raise SIGPIPE, which would end the whole engine.
TEST_F(SecureTransferTest, SendsLoopUntilDoneAndGiveUpOnAStalledPeer) {
    for (bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "tls" : "plain");
        Connect(tls);
        int small = 4096;
        ::setsockopt(clientSocket.get(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        const std::string data = BinaryPattern(4 << 20, 21);
        auto received = std::async(std::launch::async, ReceiveUpTo, serverSocket.get(), serverTls.get(), data.size());
        EXPECT_EQ(engine::SecureSendData(clientSocket.get(), clientTls.get(), data.data(), data.size(), kPatience),
                  static_cast<ssize_t>(data.size()));
        std::string got = received.get();
        EXPECT_EQ(got.size(), data.size());
        EXPECT_TRUE(got == data);

        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(engine::SecureSendData(clientSocket.get(), clientTls.get(), data.data(), data.size(), 300), -1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

        // A connection that can send no more (EPIPE): a failure, not a signal.
        Connect(tls);
        ::shutdown(clientSocket.get(), SHUT_WR);
        EXPECT_EQ(engine::SecureSendData(clientSocket.get(), clientTls.get(), data.data(), 100, 300), -1);
        clientTls.reset();
        serverTls.reset();
    }
}

}  // namespace
