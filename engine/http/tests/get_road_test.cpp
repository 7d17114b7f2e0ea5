// The GET road end to end: curl (and raw clients) through a real orqhprx to
// a small origin server (origin_server.py), with the stand-in scan server.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "avstub.h"
#include "engine_process.h"
#include "test_support.h"

namespace {

using listenertest::Client;
using listenertest::EngineProcess;
using namespace std::chrono_literals;

// The origin's data pattern (origin_server.py).
constexpr auto Pattern = &listenertest::OriginPattern;

class GetRoad : public ::testing::Test, protected listenertest::ScannedEngine {
protected:
    void Start(std::vector<std::string> extra = {}, std::vector<std::pair<std::string, std::string>> files = {},
               bool scanServer = true) {
        listenertest::EngineOptions options;
        options.extra = {"-!=0", "-g=1"};
        options.extra.insert(options.extra.end(), extra.begin(), extra.end());
        options.files = std::move(files);
        StartEngine(options, scanServer);
    }

    // curl through the engine; returns the exit code, the output in `out`.
    int Curl(const std::string& arguments, std::string* out = nullptr) {
        testsupport::CommandResult result = testsupport::RunCommand(
            "curl -sS --max-time 20 -x http://127.0.0.1:" + std::to_string(port_) + " " + arguments, 30s);
        if (out) *out = result.output;
        return result.exitCode;
    }

    std::string Fetch(const std::string& url, const std::string& options = "") {
        const std::string file = work_ / "fetched";
        std::filesystem::remove(file);
        EXPECT_EQ(Curl(options + " -o " + file + " '" + url + "'"), 0) << url << engine_->log();
        return testsupport::FileExists(file) ? testsupport::ReadFile(file) : "";
    }

    testsupport::TempDir work_;
    listenertest::OriginServer origin_;
};

// Each body framing arrives byte for byte; the scan sees the body alone,
// from the HTTP engine; the access log has a line per request; no spool
// file stays behind.
TEST_F(GetRoad, CleanResponsesArriveWholeInEveryFraming) {
    Start();
    const std::string expected = Pattern(70000);
    for (const std::string form : {"length", "chunked", "close", "lf"}) {
        EXPECT_TRUE(Fetch(origin_.url(form + "/data-70000")) == expected) << form << engine_->log();
        EXPECT_NE(Scans().find("\t1\t" + engine_->dataFolder() + "cache/req-0-"), std::string::npos) << Scans();
        EXPECT_NE(Scans().find("_" + form + "_data-70000\n"), std::string::npos) << form << Scans();
    }
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
    EXPECT_EQ(engine_->count("] [CLEAN]"), 8) << engine_->log();  // virus scan and word filter, each request

    std::string accessLog;
    for (const auto& entry : std::filesystem::directory_iterator(engine_->dataFolder() + "ncsalog"))
        accessLog += testsupport::ReadFile(entry.path());
    for (const std::string form : {"length", "chunked", "close", "lf"}) {
        EXPECT_NE(accessLog.find("\"GET " + origin_.url(form + "/data-70000") + " HTTP/1.1\" 200 "),
                  std::string::npos)
            << accessLog;
    }
}

// Without a scan server every framing still arrives whole, small or past
// the memory the engine keeps a response in, and each scan is logged as a
// call that found no server. A scan server that comes up while a response
// arrives is asked about its whole body.
TEST_F(GetRoad, ScanServerAbsentOrComingUpLate) {
    Start({}, {}, false);
    for (const std::string form : {"length", "chunked", "close", "lf"}) {
        for (size_t size : {100, 70000}) {
            const std::string name = form + "/data-" + std::to_string(size);
            EXPECT_TRUE(Fetch(origin_.url(name)) == Pattern(size)) << name << engine_->log();
        }
    }
    EXPECT_EQ(engine_->count("[ScanFile] ["), 8) << engine_->log();
    EXPECT_EQ(engine_->count("\t1) fail. code = 2"), 8) << engine_->log();
    EXPECT_EQ(engine_->count("] [CLEAN]"), 16) << engine_->log();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();

    std::string reply;
    std::thread fetch([&] { Curl("-i '" + origin_.url("late/eicar") + "'", &reply); });
    // The request is out, so the engine has chosen its spool files.
    EXPECT_TRUE(engine_->waitForLog("GET /late/eicar HTTP/1.1")) << engine_->log();
    StartScanServer();
    origin_.release();
    fetch.join();
    EXPECT_NE(reply.find(avstub::kFinding), std::string::npos) << reply << engine_->log();
    EXPECT_NE(Scans().find("_late_eicar\n"), std::string::npos) << Scans();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// A keep-alive connection keeps one request file, written over by each
// request (and cut to it), and deletes it when the connection ends.
TEST_F(GetRoad, KeepAliveConnectionReusesItsRequestFile) {
    Start();
    auto requestFiles = [&] {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(engine_->dataFolder() + "cache"))
            if (entry.path().extension() == ".dat") found.push_back(entry.path());
        return found;
    };
    const std::string host = "127.0.0.1:" + std::to_string(origin_.port());
    Client client("127.0.0.1", port_);
    ASSERT_TRUE(client.ok());
    for (int request = 1; request <= 2; ++request) {
        // The second request is the shorter one: nothing of the first may
        // stay behind it.
        const std::string head = "GET http://" + host + "/length/data-10 HTTP/1.1\r\nHost: " + host +
                                 "\r\nProxy-Connection: keep-alive\r\n" +
                                 (request == 1 ? "X-Padding: " + std::string(500, 'p') + "\r\n" : "") + "\r\n";
        ASSERT_TRUE(client.send(head));
        std::string reply;
        char buffer[4096];
        while (reply.find("\r\n\r\n" + Pattern(10)) == std::string::npos && client.readable(10s)) {
            ssize_t n = ::recv(client.fd(), buffer, sizeof buffer, 0);
            if (n <= 0) break;
            reply.append(buffer, static_cast<size_t>(n));
        }
        EXPECT_NE(reply.find("\r\n\r\n" + Pattern(10)), std::string::npos) << reply;
        EXPECT_TRUE(testsupport::WaitUntil([&] {
            auto files = requestFiles();
            return files.size() == 1 && testsupport::ReadFile(files[0]) == head;
        })) << engine_->log();
    }
    client.close();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
    EXPECT_EQ(engine_->count("] [CLEAN]"), 4) << engine_->log();
}

// EICAR in a plain body, spread over chunks, and behind a head of bare LF
// lines: every one is found, and the client gets the virus page with a
// Content-Length that fits it; so does an infected upload.
TEST_F(GetRoad, InfectedResponsesBecomeTheVirusPage) {
    Start();
    for (const std::string form : {"length", "chunked", "lf"}) {
        std::string reply;
        EXPECT_EQ(Curl("-i '" + origin_.url(form + "/eicar") + "'", &reply), 0) << reply;
        // The head keeps the server's own line ends (bare LF in the lf form).
        size_t crlf = reply.find("\n\r\n"), lf = reply.find("\n\n");
        size_t bodyStart = std::min(crlf == std::string::npos ? crlf : crlf + 3, lf == std::string::npos ? lf : lf + 2);
        ASSERT_NE(bodyStart, std::string::npos) << form << reply;
        std::string head = reply.substr(0, bodyStart), body = reply.substr(bodyStart);
        EXPECT_NE(body.find(avstub::kFinding), std::string::npos) << form << reply;
        EXPECT_EQ(body.find("EICAR-STANDARD"), std::string::npos) << form << reply;
        EXPECT_NE(head.find("Content-Length: " + std::to_string(body.size())), std::string::npos) << form << reply;
        EXPECT_EQ(head.find("Transfer-Encoding"), std::string::npos) << form << reply;
    }
    EXPECT_EQ(engine_->count(std::string("] [") + avstub::kFinding + "]"), 3) << engine_->log();

    // An infected upload never reaches the server.
    testsupport::WriteFile(work_ / "upload", avstub::kEicarTestString);
    std::string reply;
    EXPECT_EQ(Curl("-i --data-binary @" + work_ / "upload" + " '" + origin_.url("length/data-1") + "'", &reply), 0);
    size_t bodyStart = reply.find("\r\n\r\n");
    ASSERT_NE(bodyStart, std::string::npos) << reply;
    std::string body = reply.substr(bodyStart + 4);
    EXPECT_NE(body.find(avstub::kFinding), std::string::npos) << reply;
    EXPECT_NE(reply.find("Content-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos) << reply;
    EXPECT_EQ(origin_.heads().find("POST"), std::string::npos) << origin_.heads();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// A response of more than 2 MiB with a Content-Length reaches the client
// while it arrives; its body is still scanned after (a finding can only be
// logged then), and the word filter is not asked.
TEST_F(GetRoad, LargeResponseIsStreamed) {
    Start();
    const size_t size = 3 * 1024 * 1024;
    EXPECT_TRUE(Fetch(origin_.url("length/data-" + std::to_string(size))) == Pattern(size)) << engine_->log();
    const std::string log = engine_->log();
    size_t firstSend = log.find("C:send:");
    size_t lastReceive = log.rfind("S:recv(");
    ASSERT_NE(firstSend, std::string::npos) << log;
    EXPECT_LT(firstSend, lastReceive) << "the response was relayed only after it was whole";
    EXPECT_TRUE(engine_->waitForEmptyCache()) << log;
    EXPECT_EQ(engine_->count("] [CLEAN]"), 1) << engine_->log();
    EXPECT_NE(Scans().find("_length_data-" + std::to_string(size) + "\n"), std::string::npos) << Scans();
    EXPECT_EQ(engine_->count("[ScanHttpFile]"), 0) << engine_->log();
}

// A client that reads more slowly than the server sends still gets every
// byte: the relay waits for it longer than the few milliseconds of the
// client time-out.
TEST_F(GetRoad, SlowClientGetsTheWholeResponse) {
    Start();
    const size_t size = 6000000;
    EXPECT_TRUE(Fetch(origin_.url("length/data-" + std::to_string(size)), "--limit-rate 3M") == Pattern(size))
        << engine_->log();
}

// Several URLs of one curl call share one server connection, bodiless
// answers included; a kept connection that the server drops is replaced
// and the request it lost is sent again.
TEST_F(GetRoad, KeptServerConnections) {
    Start();
    std::string out;
    EXPECT_EQ(Curl("-o /dev/null -o /dev/null -o /dev/null -o /dev/null '" + origin_.url("length/data-10") + "' '" +
                       origin_.url("nocontent/x") + "' '" + origin_.url("notmodified/x") + "' '" +
                       origin_.url("chunked/data-300") + "'",
                   &out),
              0)
        << out;
    std::vector<int> connections = origin_.connections();
    ASSERT_EQ(connections.size(), 4u) << origin_.heads();
    EXPECT_TRUE(std::all_of(connections.begin(), connections.end(), [&](int c) { return c == connections[0]; }))
        << origin_.heads();

    EXPECT_EQ(Curl("-o /dev/null -o /dev/null '" + origin_.url("dropnext/data-10") + "' '" +
                       origin_.url("length/data-20") + "' -w '%{size_download} '",
                   &out),
              0)
        << out << engine_->log();
    EXPECT_EQ(out, "10 20 ");
    connections = origin_.connections();
    ASSERT_EQ(connections.size(), 6u) << origin_.heads();
    EXPECT_NE(connections[4], connections[5]) << origin_.heads();
}

// With -u=0 the connection rules still hold: a close-delimited response
// ends the client connection, so curl neither hangs nor mixes it up with
// the next one.
TEST_F(GetRoad, CloseDelimitedResponseEndsTheConnectionWithoutAddedHeaders) {
    Start({"-u=0"});
    std::string out;
    EXPECT_EQ(Curl("-o /dev/null -o /dev/null -w '%{size_download} ' '" + origin_.url("close/data-1000") + "' '" +
                       origin_.url("length/data-20") + "'",
                   &out),
              0)
        << out << engine_->log();
    EXPECT_EQ(out, "1000 20 ");
    EXPECT_EQ(origin_.heads().find("X-Forwarded-For"), std::string::npos) << origin_.heads();
}

// black.db refuses (the connection ends without a reply); white.db skips
// the scan, so its EICAR arrives as it is.
TEST_F(GetRoad, BlackAndWhiteLists) {
    Start({}, {{"black.db", "' blocked\r\n*/length/data-1*\r\n"},
               {"white.db", "http://127.0.0.1:*/length/eicar\r\n"}});
    std::string out;
    EXPECT_EQ(Curl("'" + origin_.url("length/data-1") + "'", &out), 52) << out;  // empty reply
    // The hit is shown on the console, whatever -v and -w say.
    EXPECT_TRUE(testsupport::WaitUntil(
        [&] { return engine_->console().find("blacklist [GET " + origin_.url("length/data-1")) != std::string::npos; }))
        << engine_->console();
    EXPECT_EQ(engine_->count("blacklist ["), 0) << engine_->log();
    // Control bytes of a request line reach the log as "?".
    Client client("127.0.0.1", port_);
    ASSERT_TRUE(client.send("GET " + origin_.url("length/data-1X\x1b[2K\x07") + " HTTP/1.1\r\n\r\n"));
    int error = -1;
    EXPECT_EQ(client.readToEnd(error, 15s), "");
    EXPECT_TRUE(engine_->waitForLog("] GET " + origin_.url("length/data-1X?[2K?") + " HTTP/1.1\r\n")) << engine_->log();

    EXPECT_EQ(Fetch(origin_.url("length/eicar")), avstub::kEicarTestString);
    EXPECT_TRUE(engine_->waitForLog("whitelist [GET " + origin_.url("length/eicar"))) << engine_->log();
    EXPECT_EQ(Scans().find("length_eicar"), std::string::npos) << Scans();
    EXPECT_EQ(origin_.connections().size(), 1u) << origin_.heads();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// Whatever spelling of a black-listed IPv4 address a request uses, GET or
// CONNECT, the list entry for its dotted form refuses it (raw clients:
// curl itself would rewrite the spelling).
TEST_F(GetRoad, NumericSpellingsOfABlackListedAddressAreRefused) {
    Start({}, {{"black.db", "127.0.0.1,get,tcp,127.88.0.1,*\r\n127.0.0.1,connect,tcp,127.88.0.1,*\r\n"}});
    const std::string port = std::to_string(origin_.port());
    for (const std::string spelling : {"127.88.1", "2136473601", "0x7f580001", "0177.0130.0.01", "127.88.0.001"}) {
        const std::string get = "GET http://" + spelling + ":" + port + "/length/hello HTTP/1.1";
        const std::string connect = "CONNECT " + spelling + ":443 HTTP/1.1";
        for (const std::string& line : {get, connect}) {
            Client client("127.0.0.1", port_);
            ASSERT_TRUE(client.send(line + "\r\nHost: x\r\n\r\n"));
            int error = -1;
            EXPECT_EQ(client.readToEnd(error, 15s), "") << line;
        }
        EXPECT_TRUE(testsupport::WaitUntil(
            [&] { return engine_->console().find("blacklist [" + get + "]") != std::string::npos; }))
            << get << engine_->console();
        EXPECT_TRUE(engine_->waitForLog("QueryDBList(" + connect + ") hit.")) << connect << engine_->log();
    }
}

// Requests the road does not serve: an answer of the proxy where one fits
// (a server that can't be reached gets 502), and in every case the end of
// the connection instead of a wait.
TEST_F(GetRoad, RequestsItDoesNotServe) {
    Start({"-$=1"});  // the unreachable server is tried once
    const std::string host = "127.0.0.1:" + std::to_string(origin_.port());
    struct {
        std::string request;
        std::string reply;  // the start of the reply; empty: none
    } cases[] = {
        {"GET /length/data-10 HTTP/1.1\r\nHost: " + host + "\r\nProxy-Connection: keep-alive\r\n\r\n",
         "HTTP/1.1 400 Bad Request\r\n"},
        // An FTP server that can't be reached (the ftp:// road itself is
        // tested with the FTP roads).
        {"GET ftp://127.0.0.1:1/f.txt HTTP/1.1\r\nProxy-Connection: keep-alive\r\n\r\n",
         "HTTP/1.1 502 Bad Gateway\r\n"},
        // A tunnel to a port other than 443 that white.db does not list.
        {"CONNECT " + host + " HTTP/1.1\r\nProxy-Connection: keep-alive\r\n\r\n", ""},
        {std::string(21, 'X') + " http://" + host + "/ HTTP/1.1\r\n\r\n", ""},
        {"GET http://" + host + "/length/data-10\r\nProxy-Connection: keep-alive\r\n\r\n",
         "HTTP/1.1 400 Bad Request\r\n"},
        {"GET http://127.0.0.1:1/ HTTP/1.1\r\nProxy-Connection: keep-alive\r\n\r\n", "HTTP/1.1 502 Bad Gateway\r\n"},
    };
    for (const auto& c : cases) {
        Client client("127.0.0.1", port_);
        ASSERT_TRUE(client.ok());
        ASSERT_TRUE(client.send(c.request));
        int error = -1;
        std::string reply = client.readToEnd(error, 15s);
        EXPECT_EQ(error, 0) << c.request << reply;
        EXPECT_EQ(reply.substr(0, c.reply.size()), c.reply) << c.request << reply;
        if (c.reply.empty()) {
            EXPECT_EQ(reply, "") << c.request;
        }
    }
    EXPECT_TRUE(origin_.heads().empty()) << origin_.heads();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// Credentials the engine checked (-a) go no further than the engine; the
// rule set of the word filter is then the user's.
TEST_F(GetRoad, ProxyCredentialsStayWithTheEngine) {
    Start({"-a"}, {{"http-auth.ini", "alice:secret,Alice\r\n"}});
    EXPECT_TRUE(Fetch(origin_.url("length/data-10"), "-U alice:secret") == Pattern(10)) << engine_->log();
    EXPECT_EQ(origin_.heads().find("Proxy-Authorization"), std::string::npos) << origin_.heads();
    EXPECT_NE(origin_.heads().find("GET /length/data-10 HTTP/1.1"), std::string::npos) << origin_.heads();
    EXPECT_TRUE(engine_->waitForLog("?http-block/alice.db*127.0.0.1/length_data-10")) << engine_->log();
}

// A response whose head never ends is all body: it is scanned whole and
// reaches the client unchanged, white-listed or not.
TEST_F(GetRoad, ResponseWithoutHeadEndIsAllBody) {
    Start({}, {{"white.db", "*/noend/white\r\n"}});
    const std::string host = "127.0.0.1:" + std::to_string(origin_.port());
    struct {
        std::string name, reply;
    } cases[] = {
        {"eicar", avstub::kFinding},                                    // scanned whole: the virus page
        {"white", "HTTP/1.1 200 OK\r\nX-Data: hello\n"},                // white-listed: as it came
        {"other", "HTTP/1.1 200 OK\r\nX-Data: hello\n"},                // clean: as it came
    };
    for (const auto& c : cases) {
        Client client("127.0.0.1", port_);
        ASSERT_TRUE(client.send("GET http://" + host + "/noend/" + c.name + " HTTP/1.1\r\n\r\n"));
        int error = -1;
        std::string reply = client.readToEnd(error, 15s);
        if (c.name == "eicar") {
            EXPECT_NE(reply.find(c.reply), std::string::npos) << reply;
        } else {
            EXPECT_EQ(reply, c.reply) << engine_->log();
        }
    }
    EXPECT_NE(Scans().find("_noend_eicar\n"), std::string::npos) << Scans();
    EXPECT_TRUE(engine_->waitForLog("whitelist [GET http://" + host + "/noend/white")) << engine_->log();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// Bytes a client sends behind a request head are not sent on with it.
TEST_F(GetRoad, BytesBehindTheHeadStayBehind) {
    Start();
    const std::string host = "127.0.0.1:" + std::to_string(origin_.port());
    Client client("127.0.0.1", port_);
    ASSERT_TRUE(client.ok());
    ASSERT_TRUE(client.send("GET http://" + host + "/length/data-10 HTTP/1.1\r\nHost: " + host +
                            "\r\nProxy-Connection: close\r\n\r\nSMUGGLED /x HTTP/1.1\r\n\r\n"));
    int error = -1;
    std::string reply = client.readToEnd(error, 15s);
    EXPECT_NE(reply.find("\r\n\r\n" + Pattern(10)), std::string::npos) << reply;
    EXPECT_EQ(origin_.heads().find("SMUGGLED"), std::string::npos) << origin_.heads();
    EXPECT_NE(origin_.heads().find("Connection: close"), std::string::npos) << origin_.heads();
}

// A server that can't be reached, closes without an answer or says nothing
// within the time-out gets the proxy's own answer, not an empty reply: a
// dead site must not look like a broken proxy. So does an answer whose
// Content-Length lines disagree (the client could take either length).
TEST_F(GetRoad, ServerFailuresGetTheProxysAnswer) {
    Start({"-$=1", "-t=1000,2000,1000,1000"});
    const struct {
        std::string url;
        std::string status;
    } cases[] = {
        {"http://127.0.0.1:1/x", "502 Bad Gateway"},
        {origin_.url("hangup/x"), "502 Bad Gateway"},
        {origin_.url("silent/x"), "504 Gateway Timeout"},
        {origin_.url("twolengths/data-50"), "502 Bad Gateway"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(Curl("-i '" + c.url + "'", &out), 0) << c.url << out;
        EXPECT_EQ(out.rfind("HTTP/1.1 " + c.status + "\r\n", 0), 0u) << c.url << out;
        EXPECT_NE(out.find("Connection: close\r\n"), std::string::npos) << out;
        EXPECT_NE(out.find("<title>" + c.status + "</title>"), std::string::npos) << out;
        EXPECT_EQ(out.find(Pattern(50)), std::string::npos) << out;
    }
    EXPECT_TRUE(engine_->waitForLog("] connect fail.")) << engine_->log();
    EXPECT_TRUE(engine_->waitForLog("] Content-Length lines disagree.")) << engine_->log();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
    // A host name from the request is shown as text, not markup.
    Client client("127.0.0.1", port_);
    ASSERT_TRUE(client.send("GET http://<b>x.invalid/ HTTP/1.1\r\nHost: <b>x.invalid\r\n\r\n"));
    int error = -1;
    std::string reply = client.readToEnd(error, 15s);
    EXPECT_NE(reply.find("&lt;b&gt;x.invalid"), std::string::npos) << reply;
    EXPECT_EQ(reply.find("<b>"), std::string::npos) << reply;
}

// Chunked and close-delimited responses past the streaming size reach the
// client while they arrive, as Content-Length ones do; a chunked answer
// with a Content-Length beside it goes out without the length.
TEST_F(GetRoad, LargeResponsesOfEveryFramingAreStreamed) {
    Start();
    const size_t size = 3 * 1024 * 1024;
    for (const std::string form : {"chunked", "close"}) {
        const std::string name = form + "/data-" + std::to_string(size);
        const size_t logStart = engine_->log().size();
        EXPECT_TRUE(Fetch(origin_.url(name)) == Pattern(size)) << name << engine_->log();
        const std::string log = engine_->log().substr(logStart);
        size_t firstSend = log.find("C:send:");
        ASSERT_NE(firstSend, std::string::npos) << log;
        EXPECT_LT(firstSend, log.rfind("S:recv(")) << form << ": relayed only after it was whole";
        EXPECT_NE(Scans().find("_" + form + "_data-" + std::to_string(size) + "\n"), std::string::npos) << Scans();
    }
    std::string out;
    EXPECT_EQ(Curl("-i '" + origin_.url("chunkedlength/data-5000") + "'", &out), 0) << out;
    EXPECT_EQ(out.find("Content-Length"), std::string::npos) << out.substr(0, 300);
    EXPECT_NE(out.find(Pattern(5000)), std::string::npos);
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// A virus in a response too large to wait for: the body streams on, but
// its tail waits for the scan, and a finding resets the connection, so
// whatever the framing and wherever the virus lies, curl fails instead of
// keeping a complete file; the finding is logged and the spool goes.
TEST_F(GetRoad, StreamedVirusNeverArrivesWhole) {
    Start();
    const size_t size = 3 * 1024 * 1024;
    const std::string file = work_ / "fetched";
    for (const std::string form : {"length", "chunked", "close"}) {
        for (const std::string where : {"eicarstart", "eicarend"}) {
            const std::string name = form + "/" + where + "-" + std::to_string(size);
            std::filesystem::remove(file);
            std::string out;
            EXPECT_NE(Curl("-o " + file + " '" + origin_.url(name) + "'", &out), 0) << name << out;
            const size_t got = testsupport::FileExists(file) ? std::filesystem::file_size(file) : 0;
            EXPECT_LT(got, size) << name;
            EXPECT_GT(got, size / 2) << name << ": the body was not streamed";
            EXPECT_TRUE(engine_->waitForLog("_" + form + "_" + where + "-" + std::to_string(size) + " --- " +
                                            avstub::kFinding))
                << name << engine_->log();
        }
    }
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// A body framed by the close alone that the server ends with a reset
// reaches the client with a reset too, small or streamed: a clean close
// would pass it off as whole.
TEST_F(GetRoad, BodyCutByTheServerEndsInAReset) {
    Start();
    for (const size_t size : {size_t{1000}, size_t{3 * 1024 * 1024}}) {
        std::string out;
        EXPECT_NE(Curl("-o /dev/null '" + origin_.url("cut/data-" + std::to_string(size)) + "'", &out), 0)
            << size << engine_->log();
    }
    // The same body ended by a clean close is whole.
    EXPECT_TRUE(Fetch(origin_.url("close/data-1000")) == Pattern(1000));
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// A client that leaves a download without end is not followed by the
// engine filling its disk: the receive stops and the spool goes.
TEST_F(GetRoad, DownloadStopsWhenTheClientHasGone) {
    Start();
    testsupport::CommandResult result = testsupport::RunCommand(
        "curl -sS --limit-rate 1M --max-time 2 -o /dev/null -x http://127.0.0.1:" + std::to_string(port_) + " '" +
            origin_.url("endless/x") + "'",
        30s);
    EXPECT_NE(result.exitCode, 0);  // curl gave up
    EXPECT_TRUE(testsupport::WaitUntil([&] { return origin_.readerGone(); }, 20s)) << engine_->log();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// python-requests keeps its connections for further requests unless told
// otherwise; the engine, which closes after each answer to a client that
// did not ask for keep-alive, says so, and no request is lost.
TEST_F(GetRoad, ClientsThatReuseConnectionsAreToldOfTheClose) {
    Start();
    testsupport::WriteFile(work_ / "client.py", R"(import sys, requests
proxy = {"http": "http://127.0.0.1:" + sys.argv[1]}
session = requests.Session()
failures, closes = 0, 0
for i in range(300):
    try:
        r = session.get(sys.argv[2], proxies=proxy, timeout=10)
        failures += r.status_code != 200 or len(r.content) != 10
        closes += r.headers.get("Connection", "").lower() == "close"
    except Exception as e:
        failures += 1
print(failures, closes)
)");
    testsupport::CommandResult result = testsupport::RunCommand(
        "/usr/bin/python3 " + work_ / "client.py" + " " + std::to_string(port_) + " '" + origin_.url("length/data-10") + "'",
        120s);
    EXPECT_EQ(result.output, "0 300\n") << engine_->log().substr(0, 2000);
}

}  // namespace
