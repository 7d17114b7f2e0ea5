// The set-up of the end-to-end tests of the other-method road and the
// HTTP cache: the test origin and one orqhprx on a free loopback port, and
// curl through it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine_process.h"
#include "test_support.h"

namespace roadtest {

class RoadFixture : public ::testing::Test {
protected:
    // Starts the engine with keep-alive on and the given options and files.
    void Start(std::vector<std::string> extra = {}, std::vector<std::pair<std::string, std::string>> files = {}) {
        port_ = testsupport::FreeTcpPort();
        listenertest::EngineOptions options;
        options.extra = {"-!=0"};
        options.extra.insert(options.extra.end(), extra.begin(), extra.end());
        options.files = std::move(files);
        engine_ = std::make_unique<listenertest::EngineProcess>("127.0.0.1 " + std::to_string(port_) + "=\r\n", options);
        ASSERT_TRUE(testsupport::WaitForTcpPort(port_)) << engine_->log();
    }

    // curl through the proxy on port; the exit code, the output in `out`.
    static int Curl(int port, const std::string& arguments, std::string* out = nullptr) {
        testsupport::CommandResult result = testsupport::RunCommand(
            "curl -sS --max-time 20 -x http://127.0.0.1:" + std::to_string(port) + " " + arguments,
            std::chrono::seconds(30));
        if (out) *out = result.output;
        return result.exitCode;
    }

    testsupport::TempDir work_;
    listenertest::OriginServer origin_;
    std::unique_ptr<listenertest::EngineProcess> engine_;
    int port_ = 0;
};

}  // namespace roadtest
