// The upstream tests' common ground: fresh engine settings with a data
// folder of their own, the daily log written to a file that the test reads,
// and connection records whose client side is one end of a socket pair.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/core/connection.h"
#include "engine/core/engine_settings.h"
#include "test_support.h"

namespace upstreamtest {

class UpstreamTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sets -p and the files and time-outs it brings (the time-outs generous
    // for loopback: client plain, server plain, client TLS, server TLS).
    void UseProtocol(int protocol);
    // Writes the protocol's connection list ("http.ini", "smtp.ini", ...).
    void WriteConnectTable(const std::string& text);
    // A record of a client of 127.0.0.1:listenPort; the fixture frees it.
    engine::ConnectionRecord* NewRecord(int listenPort = 8080);

    std::string Log() const;
    static size_t Count(const std::string& text, const std::string& what);

    testsupport::TempDir root_;
    std::string dataFolder_;
    std::string logFolder_;

private:
    std::vector<std::unique_ptr<engine::ConnectionRecord>> records_;
    std::vector<int> peerSockets_;
};

}  // namespace upstreamtest
