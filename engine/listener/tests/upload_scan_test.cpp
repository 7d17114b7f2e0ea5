// The worker's scan of uploaded request bodies, end to end: curl uploads
// through a real orqhprx, with the stand-in scan server.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>

#include "avstub.h"
#include "engine_process.h"
#include "test_support.h"

namespace {

using listenertest::EngineProcess;
using namespace std::chrono_literals;

// The worker's upload scan lines: "[AcceptClients] [socket] [request line] [finding]".
int UploadScanLines(const std::string& log) {
    static const std::regex line(R"(\[AcceptClients\] \[\d+\] \[[A-Z]+ [^\n]*\] \[[^\n]*\]\n)");
    return static_cast<int>(std::distance(std::sregex_iterator(log.begin(), log.end(), line), std::sregex_iterator()));
}

class ListenerUploadScan : public ::testing::Test, protected listenertest::ScannedEngine {
protected:
    void SetUp() override {
        listenertest::EngineOptions options;
        options.extra = {"-!=0", "-t=5,20000"};
        StartEngine(options);
    }

    // Uploads `body` with curl; the whole answer, head included.
    std::string Upload(const std::string& method, const std::string& body) {
        testsupport::WriteFile(work_ / "body", body);
        return testsupport::RunCommand("curl -sS -i --max-time 10 -x http://127.0.0.1:" + std::to_string(port_) +
                                           " -X " + method + " -H 'Expect:' --data-binary @" + (work_ / "body") +
                                           " http://127.0.0.1:9/upload",
                                       15s)
            .output;
    }

    testsupport::TempDir work_;
};

// An infected upload gets the virus page, whose Content-Length is the
// length of the page that follows; the request file is gone afterwards.
TEST_F(ListenerUploadScan, InfectedUploadGetsTheVirusPage) {
    for (const std::string method : {"POST", "PUT"}) {
        std::string reply = Upload(method, std::string("data=") + avstub::kEicarTestString);
        ASSERT_EQ(reply.rfind("HTTP/1.1 407 ", 0), 0u) << method << "\n" << reply << engine_->log();
        std::size_t headEnd = reply.find("\r\n\r\n");
        ASSERT_NE(headEnd, std::string::npos) << reply;
        const std::string body = reply.substr(headEnd + 4);
        EXPECT_NE(reply.find("Content-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos)
            << reply;
        EXPECT_NE(body.find(avstub::kFinding), std::string::npos) << body;
        EXPECT_NE(reply.find("Proxy-Connection: close\r\n"), std::string::npos) << reply;
        EXPECT_TRUE(engine_->waitForLog("[" + method + " http://127.0.0.1:9/upload HTTP/1.1] [" + avstub::kFinding +
                                        "]"))
            << engine_->log();
    }
    // The page ends the request: the dispatcher never sees it.
    EXPECT_EQ(engine_->count("Start Proxy_Dispatch()"), 0) << engine_->log();
    EXPECT_NE(Scans().find("\t1\t" + engine_->dataFolder() + "cache/req-0-"), std::string::npos) << Scans();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// A clean upload goes on to the dispatcher; requests without a body are
// not scanned.
TEST_F(ListenerUploadScan, CleanUploadPassesToTheDispatcher) {
    std::string reply = Upload("POST", "name=value");
    EXPECT_EQ(reply.find("407"), std::string::npos) << reply;
    EXPECT_TRUE(engine_->waitForLog("[POST http://127.0.0.1:9/upload HTTP/1.1] [CLEAN]")) << engine_->log();
    EXPECT_TRUE(engine_->waitForLog("Start Proxy_Dispatch()")) << engine_->log();
    EXPECT_NE(Scans().find("\t1\t" + engine_->dataFolder() + "cache/req-0-"), std::string::npos) << Scans();

    listenertest::OriginServer origin;
    std::string fetched = testsupport::RunCommand("curl -sS --max-time 10 -x http://127.0.0.1:" +
                                                      std::to_string(port_) + " " + origin.url(),
                                                  15s)
                              .output;
    EXPECT_EQ(fetched, "hello\n") << engine_->log();
    EXPECT_EQ(UploadScanLines(engine_->log()), 1) << engine_->log();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

}  // namespace
