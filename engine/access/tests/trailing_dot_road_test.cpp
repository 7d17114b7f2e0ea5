// A fully qualified name with its trailing dot ("evil.test.") is the host
// the lists know without it, on every road that asks them: GET and CONNECT
// through orqhprx, SOCKS 4a and 5 through orqcprx, with curl as the client.
// Both engines run in a private mount namespace whose /etc/hosts maps both
// spellings of every name to loopback, as DNS answers both alike.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine_process.h"
#include "socks_engine.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;

constexpr const char* kHosts =
    "127.0.0.1 localhost\n"
    "127.0.0.1 evil.test evil.test.\n"
    "127.0.0.1 bad.test bad.test.\n"
    "127.0.0.1 white.test white.test.\n";

// evil.test by its list key on every road, bad.test by the URL keys of GET
// and CONNECT; white.test is white on every road.
constexpr const char* kBlackList =
    "127.0.0.1,*,tcp,evil.test,*\r\n"
    "http://bad.test:*\r\n"
    "https://bad.test/\r\n";
constexpr const char* kWhiteList = "127.0.0.1,*,tcp,white.test,*\r\n";

class TrailingDot : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::WriteFile(hostsFile_, kHosts);
        const auto probe = testsupport::RunCommand("unshare -m --propagation private /bin/sh -c 'mount --bind " +
                                                   hostsFile_ + " /etc/hosts && getent hosts evil.test.' 2>&1");
        if (probe.exitCode != 0) GTEST_SKIP() << "no private mount namespace with our own hosts file: " << probe.output;
        std::string unshare = testsupport::RunCommand("command -v unshare").output;
        unshare = unshare.substr(0, unshare.find('\n'));
        const std::string mountHosts = "mount --bind \"$0\" /etc/hosts && exec \"$@\"";
        launcher_ = {unshare, "-m", "--propagation", "private", "/bin/sh", "-c", mountHosts, hostsFile_};

        const sockstest::Files lists{{"black.db", kBlackList}, {"white.db", kWhiteList}};
        httpPort_ = testsupport::FreeTcpPort();
        listenertest::EngineOptions options;
        options.files = lists;
        options.launcher = launcher_;
        http_ = std::make_unique<listenertest::EngineProcess>("127.0.0.1 " + std::to_string(httpPort_) + "=\r\n",
                                                              options);
        ASSERT_TRUE(testsupport::WaitForTcpPort(httpPort_)) << http_->log();
        sockstest::Files socksFiles = lists;
        socksFiles.push_back({"socks-ptl.ini", "*:" + std::to_string(origin_.port()) + ",0,0,http\r\n"});
        socks_ = std::make_unique<sockstest::SocksEngine>(socksFiles, std::vector<std::string>{}, "=", launcher_);
    }

    std::string Url(const std::string& host) const {
        return "http://" + host + ":" + std::to_string(origin_.port()) + "/length/hello";
    }

    testsupport::TempDir work_;
    const std::string hostsFile_ = work_.path() + "/hosts";
    std::vector<std::string> launcher_;
    listenertest::OriginServer origin_;
    int httpPort_ = 0;
    std::unique_ptr<listenertest::EngineProcess> http_;
    std::unique_ptr<sockstest::SocksEngine> socks_;
};

TEST_F(TrailingDot, IsTheSameHostForTheBlackAndWhiteLists) {
    const std::string origin = std::to_string(origin_.port());
    const std::string viaHttp = "-x 127.0.0.1:" + std::to_string(httpPort_);
    const std::string socks = "127.0.0.1:" + std::to_string(socks_->port());
    enum Engine { Http, Socks };
    const struct Case {
        Engine engine;
        std::string curlOptions;
        std::string url;
        // Empty: the page is served; else what the engine logs when it
        // refuses the request (on its console or in its daily log).
        std::string refusal;
    } cases[] = {
        {Http, viaHttp, Url("evil.test"), "blacklist [GET " + Url("evil.test") + " HTTP/1.1]"},
        {Http, viaHttp, Url("evil.test."), "blacklist [GET " + Url("evil.test.") + " HTTP/1.1]"},
        {Http, viaHttp, Url("bad.test"), "blacklist [GET " + Url("bad.test") + " HTTP/1.1]"},
        {Http, viaHttp, Url("bad.test."), "blacklist [GET " + Url("bad.test.") + " HTTP/1.1]"},
        {Http, viaHttp, Url("white.test."), ""},
        // CONNECT to port 443: any other port only a white entry lets pass.
        {Http, viaHttp + " -p", "http://evil.test:443/", "QueryDBList(CONNECT evil.test:443 HTTP/1.1) hit."},
        {Http, viaHttp + " -p", "http://evil.test.:443/",
         "QueryDBList(CONNECT evil.test.:443 HTTP/1.1) hit."},
        {Http, viaHttp + " -p", "http://bad.test.:443/", "QueryDBList(CONNECT bad.test.:443 HTTP/1.1) hit."},
        {Http, viaHttp + " -p", Url("white.test."), ""},
        {Socks, "--socks5-hostname " + socks, Url("evil.test"), "blacklist [evil.test " + origin + "]"},
        {Socks, "--socks5-hostname " + socks, Url("evil.test."), "blacklist [evil.test. " + origin + "]"},
        {Socks, "--socks4a " + socks, Url("evil.test."), "blacklist [evil.test. " + origin + "]"},
        {Socks, "--socks5-hostname " + socks, Url("white.test."), ""},
        {Socks, "--socks4a " + socks, Url("white.test."), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.curlOptions + " " + c.url);
        const auto result = testsupport::RunCommand("curl -s --max-time 10 " + c.curlOptions + " '" + c.url + "'");
        auto logs = [&] { return c.engine == Http ? http_->console() + http_->log() : socks_->console() + socks_->log(); };
        if (c.refusal.empty()) {
            EXPECT_EQ(result.output, "hello\n") << logs();
            continue;
        }
        EXPECT_NE(result.exitCode, 0) << result.output;
        EXPECT_EQ(result.output, "");
        EXPECT_TRUE(testsupport::WaitUntil([&] { return logs().find(c.refusal) != std::string::npos; })) << logs();
    }
    // The white list let the GETs pass unscanned, and the logs keep the
    // name as the client wrote it.
    EXPECT_NE(http_->log().find("whitelist [GET " + Url("white.test.") + " HTTP/1.1]"), std::string::npos)
        << http_->log();
    EXPECT_NE(socks_->log().find("whitelist [GET /length/hello HTTP/1.1]"), std::string::npos) << socks_->log();
    EXPECT_EQ(socks_->log().find(",socks,tcp,evil.test.,"), std::string::npos) << socks_->log();
}

}  // namespace
