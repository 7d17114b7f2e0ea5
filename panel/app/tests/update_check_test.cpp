// The update check against a local web server, directly and through the
// project's own HTTP proxy (which keeps the connection open after the
// response).
#include "panel/app/update_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>

#include "engine_process.h"
#include "panel/app/tray_icon_record.h"
#include "panel/framework/registry_ops.h"
#include "panel_test_support.h"

namespace {

using namespace panel;

class UpdateCheckTest : public paneltest::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        testsupport::MakeDirs(site());
        port_ = testsupport::FreeTcpPort();
        server_ = std::make_unique<testsupport::Process>(
            std::vector<std::string>{"/usr/bin/python3", "-m", "http.server", std::to_string(port_), "--bind", "127.0.0.1",
                                     "--directory", site()},
            testsupport::Process::Options{});
        ASSERT_TRUE(testsupport::WaitForTcpPort(port_));
        ::setenv("VELQOR_UPDATE_HOST", ("127.0.0.1:" + std::to_string(port_)).c_str(), 1);
        char here[4096];
        ASSERT_NE(::getcwd(here, sizeof here), nullptr);
        previous_ = here;
        ASSERT_EQ(::chdir(programFolder().c_str()), 0);
        SetTrayRecord(&record_);
        ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, kProductSettingsKey), 0);
    }
    void TearDown() override {
        SetTrayRecord(nullptr);
        ::unsetenv("VELQOR_UPDATE_HOST");
        EXPECT_EQ(::chdir(previous_.c_str()), 0);
    }

    std::string site() const { return dir_ / "site"; }
    void Publish(const std::string& text) { testsupport::WriteFile(site() + "/" + kUpdatePath, text); }
    // Runs a check and lets the balloon it posts reach the record.
    void Check() {
        RunUpdateCheck();
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }

    int port_ = 0;
    std::unique_ptr<testsupport::Process> server_;
    std::string previous_;
    TrayIconRecord record_;
};

TEST_F(UpdateCheckTest, OnlyANewerPublishedVersionGivesOneBalloon) {
    // Our own version is 2.0.14.0: MS 0x00020000, LS 0x000e0000.
    struct Case {
        const char* what;
        std::string file;  // empty: the server has none (404)
        int balloons;
    } cases[] = {
        {"LS one above", "0x00020000,0x000e0001\r\n\x90\x56\x94\xc5\r\nPlease update\r\n", 1},
        {"equal", "0x00020000,0x000e0000\r\nSame\r\nSame\r\n", 0},
        {"MS above, LS below", "0x00030000,0x00000000\nNewer\nText\n", 1},
        {"no comma", "0x00030000\r\nT\r\nX\r\n", 0},
        {"MS 0", "0x00000000,0xffffffff\r\nT\r\nX\r\n", 0},
        {"not published", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink((site() + "/" + kUpdatePath).c_str());
        ::unlink(kUpdateLocalName);
        if (!c.file.empty()) Publish(c.file);
        int before = record_.balloonCount();
        Check();
        EXPECT_EQ(record_.balloonCount() - before, c.balloons);
    }
    // The newer file's title is line 2 (code page 932 on the server).
    Publish("0x00020000,0x000e0001\r\n\x90\x56\x94\xc5\r\nPlease update\r\n");
    Check();
    EXPECT_EQ(record_.balloonTitle(), QString::fromUtf8("新版"));
    EXPECT_TRUE(record_.balloonText().endsWith(QStringLiteral("] Please update")));
    EXPECT_TRUE(record_.tip().endsWith(QStringLiteral("] Please update")));
}

TEST_F(UpdateCheckTest, AFailedFetchKeepsTheLastGoodFile) {
    const std::string good = "0x00020000,0x000e0001\r\nNew\r\nText\r\n";
    Publish(good);
    Check();
    ASSERT_EQ(testsupport::ReadFile(programFolder() + "/latest.txt"), good);
    ::unlink((site() + "/" + kUpdatePath).c_str());
    Check();  // 404: an error page must not replace the file
    EXPECT_EQ(testsupport::ReadFile(programFolder() + "/latest.txt"), good);
    EXPECT_NE(testsupport::ReadFile(programFolder() + "/latest.txt.had").find(" 404 "), std::string::npos);
}

TEST_F(UpdateCheckTest, ThroughTheProxyTheCheckEndsAtTheBodysLength) {
    const int proxyPort = testsupport::FreeTcpPort();
    listenertest::EngineProcess proxy("127.0.0.1 " + std::to_string(proxyPort) + "=\r\n");
    ASSERT_TRUE(testsupport::WaitForTcpPort(proxyPort));
    ASSERT_EQ(RegWriteDword(kProductSettingsKey, "ProxyServerUsed", 1), 0);
    ASSERT_EQ(RegWriteString(kProductSettingsKey, "ProxyServerName", "127.0.0.1"), 0);
    ASSERT_EQ(RegWriteDword(kProductSettingsKey, "ProxyServerPort", static_cast<DWORD>(proxyPort)), 0);
    Publish("0x00020001,0x00000000\r\nVia proxy\r\nText\r\n");
    int before = record_.balloonCount();
    Check();  // a wait for the proxy to close would take the 300 s time-out
    EXPECT_EQ(record_.balloonCount() - before, 1);
    EXPECT_EQ(record_.balloonTitle(), QStringLiteral("Via proxy"));
    EXPECT_NE(proxy.log().find("velqor-v2-full-av-latest.txt"), std::string::npos) << proxy.log();
}

// Answers that are no version file (half a gigabyte of body, a head
// without end, a byte now and then) end the fetch within its bounds; the
// last good file stays.
TEST(UpdateFetch, RunawayAnswersEndTheFetchAndKeepTheLastGoodFile) {
    testsupport::TempDir dir;
    const std::string local = dir / "latest.txt";
    testsupport::WriteFile(local, "0x00020000,0x000e0000\r\nGood\r\nText\r\n");
    for (const char* mode : {"big-body", "endless-head", "trickle"}) {
        SCOPED_TRACE(mode);
        testsupport::Process server({"/usr/bin/python3", VELQOR_RUNAWAY_SERVER, mode, "120"}, {});
        ASSERT_TRUE(testsupport::WaitUntil([&] { return server.out().find("port ") != std::string::npos; }))
            << server.err();
        const std::string port = server.out().substr(server.out().find("port ") + 5);
        EXPECT_EQ(HttpFetchToFile("127.0.0.1:" + std::to_string(std::stoi(port)), kUpdatePath, local, {}, 300,
                                  std::chrono::seconds(2)),
                  0);
        EXPECT_EQ(testsupport::ReadFile(local), "0x00020000,0x000e0000\r\nGood\r\nText\r\n");
        EXPECT_LE(testsupport::ReadFile(local + ".had").size(), kUpdateHeadLimit);
        // What the server got rid of: the bounds and what the sockets hold
        // between them, far from the whole answer.
        ASSERT_TRUE(testsupport::WaitUntil([&] { return server.out().find("sent ") != std::string::npos; }));
        EXPECT_LT(std::stoll(server.out().substr(server.out().find("sent ") + 5)), 32LL << 20);
    }
}

TEST(UpdateRequest, BothFormsAndTheVersionLine) {
    EXPECT_EQ(BuildHttpRequest("h.example", "v.txt", false),
              "GET /v.txt HTTP/1.0\r\nAccept: */*\r\nAccept-Language: ja\r\n"
              "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\nHost: h.example\r\n"
              "Proxy-Connection: Keep-Alive\r\n\r\n");
    EXPECT_EQ(BuildHttpRequest("h.example", "v.txt", true),
              "GET http://h.example/v.txt HTTP/1.0\r\n"
              "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\nHost: h.example\r\n"
              "Content-Length: 0\r\nProxy-Connection: Keep-Alive\r\nPragma: no-cache\r\n\r\n");
    PublishedVersion v = ReadVersionLine("0x0002000A,0x000e0001");
    EXPECT_EQ(v.mostSignificant, 0x0002000Au);
    EXPECT_EQ(v.leastSignificant, 0x000e0001u);
}

}  // namespace
