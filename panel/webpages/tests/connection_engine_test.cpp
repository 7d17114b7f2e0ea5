// The HTTP connection-list page's file read by the real engine: orqhprx
// listens where the rows say, and curl fetches through a direct row and
// through a row with an upstream proxy (a second orqhprx).
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "engine_process.h"
#include "panel/framework/look.h"
#include "panel/webpages/connection_pages.h"
#include "web_page_test.h"

namespace {

using namespace panel;

class ConnectionEngineTest : public webtest::WebPageTest {
protected:
    // The loopback ports the process listens on, from ss.
    static std::vector<int> ListeningPorts(pid_t pid) {
        auto result = testsupport::RunCommand("/usr/bin/ss -Htlnp");
        std::vector<int> ports;
        std::string tag = "pid=" + std::to_string(pid) + ",";
        size_t start = 0;
        while (start < result.output.size()) {
            size_t end = result.output.find('\n', start);
            if (end == std::string::npos) end = result.output.size();
            std::string line = result.output.substr(start, end - start);
            start = end + 1;
            if (line.find(tag) == std::string::npos) continue;
            size_t at = line.find("127.0.0.1:");
            if (at != std::string::npos) ports.push_back(std::atoi(line.c_str() + at + 10));
        }
        std::sort(ports.begin(), ports.end());
        return ports;
    }
    // The engine under one of its names, on the files of the test's data
    // folder; killed with the test.
    std::unique_ptr<testsupport::Process> StartEngine(const char* name, int protocol) {
        testsupport::Process::Options options;
        options.env["VELQOR_TEST_DATA_ROOT"] = dataRoot();
        options.env["VELQOR_PIPE_DIR"] = pipeDir();
        return std::make_unique<testsupport::Process>(
            std::vector<std::string>{testsupport::BinPath(name), "-e=VELQOR_TEST_DATA_ROOT",
                                     "-p=" + std::to_string(protocol), "-f", "-v"},
            options);
    }
};

TEST_F(ConnectionEngineTest, EngineListensOnTheRowsAndRelaysDirectAndThroughTheUpstream) {
    int direct = testsupport::FreeTcpPort(), viaUpstream = testsupport::FreeTcpPort(),
        upstreamPort = testsupport::FreeTcpPort();
    ASSERT_TRUE(direct != viaUpstream && viaUpstream != upstreamPort && direct != upstreamPort);
    auto page = Open<Chttp1dlg>();
    Type(page.get(), kHttpNameEdit, "direct");
    Type(page.get(), kHttpListenPortEdit, std::to_string(direct));
    Click(page.get(), kAddEntryButton);
    Type(page.get(), kHttpNameEdit, "through the upstream");
    Type(page.get(), kHttpListenPortEdit, std::to_string(viaUpstream));
    Type(page.get(), kHttpUpstreamEdit, "127.0.0.1");
    Type(page.get(), kHttpUpstreamPortEdit, std::to_string(upstreamPort));
    Click(page.get(), kAddEntryButton);
    ASSERT_TRUE(page->SaveSettings());
    std::string httpIni = testsupport::ReadFile(dataFolder() + "http.ini");

    listenertest::OriginServer origin;
    listenertest::EngineProcess upstream("127.0.0.1 " + std::to_string(upstreamPort) + "=, ,upstream\r\n");
    listenertest::EngineProcess engine(httpIni);
    ASSERT_TRUE(testsupport::WaitForTcpPort(upstreamPort)) << upstream.log();
    ASSERT_TRUE(testsupport::WaitForTcpPort(direct)) << engine.log();
    ASSERT_TRUE(testsupport::WaitForTcpPort(viaUpstream)) << engine.log();
    std::vector<int> expected{direct, viaUpstream};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListeningPorts(engine.process().pid()), expected);

    const size_t size = 300000;
    std::string url = origin.url("length/data-" + std::to_string(size));
    testsupport::TempDir out;
    for (int port : {direct, viaUpstream}) {
        std::string file = out / ("body-" + std::to_string(port));
        auto result = testsupport::RunCommand("/usr/bin/curl -sS --max-time 20 -o '" + file + "' -x http://127.0.0.1:" +
                                              std::to_string(port) + " '" + url + "'");
        ASSERT_EQ(result.exitCode, 0) << result.output << engine.log();
        EXPECT_TRUE(testsupport::ReadFile(file) == listenertest::OriginPattern(size)) << port;
    }
    // Only the request on the upstream row went through the upstream.
    EXPECT_TRUE(upstream.waitForLog("/length/data-" + std::to_string(size)));
    // The dispatcher logs each request head once ("] GET ..."): the
    // engine both, the upstream only the one of its row.
    const std::string head = "] GET http://127.0.0.1:" + std::to_string(origin.port()) + "/length/data-";
    EXPECT_EQ(upstream.count(head), 1) << upstream.log();
    EXPECT_EQ(engine.count(head), 2) << engine.log();
}

}  // namespace

namespace {

// The FTP and SOCKS pages' files: curl's FTP client through orqfprx reaches
// the pyftpdlib server the row names, and curl through orqcprx as a SOCKS 5
// proxy reaches the origin; the rows' names hold blanks and commas.
TEST_F(ConnectionEngineTest, FtpAndSocksRowsCarryCurlToTheirServers) {
    int ftpServerPort = testsupport::FreeTcpPort(), ftpProxyPort = testsupport::FreeTcpPort(),
        socksPort = testsupport::FreeTcpPort();
    ASSERT_TRUE(ftpServerPort != ftpProxyPort && ftpProxyPort != socksPort && ftpServerPort != socksPort);
    auto ftp = Open<Cftpdlg>();
    Type(ftp.get(), kFtpNameEdit, "files, 2F east");
    Type(ftp.get(), kFtpListenPortEdit, std::to_string(ftpProxyPort));
    Type(ftp.get(), kFtpServerEdit, "127.0.0.1");
    Type(ftp.get(), kFtpServerPortEdit, std::to_string(ftpServerPort));
    Click(ftp.get(), kAddEntryButton);
    ASSERT_TRUE(ftp->SaveSettings());
    auto socks = Open<Csocksdlg>();
    Type(socks.get(), kSocksNameEdit, "lab , west");
    Type(socks.get(), kSocksListenPortEdit, std::to_string(socksPort));
    Click(socks.get(), kAddEntryButton);
    ASSERT_TRUE(socks->SaveSettings());

    testsupport::TempDir files;
    std::string content = listenertest::OriginPattern(150000);
    testsupport::WriteFile(files / "file.bin", content);
    testsupport::Process ftpServer({"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                                    std::to_string(ftpServerPort), "-d", files.path()},
                                   {});
    listenertest::OriginServer origin;
    auto ftpProxy = StartEngine("orqfprx", 4);
    auto socksProxy = StartEngine("orqcprx", 5);
    ASSERT_TRUE(testsupport::WaitForTcpPort(ftpServerPort));
    ASSERT_TRUE(testsupport::WaitForTcpPort(ftpProxyPort)) << ftpProxy->err();
    ASSERT_TRUE(testsupport::WaitForTcpPort(socksPort)) << socksProxy->err();

    testsupport::TempDir out;
    auto viaFtp = testsupport::RunCommand("/usr/bin/curl -sS --max-time 20 -o '" + out / "ftp.bin" +
                                          "' ftp://127.0.0.1:" + std::to_string(ftpProxyPort) + "/file.bin");
    ASSERT_EQ(viaFtp.exitCode, 0) << viaFtp.output << ftpProxy->err();
    EXPECT_TRUE(testsupport::ReadFile(out / "ftp.bin") == content);

    const size_t size = 120000;
    auto viaSocks = testsupport::RunCommand("/usr/bin/curl -sS --max-time 20 --socks5 127.0.0.1:" +
                                            std::to_string(socksPort) + " -o '" + out / "socks.bin" + "' '" +
                                            origin.url("length/data-" + std::to_string(size)) + "'");
    ASSERT_EQ(viaSocks.exitCode, 0) << viaSocks.output << socksProxy->err();
    EXPECT_TRUE(testsupport::ReadFile(out / "socks.bin") == listenertest::OriginPattern(size));
}

}  // namespace
