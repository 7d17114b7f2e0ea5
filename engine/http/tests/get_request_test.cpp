// The request side of the GET road: the method's handler, the target and
// list keys of a request line, the spool file names, and the head that
// goes on to the server.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "engine/core/connection.h"
#include "engine/core/engine_settings.h"
#include "engine/http/outgoing_request.h"
#include "engine/http/request_target.h"
#include "engine/listener/proxy_dispatch.h"
#include "test_support.h"

namespace {

using namespace engine;

TEST(MethodHandler, ByTokenIgnoringCaseAndLength) {
    struct {
        std::string token;
        MethodHandler handler;
    } cases[] = {
        {"get", MethodHandler::Get},         {"Get", MethodHandler::Get},
        {"GET", MethodHandler::Get},         {"connect", MethodHandler::Connect},
        {"POST", MethodHandler::Other},      {std::string(20, 'X'), MethodHandler::Other},
        {std::string(21, 'X'), MethodHandler::None}, {"GETS", MethodHandler::Other},
    };
    for (const auto& c : cases) EXPECT_EQ(ChooseMethodHandler(c.token), c.handler) << c.token;
}

TEST(RequestTarget, RequestLines) {
    struct Case {
        std::string line;
        bool socks;
        std::string hostHeader;
        TargetResult result;
        std::string host;
        int port;
        std::string urlKey;
        std::string originPath;
    } cases[] = {
        {"GET http://h.test/a/b?c=d HTTP/1.1\r\n", false, "", TargetResult::Ok, "h.test", 80, "http://h.test/a/b?c=d",
         "/a/b?c=d"},
        {"get HTTP://H.test:8080/ http/1.0", false, "", TargetResult::Ok, "H.test", 8080, "HTTP://H.test:8080/", "/"},
        {"GET http://h.test HTTP/1.1", false, "", TargetResult::Ok, "h.test", 80, "http://h.test", "/"},
        {"GET http://[::1]:81/x HTTP/1.1", false, "", TargetResult::Ok, "[::1]", 81, "http://[::1]:81/x", "/x"},
        {"GET https://h.test/ HTTP/1.1", false, "", TargetResult::Ok, "h.test", 80, "https://h.test/", "/"},
        // The method's length does not matter, nor a "://" further on.
        {"PROPFIND http://h.test/d/ HTTP/1.1", false, "", TargetResult::Ok, "h.test", 80, "http://h.test/d/", "/d/"},
        {"OPTIONS https://h.test/x HTTP/1.1", false, "", TargetResult::Ok, "h.test", 80, "https://h.test/x", "/x"},
        {"MKCALENDAR ftp://h.test/x HTTP/1.1", false, "", TargetResult::Ftp, "", 80, "", ""},
        {"GET /r?u=http://h.test/ HTTP/1.1", false, "", TargetResult::NoTarget, "", 80, "", ""},
        {"GET /r?u=http://h.test/ HTTP/1.1", true, "o.test", TargetResult::Ok, "o.test", 80,
         "http://o.test/r?u=http://h.test/", "/r?u=http://h.test/"},
        {"GET ftp://u:w@h.test/dir/f.txt HTTP/1.1", false, "", TargetResult::Ftp, "", 80, "", ""},
        {"GET http://h.test/", false, "", TargetResult::BadVersion, "", 80, "", ""},
        {"GET http://h.test/ HTTX/1.1", false, "", TargetResult::BadVersion, "", 80, "", ""},
        {"GET /a HTTP/1.1", false, "h.test", TargetResult::NoTarget, "", 80, "", ""},
        {"GET http://h.test:99999/ HTTP/1.1", false, "", TargetResult::NoTarget, "", 80, "", ""},
        {"GET http:/// HTTP/1.1", false, "", TargetResult::NoTarget, "", 80, "", ""},
        // The SOCKS engine takes the host from the Host line.
        {"GET /form?x HTTP/1.1", true, "h.test", TargetResult::Ok, "h.test", 80, "http://h.test/form?x", "/form?x"},
        {"GET /a HTTP/1.1", true, "h.test:443", TargetResult::Ok, "h.test", 443, "https://h.test/,a", "/a"},
        {"GET /a HTTP/1.1", true, "h.test:8080", TargetResult::Ok, "h.test", 8080, "http://h.test:8080/a", "/a"},
        // A fully qualified name's trailing dot names the same host.
        {"GET http://h.test./a HTTP/1.1", false, "", TargetResult::Ok, "h.test", 80, "http://h.test/a", "/a"},
        {"GET http://h.test.:8080/ HTTP/1.1", false, "", TargetResult::Ok, "h.test", 8080, "http://h.test:8080/", "/"},
        {"GET /a HTTP/1.1", true, "h.test.:8080", TargetResult::Ok, "h.test", 8080, "http://h.test:8080/a", "/a"},
    };
    for (const Case& c : cases) {
        RequestTarget target;
        EXPECT_EQ(ParseRequestTarget(c.line, c.socks, c.hostHeader, target), c.result) << c.line;
        if (c.result != TargetResult::Ok) continue;
        EXPECT_EQ(target.host, c.host) << c.line;
        EXPECT_EQ(target.port, c.port) << c.line;
        EXPECT_EQ(target.urlKey, c.urlKey) << c.line;
        EXPECT_EQ(target.originPath, c.originPath) << c.line;
        EXPECT_EQ(target.method, c.line.substr(0, c.line.find(' '))) << c.line;
    }
}

TEST(RequestTarget, ListKeyAndHostLine) {
    RequestTarget target;
    ASSERT_EQ(ParseRequestTarget("GET http://h.test:8080/ HTTP/1.1", false, "", target), TargetResult::Ok);
    EXPECT_EQ(ListKey("127.0.0.1", 3128, target), "127.0.0.1:3128,get,tcp,h.test,8080");
    ASSERT_EQ(ParseRequestTarget("Post http://h.test/ HTTP/1.1", false, "", target), TargetResult::Ok);
    EXPECT_EQ(ListKey("127.0.0.1", 3128, target), "127.0.0.1:3128,post,tcp,h.test,80");
    EXPECT_EQ(HostHeaderValue("GET / HTTP/1.1\r\nX-Host: no\r\nhost:   a.test:81\r\nHost: b\r\n\r\n"), "a.test:81");
}

TEST(RequestTarget, SpoolNames) {
    struct {
        std::string line;
        std::string name;
        bool longLink;
    } cases[] = {
        {"GET http://h/ HTTP/1.1", "req-0-0007_index.html", false},
        {"GET http://h/a/b?c=d HTTP/1.1", "req-0-0007_a_b_c=d", false},
        {"GET http://h/dir/ HTTP/1.1", "req-0-0007_dir__index.html", false},
        {"GET http://h/a:b*c<d>e|f\\g HTTP/1.1", "req-0-0007_a_b_c_d_e_f_g", false},
        {"GET http://h HTTP/1.1", "req-0-0007_proxy.tmp", false},
        {"GET http://h/" + std::string(201, 'x') + " HTTP/1.1", "req-0-0007_" + std::string(200, 'x'), true},
    };
    for (const auto& c : cases) {
        RequestTarget target;
        ASSERT_EQ(ParseRequestTarget(c.line, false, "", target), TargetResult::Ok) << c.line;
        bool longLink = !c.longLink;
        SpoolFiles files = MakeSpoolFiles("/data/VELQOR/", 0, 7, target, longLink);
        EXPECT_EQ(files.response, "/data/VELQOR/cache/" + c.name) << c.line;
        EXPECT_EQ(files.work, files.response + ".tmp");
        EXPECT_EQ(longLink, c.longLink) << c.line;
    }
}

class OutgoingRequestTest : public ::testing::Test {
protected:
    OutgoingRequestTest() {
        record.ListenHostName = "proxy.test";
        record.ListenPort = 8080;
        record.ClientAddress = "10.0.0.9";
        settings.keepAliveOff = false;
        settings.addHeaders = false;
    }

    OutgoingRequest Build(const std::string& head, bool direct = true) {
        EXPECT_EQ(ParseRequestTarget(head, false, "", target), TargetResult::Ok);
        return BuildOutgoingRequest(head, ServerRequestLine(target, head.substr(0, head.find('\r')), direct), direct,
                                    target,
                                    record, settings);
    }

    ConnectionRecord record;
    EngineSettings settings;
    RequestTarget target;
};

TEST_F(OutgoingRequestTest, OriginFormDirectlyAndTheClientLineThroughAnUpstreamProxy) {
    const std::string head = "GET http://h.test/a?b HTTP/1.1\r\nHost: h.test\r\n\r\n";
    EXPECT_EQ(Build(head).head, "GET /a?b HTTP/1.1\r\nHost: h.test\r\n\r\n");
    EXPECT_EQ(Build(head, false).head, head);
}

TEST_F(OutgoingRequestTest, HeaderRules) {
    struct Case {
        const char* name;
        bool keepAliveOff, proxyAuth;
        std::string version, lines, expected;
        bool keepAlive;
    } cases[] = {
        {"keep-alive kept", false, false, "HTTP/1.1", "Proxy-Connection: Keep-Alive\r\n",
         "Proxy-Connection: Keep-Alive\r\n", true},
        {"keep-alive off", true, false, "HTTP/1.1", "Proxy-Connection: keep-alive\r\n", "Connection: close\r\n", false},
        {"HTTP/1.0 client", false, false, "HTTP/1.0", "Proxy-Connection: keep-alive\r\n", "Connection: close\r\n",
         false},
        {"other value", false, false, "HTTP/1.1", "Proxy-Connection: close\r\n", "Connection: close\r\n", false},
        {"upgrade passes", false, false, "HTTP/1.1", "Upgrade: x\r\nConnection: Upgrade\r\nProxy-Connection: upgrade\r\n",
         "Upgrade: x\r\nConnection: Upgrade\r\nProxy-Connection: upgrade\r\n", false},
        {"encodings dropped", false, false, "HTTP/1.1", "Accept-Encoding: gzip\r\nAccept: */*\r\n", "Accept: */*\r\n",
         false},
        {"credentials never reach the server", false, false, "HTTP/1.1", "Proxy-Authorization: Basic eDp5\r\n", "",
         false},
        {"credentials the engine used are dropped", false, true, "HTTP/1.1", "proxy-authorization: Basic eDp5\r\n", "",
         false},
        {"expectation dropped", false, false, "HTTP/1.1", "Expect: 100-continue\r\nA: b\r\n", "A: b\r\n", false},
        {"bare LF lines", false, false, "HTTP/1.1", "Accept-Encoding: br\nX: y\n", "X: y\n", false},
    };
    for (const Case& c : cases) {
        settings.keepAliveOff = c.keepAliveOff;
        settings.proxyAuth = c.proxyAuth;
        const std::string head = "GET http://h/ " + c.version + "\r\n" + c.lines + "\r\n";
        OutgoingRequest out = Build(head);
        EXPECT_EQ(out.head, "GET / " + c.version + "\r\nHost: h\r\n" + c.expected + "\r\n") << c.name;
        EXPECT_EQ(out.keepAlive, c.keepAlive) << c.name;
        // A request answered from the cache keeps the connection alike.
        EXPECT_EQ(RequestKeepsAlive(head, target, settings), c.keepAlive) << c.name;
    }
}

// Proxy credentials go to an upstream proxy only, and only when the engine
// did not check them itself; the request line and rules are those of GET
// for every method.
TEST_F(OutgoingRequestTest, CredentialsAndOtherMethodsThroughAnUpstreamProxy) {
    const std::string lines = "Proxy-Authorization: Basic eDp5\r\nAccept-Encoding: gzip\r\n\r\n";
    EXPECT_EQ(Build("POST http://h/f HTTP/1.1\r\n" + lines, false).head,
              "POST http://h/f HTTP/1.1\r\nHost: h\r\nProxy-Authorization: Basic eDp5\r\n\r\n");
    settings.proxyAuth = true;
    EXPECT_EQ(Build("PROPFIND http://h/f HTTP/1.1\r\n" + lines, false).head,
              "PROPFIND http://h/f HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(Build("OPTIONS https://h/f HTTP/1.1\r\n" + lines, true).head, "OPTIONS /f HTTP/1.1\r\nHost: h\r\n\r\n");
}

TEST_F(OutgoingRequestTest, EngineLinesWithOptionU) {
    settings.addHeaders = true;
    settings.headerVia = settings.headerForwarded = settings.headerRemoteHostWp = settings.headerXForwardedFor = true;
    const std::string added =
        "Forwarded: by http://proxy.test:8080 (VELQOR Server v2.15) for 10.0.0.9\r\n"
        "Remote-Host-Wp: 10.0.0.9\r\nX-Forwarded-For: 10.0.0.9\r\n";
    EXPECT_EQ(Build("GET http://h/ HTTP/1.1\r\nA: b\r\n\r\n").head,
              "GET / HTTP/1.1\r\n" + added + "Host: h\r\nA: b\r\nVIA: 1.1 proxy.test (VELQOR Server v2.15)\r\n\r\n");
    EXPECT_EQ(Build("GET http://h/ HTTP/1.1\r\nHost: h\r\nVia: 1.0 a\r\n\r\n").head,
              "GET / HTTP/1.1\r\n" + added + "Host: h\r\nVia: 1.0 a,1.1 proxy.test (VELQOR Server v2.15)\r\n\r\n");
    settings.addHeaders = false;
    EXPECT_EQ(Build("GET http://h/ HTTP/1.1\r\nA: b\r\n\r\n").head, "GET / HTTP/1.1\r\nHost: h\r\nA: b\r\n\r\n");
}

TEST_F(OutgoingRequestTest, HeadWithoutItsEndStillEnds) {
    EXPECT_EQ(Build("GET http://h/ HTTP/1.1\r\nA: b").head, "GET / HTTP/1.1\r\nHost: h\r\nA: b\r\n\r\n");
}

// The server is asked for the host the lists judged: the client's own Host
// line gives way to the target's authority, in its place, and one is added
// where the client sent none; directly and through an upstream proxy.
TEST_F(OutgoingRequestTest, HostLineNamesTheTarget) {
    struct {
        std::string url, lines, expected;
    } cases[] = {
        {"http://h.test:8080/a", "Host: blocked.test\r\nA: b\r\n", "Host: h.test:8080\r\nA: b\r\n"},
        {"http://h.test/a", "A: b\r\nhost:blocked.test\r\n", "A: b\r\nHost: h.test\r\n"},
        {"http://h.test:80/a", "X-Host: x\r\n", "Host: h.test\r\nX-Host: x\r\n"},
        {"http://[::1]:81/a", "Host: [::1]\r\n", "Host: [::1]:81\r\n"},
    };
    for (const auto& c : cases) {
        const std::string head = "GET " + c.url + " HTTP/1.1\r\n" + c.lines + "\r\n";
        EXPECT_EQ(Build(head).head, "GET /a HTTP/1.1\r\n" + c.expected + "\r\n") << c.url;
        EXPECT_EQ(Build(head, false).head, "GET " + c.url + " HTTP/1.1\r\n" + c.expected + "\r\n") << c.url;
    }
}

// A body goes on with the one length it was read by: the client's length
// and encoding lines give way to one Content-Length, a chunked body's the
// length of its data.
TEST_F(OutgoingRequestTest, BodyGoesWithOneLength) {
    struct {
        const char* name;
        RequestBodyFraming body;
        std::string lines, expected;
    } cases[] = {
        {"no body", {}, "A: b\r\n", "A: b\r\n"},
        {"length", {true, false, 0, 3}, "Content-Length: 3\r\nA: b\r\n", "Content-Length: 3\r\nA: b\r\n"},
        {"length twice", {true, false, 0, 3}, "content-length: 3\r\nA: b\r\nContent-Length: 3\r\n",
         "Content-Length: 3\r\nA: b\r\n"},
        {"chunked", {true, true, 0, 11}, "A: b\r\nTransfer-Encoding: chunked\r\n", "A: b\r\nContent-Length: 11\r\n"},
        {"empty chunked body", {true, true, 0, 0}, "Transfer-Encoding: chunked\r\n", "Content-Length: 0\r\n"},
    };
    for (const auto& c : cases) {
        record.RequestBody = c.body;
        EXPECT_EQ(Build("GET http://h/ HTTP/1.1\r\nHost: h\r\n" + c.lines + "\r\n").head,
                  "GET / HTTP/1.1\r\nHost: h\r\n" + c.expected + "\r\n")
            << c.name;
    }
}

// The body is read from the request file behind its head and reaches the
// server as its data alone.
TEST_F(OutgoingRequestTest, BodyIsSentFromTheRequestFile) {
    testsupport::TempDir dir;
    struct {
        const char* name;
        std::string head, body, sent;
        bool chunked;
    } cases[] = {
        {"length", "GET http://h/ HTTP/1.1\r\nContent-Length: 5\r\n\r\n", "hello", "hello", false},
        {"chunked", "GET http://h/ HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
         "5\r\nhello\r\n6;x=1\r\n world\r\n0\r\nT: 1\r\n\r\n", "hello world", true},
        {"large", "GET http://h/ HTTP/1.1\r\nContent-Length: 100000\r\n\r\n", std::string(100000, 'b'),
         std::string(100000, 'b'), false},
        {"none", "GET http://h/ HTTP/1.1\r\n\r\n", "", "", false},
    };
    for (const auto& c : cases) {
        record.RequestFile = dir / "req.dat";
        testsupport::WriteFile(record.RequestFile, c.head + c.body);
        record.RequestBody = {!c.body.empty(), c.chunked, c.head.size(), c.sent.size()};
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        std::string received;
        std::thread reader([&] {
            char buffer[4096];
            for (ssize_t n; (n = ::read(pair[1], buffer, sizeof buffer)) > 0;) received.append(buffer, n);
        });
        uint64_t sent = 0;
        EXPECT_TRUE(SendRequestBody(record, pair[0], 5000, sent)) << c.name;
        ::close(pair[0]);
        reader.join();
        ::close(pair[1]);
        EXPECT_EQ(sent, c.sent.size()) << c.name;
        EXPECT_EQ(received, c.sent) << c.name;
    }
    // A file that holds less than its framing said is not sent as if whole.
    testsupport::WriteFile(record.RequestFile, "GET http://h/ HTTP/1.1\r\nContent-Length: 5\r\n\r\nhel");
    record.RequestBody = {true, false, 45, 5};
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    uint64_t sent = 0;
    EXPECT_FALSE(SendRequestBody(record, pair[0], 5000, sent));
    ::close(pair[0]);
    ::close(pair[1]);
}

TEST(CapturedHead, StopsAtTheEmptyLine) {
    struct {
        std::string captured, head;
    } cases[] = {
        {"GET http://h/ HTTP/1.1\r\nA: b\r\n\r\nGET http://h/next HTTP/1.1\r\n\r\n",
         "GET http://h/ HTTP/1.1\r\nA: b\r\n\r\n"},
        {"GET http://h/ HTTP/1.1\nA: b\n\nrest", "GET http://h/ HTTP/1.1\nA: b\n\n"},
        {"GET http://h/ HTTP/1.1\r\nA: b", "GET http://h/ HTTP/1.1\r\nA: b"},
        {"GET http://h/ HTTP/1.1\r\n" + std::string(10000, 'x') + "\r\n\r\nafter",
         "GET http://h/ HTTP/1.1\r\n" + std::string(10000, 'x') + "\r\n\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(CapturedHead(c.captured), c.head);
}

}  // namespace
