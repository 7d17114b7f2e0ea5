// The SOCKS 5 reply codes for failed requests, beside Dante (danted
// started by the test in the foreground on a loopback port): both proxies
// get the same raw requests and must give the same code.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "socks_engine.h"
#include "test_support.h"

namespace {

using listenertest::Client;
using sockstest::Files;
using sockstest::PortBytes;
using sockstest::ReadExactly;
using sockstest::SocksEngine;
using namespace std::string_literals;

constexpr const char* kDanted = "/usr/sbin/danted";

class Dante {
public:
    Dante() {
        port_ = testsupport::FreeTcpPort();
        const std::string conf = work_ / "danted.conf";
        testsupport::WriteFile(conf, "logoutput: " + (work_ / "danted.log") + "\n" +
                                         "internal: 127.0.0.1 port = " + std::to_string(port_) + "\n" +
                                         "external: 127.0.0.1\n"
                                         "clientmethod: none\n"
                                         "socksmethod: none\n"
                                         "user.privileged: root\n"
                                         "user.unprivileged: nobody\n"
                                         "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                                         "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n");
        process_ = std::make_unique<testsupport::Process>(
            std::vector<std::string>{kDanted, "-f", conf, "-p", work_ / "danted.pid"},
            testsupport::Process::Options{});
        ok_ = testsupport::WaitForTcpPort(port_);
    }
    int port() const { return port_; }
    bool ok() const { return ok_; }
    std::string log() const { return testsupport::ReadFile(work_ / "danted.log") + process_->err(); }

private:
    testsupport::TempDir work_;
    int port_ = 0;
    bool ok_ = false;
    std::unique_ptr<testsupport::Process> process_;
};

// The reply code a SOCKS 5 proxy gives to the request (-1: no reply).
int ReplyCode(int proxyPort, const std::string& request) {
    Client client("127.0.0.1", proxyPort);
    std::string got;
    if (!client.send("\5\1\0"s) || !ReadExactly(client, 2, got) || got != "\5\0"s) return -1;
    if (!client.send(request) || !ReadExactly(client, 2, got)) return -1;
    return static_cast<unsigned char>(got[1]);
}

TEST(SocksReplyCodes, FailedRequestsAnsweredAsDanteDoes) {
    if (::access(kDanted, X_OK) != 0) GTEST_SKIP() << "danted (dante-server) is not installed";
    if (::geteuid() != 0) GTEST_SKIP() << "danted needs root for its privileged user";
    Dante dante;
    ASSERT_TRUE(dante.ok()) << dante.log();
    // -$=2: the failed connect is still tried again before the answer.
    SocksEngine engine(Files{}, {"-$=2"});
    const int closedPort = testsupport::FreeTcpPort();
    const std::string name = "no-such-host.invalid";
    const struct {
        const char* name;
        std::string request;
        int code;
        int danteCode;
    } cases[] = {
        {"connection refused", "\5\1\0\1\x7f\0\0\1"s + PortBytes(closedPort), 5, 5},
        // On port 80 the engine would serve HTTP; on the closed port it tunnels.
        {"name that does not resolve (HTTP)", "\5\1\0\3"s + static_cast<char>(name.size()) + name + PortBytes(80), 4,
         4},
        {"name that does not resolve", "\5\1\0\3"s + static_cast<char>(name.size()) + name + PortBytes(closedPort),
         4, 4},
        // Dante drops the connection without a word; RFC 1928 has code 7
        // for it, which tells the client what went wrong.
        {"unknown command", "\5\x09\0\1\x7f\0\0\1"s + PortBytes(closedPort), 7, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplyCode(dante.port(), c.request), c.danteCode) << c.name << "\n" << dante.log();
        EXPECT_EQ(ReplyCode(engine.port(), c.request), c.code) << c.name << "\n" << engine.log();
    }
    EXPECT_NE(engine.log().find("/ Reset Socket ("), std::string::npos) << engine.log();
}

}  // namespace
