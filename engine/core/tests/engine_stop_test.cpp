// The engine's stop on SIGTERM (the service's and systemd's stop) and
// SIGINT (Ctrl+C), end to end: curl downloads from a slow origin through a
// real orqhprx, which is then told to stop.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine_process.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// trickle_origin.py: every download from it lasts far beyond the test.
class TrickleOrigin {
public:
    TrickleOrigin() {
        process_ = std::make_unique<testsupport::Process>(
            std::vector<std::string>{"/usr/bin/python3", testsupport::SourcePath("engine/core/tests/trickle_origin.py")},
            testsupport::Process::Options{});
        testsupport::WaitUntil([&] {
            const std::string out = process_->out();
            if (out.rfind("port ", 0) != 0 || out.find('\n') == std::string::npos) return false;
            port_ = std::stoi(out.substr(5));
            return true;
        });
    }
    int port() const { return port_; }
    int requests() const {
        const std::string out = process_->out();
        int n = 0;
        for (std::size_t at = out.find("request\n"); at != std::string::npos; at = out.find("request\n", at + 1)) ++n;
        return n;
    }

private:
    std::unique_ptr<testsupport::Process> process_;
    int port_ = 0;
};

std::vector<std::string> RequestFiles(const std::string& cacheFolder, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(cacheFolder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    return names;
}

class EngineStop : public ::testing::TestWithParam<int> {};

// The engine stops accepting, ends its connections (the clients see them
// close instead of waiting out their downloads), deletes its request and
// spool files, and exits with 0. Another protocol's files in the shared
// cache folder stay.
TEST_P(EngineStop, EndsConnectionsAndLeavesNoSpoolBehind) {
    constexpr int kClients = 4;
    TrickleOrigin origin;
    ASSERT_NE(origin.port(), 0);
    const int port = testsupport::FreeTcpPort();
    listenertest::EngineProcess engine("127.0.0.1 " + std::to_string(port) + "=\r\n");
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();
    const std::string cache = engine.dataFolder() + "cache";
    testsupport::WriteFile(cache + "/req-1-0001.dat", "another engine's mail");

    std::vector<std::unique_ptr<testsupport::Process>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<testsupport::Process>(
            std::vector<std::string>{"/usr/bin/curl", "-sS", "-o", "/dev/null", "--max-time", "60", "-x",
                                     "http://127.0.0.1:" + std::to_string(port),
                                     "http://127.0.0.1:" + std::to_string(origin.port()) + "/big" +
                                         std::to_string(i)},
            testsupport::Process::Options{}));
    }
    // Four curls and the origin start slowly on a loaded machine.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return origin.requests() == kClients; }, 30s)) << engine.log();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return RequestFiles(cache, "req-0-").size() >= kClients; }, 30s))
        << engine.log();

    engine.process().terminate(GetParam());
    EXPECT_EQ(engine.process().wait(15s), 0) << engine.log();
    for (auto& client : clients) {
        // Ended by the engine's close: neither finished (64 MiB take
        // minutes) nor stopped by curl's own time-out (28).
        const int status = client->wait(15s);
        EXPECT_NE(status, -1) << "curl still waits";
        EXPECT_NE(status, 0);
        EXPECT_NE(status, 28) << client->err();
    }
    EXPECT_TRUE(RequestFiles(cache, "req-0-").empty()) << RequestFiles(cache, "req-0-")[0];
    EXPECT_EQ(RequestFiles(cache, "req-1-"), std::vector<std::string>{"req-1-0001.dat"});
}

// A worker that can't run to its end in time (here it waits for a hung
// scan server, which no socket wakes) is left to end with the process; its
// request and response spool files go all the same.
class EngineStopBounded : public ::testing::Test, protected listenertest::ScannedEngine {};

TEST_F(EngineStopBounded, FilesOfWorkersStillRunningGoToo) {
    hungScanServer_ = true;
    StartEngine({});
    listenertest::OriginServer origin;
    const std::string cache = engine_->dataFolder() + "cache";

    testsupport::Process client({"/usr/bin/curl", "-sS", "-o", "/dev/null", "--max-time", "60", "-x",
                                 "http://127.0.0.1:" + std::to_string(port_), origin.url()},
                                testsupport::Process::Options{});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !Scans().empty(); })) << engine_->log();
    ASSERT_EQ(RequestFiles(cache, "req-0-").size(), 2u) << engine_->log();  // the request and the response

    engine_->process().terminate(SIGTERM);
    EXPECT_EQ(engine_->process().wait(15s), 0) << engine_->log();
    const int status = client.wait(15s);
    EXPECT_NE(status, -1) << "curl still waits";
    EXPECT_NE(status, 0);
    EXPECT_NE(status, 28) << client.err();
    EXPECT_TRUE(RequestFiles(cache, "req-0-").empty()) << RequestFiles(cache, "req-0-")[0];
}

INSTANTIATE_TEST_SUITE_P(Signals, EngineStop, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

}  // namespace
