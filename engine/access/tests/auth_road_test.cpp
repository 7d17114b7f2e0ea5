// Proxy authentication against a directory on the HTTP road: the real
// engine with -a=1, slapd on a loopback port, curl as the client and a
// small origin server.
#include <gtest/gtest.h>

#include <string>

#include "engine/access/tests/log_stamp.h"
#include "platform/ldap/tests/slapd_fixture.h"
#include "test_support.h"

namespace {

TEST(AuthRoad, DirectoryUsersPassOthersGetTheAuthenticationReply) {
    testsupport::SlapdServer slapd;
    ASSERT_TRUE(slapd.ok()) << slapd.diagnostics();

    testsupport::TempDir root;
    const std::string data = root.path() + "/VELQOR/";
    testsupport::MakeDirs(data);
    testsupport::MakeDirs(root / "pipe");
    testsupport::Process origin(
        {"/usr/bin/python3", testsupport::SourcePath("engine/http/tests/origin_server.py"), root / "heads.log"}, {});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return origin.out().find("port ") != std::string::npos; }));
    const std::string originPort = std::to_string(std::stoi(origin.out().substr(origin.out().find("port ") + 5)));

    const int listenPort = testsupport::FreeTcpPort();
    testsupport::WriteFile(data + "http.ini", "127.0.0.1 " + std::to_string(listenPort) + "=\r\n");
    testsupport::WriteFile(data + "http-ldap.ini", "server=127.0.0.1\r\nport=" + std::to_string(slapd.port()) +
                                                       "\r\nschemadc=" + slapd.suffix() +
                                                       "\r\nretrytime=3\r\nretrymsec=300\r\n");
    testsupport::Process::Options options;
    options.env["VELQOR_AUTH_ROAD_ROOT"] = root.path();
    options.env["VELQOR_PIPE_DIR"] = root / "pipe";
    testsupport::Process engine(
        {testsupport::BinPath("orqhprx"), "-e=VELQOR_AUTH_ROAD_ROOT", "-p=0", "-f", "-a=1", "-t=5,20000", "-v"},
        options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(listenPort)) << engine.err();

    auto status = [&](const std::string& credentials) {
        auto result = testsupport::RunCommand(
            "curl -s -o /dev/null -w '%{http_code}' --max-time 20 --proxy-user '" + credentials +
                "' -x http://127.0.0.1:" + std::to_string(listenPort) + " http://127.0.0.1:" + originPort +
                "/length/data-16",
            std::chrono::seconds(30));
        return result.output;
    };
    EXPECT_EQ(status("alice:secret"), "200") << engine.err();
    EXPECT_EQ(status("alice:wrong"), "407");
    EXPECT_EQ(status("alice:"), "407");
    EXPECT_NE(engine.err().find("[LDAP_LOGON] id=<alice> ... OK.\n"), std::string::npos) << engine.err();
    EXPECT_NE(engine.err().find("[LDAP_LOGON] id=<alice> pw=<********>... NG.\n"), std::string::npos);
    EXPECT_EQ(engine.err().find("wrong"), std::string::npos) << "a password reached the log";

    // With the directory down, the bind is tried retrytime times with a
    // pause of retrymsec after each before the client is refused.
    slapd.Stop();
    EXPECT_EQ(status("alice:secret"), "407") << engine.err();
    const std::string log = engine.err();
    const long connecting =
        accesstest::StampOfLineAt(log, log.rfind("[ConnetLDAP] Connecting to server 127.0.0.1....\n"));
    const long failed =
        accesstest::StampOfLineAt(log, log.rfind("[ConnetLDAP] ldap_simple_bind_s() bind returned 0x51\n"));
    ASSERT_GE(connecting, 0) << log;
    ASSERT_GE(failed, 0) << log;
    EXPECT_GE((failed - connecting + 86400000) % 86400000, 3 * 300 - 10) << log;
}

}  // namespace
