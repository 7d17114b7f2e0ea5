// The upstream connection on the HTTP road: the real engine, curl as the
// client and a small HTTP server as the upstream proxy of http.ini.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(UpstreamRoad, RequestsGoToTheUpstreamProxyInAbsoluteFormOverOneKeptConnection) {
    testsupport::TempDir root;
    const std::string data = root.path() + "/VELQOR/";
    testsupport::MakeDirs(data);
    const std::string heads = root / "heads.log";
    testsupport::Process upstream({"/usr/bin/python3", testsupport::SourcePath("engine/http/tests/origin_server.py"), heads},
                                  {});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return upstream.out().find("port ") != std::string::npos; }));
    const int upstreamPort = std::stoi(upstream.out().substr(upstream.out().find("port ") + 5));
    const int listenPort = testsupport::FreeTcpPort();
    testsupport::WriteFile(data + "http.ini", "127.0.0.1 " + std::to_string(listenPort) + "=,127.0.0.1 " +
                                                  std::to_string(upstreamPort) + ",Upstream proxy\r\n");
    testsupport::Process::Options options;
    options.env["VELQOR_UPSTREAM_TEST_ROOT"] = root.path();
    testsupport::Process engine(
        {testsupport::BinPath("orqhprx"), "-e=VELQOR_UPSTREAM_TEST_ROOT", "-p=0", "-f", "-v", "-!=0"}, options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(listenPort)) << engine.err();

    auto result = testsupport::RunCommand("curl -s --max-time 20 -H 'Proxy-Connection: keep-alive' -x http://127.0.0.1:" +
                                          std::to_string(listenPort) +
                                          " http://www.example.test/one http://www.example.test/two");
    EXPECT_EQ(result.exitCode, 0) << result.output << engine.err();
    EXPECT_EQ(result.output, "hello\nhello\n");

    // Both requests reached the proxy as they were sent, on its first connection.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return Lines(testsupport::ReadFile(heads)).size() == 2; }))
        << engine.err();
    const auto seen = Lines(testsupport::ReadFile(heads));
    EXPECT_NE(seen[0].find("\"conn\": 1, \"head\": \"GET http://www.example.test/one HTTP/1.1\\r\\n"),
              std::string::npos)
        << seen[0];
    EXPECT_NE(seen[1].find("\"conn\": 1, \"head\": \"GET http://www.example.test/two HTTP/1.1\\r\\n"),
              std::string::npos)
        << seen[1];
    EXPECT_NE(engine.err().find("[GetConnectTable] [Hit] Upstream proxy"), std::string::npos) << engine.err();
}

}  // namespace
