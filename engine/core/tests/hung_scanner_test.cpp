// A scan server that takes a request and never answers, end to end: curl
// fetches through a real orqhprx with the stand-in scan server hung. The
// engine's pipe bound is shortened to a second through the environment.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

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
// the scanner taking it and never answering (ERROR_SEM_TIMEOUT), the next
// finds the scanner still held by the first, busy until the bound, logged
// once for the call.
class HungScanServer : public ::testing::Test, protected listenertest::ScannedEngine {};

TEST_F(HungScanServer, ResponsesPassOnceTheBoundRunsOut) {
    hungScanServer_ = true;
    listenertest::EngineOptions options;
    options.env[engine::kPipeCallTimeoutVariable] = "1000";
    StartEngine(options);
    listenertest::OriginServer origin;

    for (int code : {121, 231}) {
        const testsupport::CommandResult fetched = testsupport::RunCommand(
            "curl -sS --max-time 20 -x http://127.0.0.1:" + std::to_string(port_) + " " + origin.url(), 30s);
        EXPECT_EQ(fetched.output, "hello\n") << code << "\n" << engine_->log();
        EXPECT_EQ(ScanFailures(engine_->log(), engine_->dataFolder(), code), 1) << code << "\n" << engine_->log();
    }
    // The scanner got the first request only: it never took another.
    EXPECT_EQ(Scans().find('\n'), Scans().size() - 1) << Scans();
}

}  // namespace
