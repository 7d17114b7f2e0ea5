// orqfprx in front of an FTP server on loopback, with the stand-in scan
// server, and the clients the tests drive through it: curl and python's
// ftplib (ftplib_client.py).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine_process.h"
#include "ftp_peer.h"
#include "test_support.h"

namespace ftptest {

class FtpProxyFixture : public ::testing::Test, protected listenertest::ScannedEngine {
protected:
    // orqfprx in front of the peer, with the data ports of -n.
    void Start(const FtpPeer& peer, std::vector<std::string> extra = {}, const std::string& serverHost = "127.0.0.1") {
        ASSERT_NE(peer.port(), 0) << peer.log();
        Start(peer.port(), std::move(extra), serverHost);
    }
    void Start(int serverPort, std::vector<std::string> extra = {}, const std::string& serverHost = "127.0.0.1") {
        low_ = testsupport::FreeTcpPort();
        StartScanServer();
        proxyPort_ = testsupport::FreeTcpPort();
        listenertest::EngineOptions options;
        options.extra = {"-p=4", "-f", "-n=" + std::to_string(low_) + "-" + std::to_string(low_ + 10)};
        options.extra.insert(options.extra.end(), extra.begin(), extra.end());
        options.files.emplace_back("ftp.ini", "127.0.0.1 " + std::to_string(proxyPort_) + "=," + serverHost + " " +
                                                  std::to_string(serverPort) + "\n");
        options.env["VELQOR_PIPE_DIR"] = pipes_.path();
        engine_ = std::make_unique<listenertest::EngineProcess>("", options);
        ASSERT_TRUE(testsupport::WaitForTcpPort(proxyPort_)) << engine_->log();
    }
    std::string Url(const std::string& path) const {
        return "ftp://" + login_ + "@127.0.0.1:" + std::to_string(proxyPort_) + path;
    }
    int Curl(const std::string& arguments, std::string* out = nullptr) {
        auto result = testsupport::RunCommand("curl -sS --max-time 20 " + arguments, std::chrono::seconds(30));
        if (out) *out = result.output;
        return result.exitCode;
    }
    std::string Ftplib(const std::vector<std::string>& steps) {
        std::string command = (ftplibUser_.empty() ? "" : "FTPLIB_USER=" + ftplibUser_ + " ") + "/usr/bin/python3 " + testsupport::SourcePath("engine/ftp/tests/ftplib_client.py") + " " +
                              std::to_string(proxyPort_) + " " + work_.path();
        for (const auto& step : steps) command += " '" + step + "'";
        return testsupport::RunCommand(command, std::chrono::seconds(60)).output;
    }
    // Every port a 227 or 229 reply gave the client.
    std::vector<int> AnnouncedPorts() const {
        std::vector<int> ports;
        const std::string log = engine_->log();
        for (size_t at = log.find("to Client=22"); at != std::string::npos; at = log.find("to Client=22", at + 1)) {
            std::string line = log.substr(at, log.find('\n', at) - at);
            size_t open = line.find('(');
            int a, b, c, d, hi, lo, port;
            if (std::sscanf(line.c_str() + open, "(%d,%d,%d,%d,%d,%d)", &a, &b, &c, &d, &hi, &lo) == 6)
                ports.push_back(hi * 256 + lo);
            else if (std::sscanf(line.c_str() + open, "(|||%d|)", &port) == 1)
                ports.push_back(port);
        }
        return ports;
    }

    testsupport::TempDir work_;
    // The login of the URLs, and ftplib's user (empty: "u" and "p").
    std::string login_ = "u:p";
    std::string ftplibUser_;
    int proxyPort_ = 0;
    int low_ = 0;
};

}  // namespace ftptest
