// A scan server that takes a request and never answers, end to end: curl
// fetches through a real orqhprx with the stand-in scan server hung. The
// engine's pipe bound is shortened to a second through the environment.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/engine_settings.h"
#include "engine_process.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// Log lines "[ScanFile] [NNNN] CallNamedPipe(<response spool>\t1) fail.
// code = <code>" for a response spool of the "hello" URL.
int ScanFailures(const std::string& log, const std::string& dataFolder, int code) {
    const std::string spool = "] CallNamedPipe(" + dataFolder + "cache/req-0-";
    const std::string end = "_hello\t1) fail. code = " + std::to_string(code);
    std::istringstream lines(log);
    int n = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("[ScanFile] [") != std::string::npos && line.find(spool) != std::string::npos &&
            line.size() >= end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0)
            ++n;
    }
    return n;
}

// The response passes once the bound has run out: the first request finds
// the scanner taking it and never answering (ERROR_SEM_TIMEOUT); the next
// ones fail at once, logged, instead of waiting out the bound again. Once
// a scan server answers again, responses are scanned again.
class HungScanServer : public ::testing::Test, protected listenertest::ScannedEngine {
protected:
    std::string Fetch(const std::string& url, std::chrono::seconds limit = 20s) {
        return testsupport::RunCommand("curl -sS --max-time " + std::to_string(limit.count()) + " -x http://127.0.0.1:" +
                                           std::to_string(port_) + " " + url,
                                       limit + 10s)
            .output;
    }
    // The engine with the pipe bound given, the scan server hung.
    void StartWithHungScanner(const char* boundMs) {
        hungScanServer_ = true;
        listenertest::EngineOptions options;
        options.env[engine::kPipeCallTimeoutVariable] = boundMs;
        StartEngine(options);
    }
    listenertest::OriginServer origin;
    static constexpr const char* kSkipped = "fail. the scan server does not answer.";
};

TEST_F(HungScanServer, ResponsesPassOnceTheBoundRunsOut) {
    StartWithHungScanner("1000");

    EXPECT_EQ(Fetch(origin.url()), "hello\n") << engine_->log();
    EXPECT_EQ(ScanFailures(engine_->log(), engine_->dataFolder(), 121), 1) << engine_->log();
    EXPECT_EQ(Fetch(origin.url()), "hello\n") << engine_->log();
    EXPECT_EQ(engine_->count(kSkipped), 1) << engine_->log();
    // The scanner got the first request only: it never took another.
    EXPECT_EQ(Scans().find('\n'), Scans().size() - 1) << Scans();

    stub_.reset();
    hungScanServer_ = false;
    StartScanServer();
    const std::string scansBefore = Scans();
    EXPECT_TRUE(testsupport::WaitUntil(
        [&] { return Fetch(origin.url()) == "hello\n" && Scans().size() > scansBefore.size(); }, 30s))
        << engine_->log();
}

// A burst of scanned requests against a scanner that hangs: each is
// answered within the bound and a little more, not one bound after the
// other (curl's time limit would cut the later ones off).
TEST_F(HungScanServer, ABurstIsAnsweredWithinTheBound) {
    StartWithHungScanner("4000");

    std::vector<std::string> replies(8);
    std::vector<std::thread> clients;
    for (auto& reply : replies) clients.emplace_back([&] { reply = Fetch(origin.url(), 14s); });
    for (auto& client : clients) client.join();
    for (const std::string& reply : replies) EXPECT_EQ(reply, "hello\n") << engine_->log();
    EXPECT_EQ(ScanFailures(engine_->log(), engine_->dataFolder(), 121), 1) << engine_->log();
    EXPECT_EQ(engine_->count(kSkipped), 7) << engine_->log();
}

}  // namespace
