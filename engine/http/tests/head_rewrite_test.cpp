#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "engine/core/connection.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/http/head_rewrite.h"
#include "test_support.h"

namespace {

engine::ConnectionRecord MakeConnection() {
    engine::ConnectionRecord connection;
    connection.KeepAlive = 1;
    connection.ListenHostName = "proxy.test";
    connection.ListenPort = 8080;
    connection.ClientAddress = "192.0.2.7";
    return connection;
}

// -u as a number: the master switch and its four bits.
engine::EngineSettings HeaderSettings(int u) {
    engine::EngineSettings settings;
    settings.addHeaders = u != 0;
    settings.headerVia = (u & 1) != 0;
    settings.headerForwarded = (u & 2) != 0;
    settings.headerRemoteHostWp = (u & 4) != 0;
    settings.headerXForwardedFor = (u & 8) != 0;
    return settings;
}

TEST(HeadRewriteTest, ConnectionRulesAlwaysApply) {
    struct Case {
        const char* name;
        std::string stored;
        std::string head;  // what goes to the client
        bool endsKeepAlive;
    };
    const std::string body = "body";
    const Case cases[] = {
        {"keep-alive passes", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: Keep-Alive\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: Keep-Alive\r\n\r\n", false},
        {"close in one form", "HTTP/1.1 200 OK\r\nconnection:CLOSE\r\nContent-Length: 4\r\n\r\n",
         "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 4\r\nProxy-Connection: close\r\n\r\n", true},
        {"misspelt close", "HTTP/1.1 200 OK\r\nCneonction: close\r\nContent-Length: 4\r\n\r\n",
         "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 4\r\nProxy-Connection: close\r\n\r\n", true},
        {"proxy-connection close passes", "HTTP/1.1 200 OK\r\nProxy-Connection: close\r\nContent-Length: 4\r\n\r\n",
         "HTTP/1.1 200 OK\r\nProxy-Connection: close\r\nContent-Length: 4\r\nConnection: close\r\n\r\n", true},
        {"HTTP/1.0 ends keep-alive, and says so", "HTTP/1.0 200 OK\r\nContent-Length: 4\r\nConnection: keep-alive\r\n\r\n",
         "HTTP/1.0 200 OK\r\nContent-Length: 4\r\nConnection: close\r\nProxy-Connection: close\r\n\r\n", true},
        {"upgrade lines dropped",
         "HTTP/1.1 200 OK\r\nUpgrade: h2c\r\nConnection: Upgrade\r\nProxy-Connection: upgrade\r\n"
         "Content-Length: 4\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n", false},
        {"close-delimited body", "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\nProxy-Connection: close\r\n\r\n", true},
        {"close-delimited body with its close line", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n",
         "HTTP/1.1 200 OK\r\nConnection: close\r\nProxy-Connection: close\r\n\r\n", true},
        {"chunked body", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", false},
        {"a length beside chunked framing is dropped",
         "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nTransfer-Encoding: chunked\r\ncontent-length: 3\r\n\r\n",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", false},
        {"304 has no body", "HTTP/1.1 304 Not Modified\r\nETag: \"x\"\r\n\r\n",
         "HTTP/1.1 304 Not Modified\r\nETag: \"x\"\r\n\r\n", false},
        {"204 has no body", "HTTP/1.1 204 No Content\r\n\r\n", "HTTP/1.1 204 No Content\r\n\r\n", false},
        {"LF line ends", "HTTP/1.1 200 OK\nContent-Length: 4\nConnection: close\n\n",
         "HTTP/1.1 200 OK\nContent-Length: 4\nConnection: close\r\nProxy-Connection: close\r\n\n", true},
        {"no end of head", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n",
         true},
    };
    for (int u : {0, 15}) {
        const engine::EngineSettings settings = HeaderSettings(u);
        for (const Case& c : cases) {
            const engine::ConnectionRecord connection = MakeConnection();
            engine::RewrittenHead result =
                engine::RewriteResponseHead(c.stored + body, connection, "HTTP/1.1", false, settings);
            // Without an end, every line is part of the head.
            const bool ended = c.stored.find("\n\n") != std::string::npos || c.stored.find("\r\n\r\n") != std::string::npos;
            EXPECT_TRUE(result.statusLineFound) << c.name;
            EXPECT_EQ(result.head, ended ? c.head : c.head + body) << c.name << " -u=" << u;
            EXPECT_EQ(result.endsKeepAlive, c.endsKeepAlive) << c.name;
            EXPECT_EQ(result.headEnd, ended) << c.name;
            EXPECT_EQ(result.consumed, ended ? c.stored.size() : c.stored.size() + body.size()) << c.name;
        }
    }
}

// When the engine will close the client connection after the response
// (the client did not ask for keep-alive, or -! is on), the head says so,
// and a server's keep-alive does not reach the client.
TEST(HeadRewriteTest, AClosingConnectionIsAnnounced) {
    const struct {
        std::string stored, head;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\nProxy-Connection: close\r\n\r\n"},
        {"HTTP/1.1 200 OK\r\nConnection: Keep-Alive\r\nKeep-Alive: timeout=5\r\nContent-Length: 0\r\n\r\n",
         "HTTP/1.1 200 OK\r\nKeep-Alive: timeout=5\r\nContent-Length: 0\r\nConnection: close\r\n"
         "Proxy-Connection: close\r\n\r\n"},
        {"HTTP/1.1 304 Not Modified\r\nProxy-Connection: keep-alive\r\n\r\n",
         "HTTP/1.1 304 Not Modified\r\nConnection: close\r\nProxy-Connection: close\r\n\r\n"},
    };
    for (const auto& c : cases) {
        engine::ConnectionRecord connection = MakeConnection();
        connection.KeepAlive = 0;
        engine::RewrittenHead result =
            engine::RewriteResponseHead(c.stored, connection, "HTTP/1.1", false, HeaderSettings(0));
        EXPECT_EQ(result.head, c.head);
        EXPECT_EQ(result.consumed, c.stored.size());
    }
}

TEST(HeadRewriteTest, CacheRoadAddsTheLinesThatOptionUEnables) {
    struct Case {
        int u;
        std::string stored;
        std::string head;
    };
    const std::string via = "1.1 proxy.test (VELQOR Server v2.15)\r\n";
    const std::string forwarded = "Forwarded: by http://proxy.test:8080 (VELQOR Server v2.15) for 192.0.2.7\r\n";
    const std::string remote = "Remote-Host-Wp: 192.0.2.7\r\nX-Forwarded-For: 192.0.2.7\r\n";
    const std::string closing = "Connection: close\r\nProxy-Connection: close\r\n";  // HTTP/1.0 ends keep-alive
    const Case cases[] = {
        {15, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
         "HTTP/1.1 200 OK\r\n" + forwarded + remote + "Content-Length: 0\r\nVIA: " + via + "\r\n"},
        {15, "HTTP/1.0 200 OK\r\nVia: 1.1 origin\r\nContent-Length: 0\r\n\r\n",
         "HTTP/1.0 200 OK\r\n" + forwarded + remote + "Via: 1.1 origin,1.0 proxy.test (VELQOR Server v2.15)\r\n"
                                                       "Content-Length: 0\r\n" + closing + "\r\n"},
        {12, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
         "HTTP/1.1 200 OK\r\n" + remote + "Content-Length: 0\r\n\r\n"},
        {0, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"},
    };
    for (const Case& c : cases) {
        const engine::ConnectionRecord connection = MakeConnection();
        const engine::EngineSettings settings = HeaderSettings(c.u);
        EXPECT_EQ(engine::RewriteResponseHead(c.stored, connection, "HTTP/1.1", true, settings).head, c.head)
            << "-u=" << c.u;
        // The ordinary relay never adds them.
        std::string plain = c.stored;
        if (plain.rfind("HTTP/1.0", 0) == 0) plain.insert(plain.size() - 2, closing);
        EXPECT_EQ(engine::RewriteResponseHead(c.stored, connection, "HTTP/1.1", false, settings).head, plain);
    }
}

class SetVIAResponseHeaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets_), 0);
        connection_ = MakeConnection();
        connection_.ClientSocket = sockets_[0];
        engine::EngineLog().setFolder(dir_ / "log");
        engine::EngineLog().setToFile(true);
        engine::EngineLog().setToConsole(false);
    }
    void TearDown() override {
        if (file_) std::fclose(file_);
        ::close(sockets_[1]);
        if (sockets_[0] >= 0) ::close(sockets_[0]);
    }

    void Store(const std::string& response) {
        testsupport::WriteFile(dir_ / "response", response);
        file_ = std::fopen((dir_ / "response").c_str(), "rb");
        ASSERT_NE(file_, nullptr);
    }
    // What the client got, once the engine's side is closed.
    std::string Received() {
        ::close(sockets_[0]);
        sockets_[0] = -1;
        std::string received;
        char buffer[4096];
        for (ssize_t n; (n = ::read(sockets_[1], buffer, sizeof buffer)) > 0;) received.append(buffer, n);
        return received;
    }
    std::string Rest() {
        std::string rest;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) rest.append(buffer, n);
        return rest;
    }
    std::string Log() const {
        std::string text;
        for (const auto& entry : std::filesystem::directory_iterator(dir_ / "log"))
            text += testsupport::ReadFile(entry.path().string());
        return text;
    }

    testsupport::TempDir dir_;
    int sockets_[2] = {-1, -1};
    engine::ConnectionRecord connection_;
    FILE* file_ = nullptr;
};

TEST_F(SetVIAResponseHeaderTest, SendsTheHeadAndLeavesTheBodyToTheCaller) {
    Store("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 5\r\n\r\nhello");
    EXPECT_EQ(engine::SetVIAResponseHeader(connection_, file_, "HTTP/1.1", false, HeaderSettings(0)),
              engine::HeadSendResult::Sent);
    EXPECT_EQ(connection_.KeepAlive, 0);
    EXPECT_EQ(Rest(), "hello");
    EXPECT_EQ(Received(),
              "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 5\r\nProxy-Connection: close\r\n\r\n");
    char socket[16];
    std::snprintf(socket, sizeof socket, "%04d", connection_.ClientSocket);
    const std::string prefix = "[SetVIAResponseHeader] [" + std::string(socket) + "] ";
    const std::string log = Log();
    EXPECT_NE(log.find(prefix + "bHEnd = found / Header size = 82\n"), std::string::npos) << log;
    EXPECT_NE(log.find(prefix + "Responseheader [\nHTTP/1.1 200 OK\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(prefix + "C:send(" + socket + "):82 bytes\n"), std::string::npos) << log;
}

TEST_F(SetVIAResponseHeaderTest, ResponseWithoutStatusLineIsLeftWhole) {
    Store("<html>no head</html>\r\n\r\n");
    EXPECT_EQ(engine::SetVIAResponseHeader(connection_, file_, "HTTP/1.1", false, HeaderSettings(0)),
              engine::HeadSendResult::NotFound);
    EXPECT_EQ(connection_.KeepAlive, 1);
    EXPECT_EQ(Rest(), "<html>no head</html>\r\n\r\n");
    EXPECT_EQ(Received(), "");
    EXPECT_NE(Log().find("] Header not found.\n"), std::string::npos);
}

TEST_F(SetVIAResponseHeaderTest, HeadBeyondItsLimitIsSentInPartAndTheRestRelayed) {
    std::string response = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 300; ++i) response += "X-Pad-" + std::to_string(1000 + i) + ": " + std::string(60, 'p') + "\r\n";
    response += "Content-Length: 2\r\n\r\nok";
    Store(response);
    EXPECT_EQ(engine::SetVIAResponseHeader(connection_, file_, "HTTP/1.1", false, HeaderSettings(0)),
              engine::HeadSendResult::Sent);
    const std::string rest = Rest();
    const std::string sent = Received();
    EXPECT_LE(sent.size(), engine::kResponseHeadLimit);
    EXPECT_EQ(sent.substr(sent.size() - 2), "\r\n");
    EXPECT_EQ(sent + rest, response);
    EXPECT_EQ(connection_.KeepAlive, 0);
}

// A client that takes its bytes later than the few milliseconds of the
// client time-out still gets the head whole: it waits as long as the body
// after it would.
TEST_F(SetVIAResponseHeaderTest, SlowClientStillGetsTheHead) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n";
    Store(head + "ok");
    // The client has not yet read what came before: the socket is full.
    int small = 4096;
    ::setsockopt(sockets_[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    std::string before;
    const std::string block(1024, 'x');
    for (ssize_t n; (n = ::send(sockets_[0], block.data(), block.size(), MSG_DONTWAIT)) > 0;) before.append(block, 0, n);
    std::string received;
    std::thread client([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        char buffer[4096];
        for (ssize_t n; (n = ::read(sockets_[1], buffer, sizeof buffer)) > 0;) received.append(buffer, n);
    });
    engine::EngineSettings settings = HeaderSettings(0);
    settings.timeouts.clientPlain = 5;
    settings.timeouts.serverPlain = 10000;
    EXPECT_EQ(engine::SetVIAResponseHeader(connection_, file_, "HTTP/1.1", false, settings),
              engine::HeadSendResult::Sent);
    ::close(sockets_[0]);
    sockets_[0] = -1;
    client.join();
    EXPECT_TRUE(received == before + head) << received.size() << " of " << before.size() + head.size();
}

}  // namespace
