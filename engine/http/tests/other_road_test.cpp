// Every method but GET and CONNECT end to end: curl through a real orqhprx
// (and through a second engine as its upstream proxy) to the test origin
// (origin_server.py), which logs each request head and its body's hash.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "road_fixture.h"

namespace {

using listenertest::Client;
using listenertest::EngineProcess;
using namespace std::chrono_literals;

std::string Port(int port) { return std::to_string(port); }

// Binary bytes, every value in them.
std::string Binary(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
    return data;
}

class OtherRoad : public roadtest::RoadFixture {
protected:
    static std::string Sha256(const std::string& path) {
        return testsupport::RunCommand("sha256sum < " + path).output.substr(0, 64);
    }
};

// Each method reaches the origin in origin form with its body byte for
// byte (a chunked upload as its data, with a length); the client gets the
// origin's answer. Encodings and proxy credentials stay behind.
TEST_F(OtherRoad, MethodsAndBodiesReachTheOrigin) {
    Start({"-g=1"});
    testsupport::WriteFile(work_ / "10k", Binary(10 * 1024));
    testsupport::WriteFile(work_ / "1m", Binary(1024 * 1024));
    const std::string url = origin_.url("echo/x");
    struct {
        std::string method, curl, file;
    } cases[] = {
        {"POST", "--data-binary @" + work_ / "10k", "10k"},
        {"POST", "--data-binary @" + work_ / "1m", "1m"},
        {"POST", "-H 'Transfer-Encoding: chunked' --data-binary @" + work_ / "10k", "10k"},
        {"PUT", "-T " + work_ / "10k", "10k"},
        {"DELETE", "-X DELETE", ""},
        {"OPTIONS", "-X OPTIONS", ""},
        {"PROPFIND", "-X PROPFIND", ""},
    };
    for (const auto& c : cases) {
        const std::string size = c.file.empty() ? "0" : std::to_string(testsupport::ReadFile(work_ / c.file).size());
        const std::string sha = c.file.empty() ? Sha256("/dev/null") : Sha256(work_ / c.file);
        std::string out;
        EXPECT_EQ(Curl(port_, "--compressed -U user:secret " + c.curl + " '" + url + "'", &out), 0)
            << c.method << out << engine_->log().substr(0, 3000);
        EXPECT_EQ(out, c.method + " " + size + " " + sha) << c.method;
        EXPECT_NE(origin_.heads().find("\"head\": \"" + c.method + " /echo/x HTTP/1.1\\r\\n"), std::string::npos)
            << origin_.heads();
        EXPECT_NE(origin_.heads().find("\"body_sha256\": \"" + sha + "\""), std::string::npos) << c.method;
    }
    const std::string heads = origin_.heads();
    EXPECT_EQ(heads.find("Accept-Encoding"), std::string::npos) << heads;
    EXPECT_EQ(heads.find("Proxy-Authorization"), std::string::npos) << heads;
    EXPECT_EQ(heads.find("Transfer-Encoding"), std::string::npos) << heads;
    EXPECT_TRUE(engine_->waitForLog("[OtherDispatch] [", 7)) << engine_->log();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
    // The access log has a line a request, with the origin's status.
    std::string accessLog;
    for (const auto& entry : std::filesystem::directory_iterator(engine_->dataFolder() + "ncsalog"))
        accessLog += testsupport::ReadFile(entry.path());
    EXPECT_NE(accessLog.find("\"PROPFIND " + url + " HTTP/1.1\" 200 "), std::string::npos) << accessLog;
}

// Answers that carry no body end at their head (HEAD, 204, 304), and so
// does one that says it has none: the client is not left waiting for the
// server's time-out. A kept connection carries the next request.
TEST_F(OtherRoad, BodilessAnswersEndAtTheHead) {
    Start({"-t=1000,20000,1000,1000"});
    std::string out;
    EXPECT_EQ(Curl(port_, "-I '" + origin_.url("length/data-5000") + "'", &out), 0) << out;
    EXPECT_EQ(out.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << out;
    EXPECT_NE(out.find("Content-Length: 5000\r\n"), std::string::npos) << out;
    for (const std::string form : {"nocontent", "notmodified"}) {
        EXPECT_EQ(Curl(port_, "-X DELETE -o /dev/null -w '%{http_code}' '" + origin_.url(form + "/x") + "'", &out), 0);
        EXPECT_EQ(out, form == "nocontent" ? "204" : "304");
    }
    EXPECT_EQ(Curl(port_, "-d '' -o /dev/null -w '%{http_code}' '" + origin_.url("echo/x") + "'", &out), 0);
    EXPECT_EQ(out, "200");

    // HEAD, then POST, on one client connection that asks to be kept.
    const std::string host = "127.0.0.1:" + Port(origin_.port());
    Client client("127.0.0.1", port_);
    ASSERT_TRUE(client.send("HEAD http://" + host + "/length/data-100 HTTP/1.1\r\nHost: " + host +
                            "\r\nProxy-Connection: keep-alive\r\n\r\n"
                            "POST http://" + host + "/echo/x HTTP/1.1\r\nHost: " + host +
                            "\r\nContent-Length: 3\r\n\r\nabc"));
    std::string reply;
    char buffer[4096];
    while (reply.find("POST 3 ") == std::string::npos && client.readable(10s)) {
        ssize_t n = ::recv(client.fd(), buffer, sizeof buffer, 0);
        if (n <= 0) break;
        reply.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
    EXPECT_NE(reply.find("Content-Length: 100\r\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("\r\n\r\nHTTP/1.1 200 OK\r\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("POST 3 ba7816bf"), std::string::npos) << reply;
}

// A client that waits for "100 Continue" before it sends its body gets it
// from the engine, which takes the body whole before it goes on; the
// origin never sees the expectation.
TEST_F(OtherRoad, ClientWaitingForContinueGetsIt) {
    Start();
    const std::string host = "127.0.0.1:" + Port(origin_.port());
    Client client("127.0.0.1", port_);
    ASSERT_TRUE(client.send("POST http://" + host + "/echo/x HTTP/1.1\r\nHost: " + host +
                            "\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n"));
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    std::string reply;
    char buffer[4096];
    while (reply.size() < interim.size() && client.readable(10s)) {
        ssize_t n = ::recv(client.fd(), buffer, sizeof buffer, 0);
        if (n <= 0) break;
        reply.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(reply, interim);
    ASSERT_TRUE(client.send("abc"));
    int error = -1;
    reply = client.readToEnd(error, 15s);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
    EXPECT_NE(reply.find("POST 3 ba7816bf"), std::string::npos) << reply;
    EXPECT_EQ(origin_.heads().find("Expect"), std::string::npos) << origin_.heads();
}

// The lists judge every method; an unreachable server gets the proxy's
// 502 page; a request line that is no HTTP request gets a 400 page.
TEST_F(OtherRoad, ListsAndUnservedRequests) {
    Start({"-$=1"}, {{"black.db", "*/echo/blocked*\r\n"}});
    std::string out;
    EXPECT_EQ(Curl(port_, "-d x '" + origin_.url("echo/blocked") + "'", &out), 52) << out;  // empty reply
    EXPECT_TRUE(engine_->waitForLog("[OtherDispatch] [")) << engine_->log();
    EXPECT_TRUE(engine_->waitForLog("blacklist [POST " + origin_.url("echo/blocked") + " HTTP/1.1]")) << engine_->log();
    EXPECT_EQ(Curl(port_, "-i -d x 'http://127.0.0.1:1/x'", &out), 0) << out;
    EXPECT_EQ(out.rfind("HTTP/1.1 502 Bad Gateway\r\n", 0), 0u) << out;
    Client client("127.0.0.1", port_);
    ASSERT_TRUE(client.send("PUT " + origin_.url("echo/x") + "\r\n\r\n"));
    int error = -1;
    EXPECT_EQ(client.readToEnd(error, 15s).rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u);
    EXPECT_TRUE(origin_.heads().empty()) << origin_.heads();
}

// Through an upstream proxy (a second engine) the request line goes in
// absolute form, the proxy credentials to that proxy only, the body whole.
TEST_F(OtherRoad, ThroughAnUpstreamProxyTheLineIsAbsolute) {
    const int parentPort = testsupport::FreeTcpPort(), childPort = testsupport::FreeTcpPort();
    EngineProcess parent("127.0.0.1 " + Port(parentPort) + "=, ,parent\r\n");
    ASSERT_TRUE(testsupport::WaitForTcpPort(parentPort)) << parent.log();
    EngineProcess child("127.0.0.1 " + Port(childPort) + "=,127.0.0.1 " + Port(parentPort) + ",to the parent\r\n");
    ASSERT_TRUE(testsupport::WaitForTcpPort(childPort)) << child.log();

    testsupport::WriteFile(work_ / "10k", Binary(10 * 1024));
    const std::string url = origin_.url("echo/chained");
    std::string out;
    EXPECT_EQ(Curl(childPort, "-U user:secret --data-binary @" + work_ / "10k" + " '" + url + "'", &out), 0) << out;
    EXPECT_EQ(out, "POST 10240 " + Sha256(work_ / "10k")) << child.log() << parent.log();
    EXPECT_TRUE(parent.waitForLog("] POST " + url + " HTTP/1.1\r\n")) << parent.log();
    // The credentials went on to the parent (which checks none and keeps
    // them from the origin).
    EXPECT_TRUE(child.waitForLog("\nProxy-Authorization: Basic dXNlcjpzZWNyZXQ=\r\n")) << child.log();
    EXPECT_NE(origin_.heads().find("\"head\": \"POST /echo/chained HTTP/1.1\\r\\n"), std::string::npos)
        << origin_.heads();
    EXPECT_EQ(origin_.heads().find("Proxy-Authorization"), std::string::npos) << origin_.heads();
}

}  // namespace
