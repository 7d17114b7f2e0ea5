// Line protocols through the SOCKS proxy: FTP (curl's control connection
// relayed line by line to pyftpdlib, its data connections through the
// engine's data listeners of the -n range, passive and active, and the
// passive ones through the SOCKS store-and-forward relays) and SMTP
// (smtplib through python3-socks to an aiosmtpd sink).
#include <gtest/gtest.h>

#include <string>

#include "engine/ftp/tests/ftp_peer.h"
#include "smtp_peer.h"
#include "socks_engine.h"
#include "test_support.h"

namespace {

using sockstest::Files;
using sockstest::SocksEngine;

TEST(SocksFtp, DownloadsAndUploadsPassiveAndActive) {
    ftptest::FtpPeer peer;
    ASSERT_NE(peer.port(), 0);
    const std::string content = ftptest::BinaryPattern(300000);
    peer.put("dir/f.bin", content);
    SocksEngine engine(Files{{"socks-ptl.ini", "*:" + std::to_string(peer.port()) + ",4,0,ftp\r\n"}},
                       {"-n=47200-47230", "-t=300000,10000"});
    testsupport::TempDir work;
    const std::string proxy = "--socks5 127.0.0.1:" + std::to_string(engine.port());
    const std::string url = "ftp://u:p@127.0.0.1:" + std::to_string(peer.port()) + "/dir/";
    const struct {
        const char* name;
        const char* mode;
    } modes[] = {{"EPSV", ""}, {"PASV", "--disable-epsv"}, {"PORT", "-P 127.0.0.1 --disable-eprt"}};
    for (const auto& m : modes) {
        const std::string out = work / (std::string(m.name) + ".bin");
        const auto download = testsupport::RunCommand("curl -s -S --max-time 20 " + proxy + " " + m.mode + " -o '" +
                                                      out + "' '" + url + "f.bin' 2>&1");
        EXPECT_EQ(download.exitCode, 0) << m.name << ": " << download.output << "\n" << engine.log();
        EXPECT_TRUE(testsupport::FileExists(out) && testsupport::ReadFile(out) == content) << m.name;

        testsupport::WriteFile(work / "up.txt", std::string("uploaded by ") + m.name + "\n");
        const auto upload = testsupport::RunCommand("curl -s -S --max-time 20 " + proxy + " " + m.mode + " -T '" +
                                                    work / "up.txt" + "' '" + url + "up-" + m.name + ".txt' 2>&1");
        EXPECT_EQ(upload.exitCode, 0) << m.name << ": " << upload.output;
        const std::string stored = peer.root() + "/dir/up-" + m.name + ".txt";
        EXPECT_TRUE(testsupport::WaitUntil([&] { return testsupport::FileExists(stored); })) << m.name;
        if (testsupport::FileExists(stored)) {
            EXPECT_EQ(testsupport::ReadFile(stored), std::string("uploaded by ") + m.name + "\n");
        }
    }
    // The control connection went as FTP, the passive data connections as
    // FTP data, each on a port of the range.
    const std::string log = engine.log();
    EXPECT_NE(log.find("protocol=4"), std::string::npos);
    EXPECT_NE(log.find("protocol=5"), std::string::npos);
    // They went store and forward, each direction on its own.
    EXPECT_NE(log.find("[ClientSocksSession] End."), std::string::npos);
    EXPECT_NE(log.find("[ServerSocksSession] End."), std::string::npos);
    EXPECT_TRUE(engine.waitForEmptyCache());
    EXPECT_NE(peer.commandsSeen().find("RETR f.bin"), std::string::npos);
}

// A client on another address than the proxy's: its PORT names the address
// its own BIND holds on the proxy, and the file comes through that BIND.
TEST(SocksFtp, ActiveModeThroughTheClientsBind) {
    ftptest::FtpPeer peer;
    ASSERT_NE(peer.port(), 0);
    const std::string content = ftptest::BinaryPattern(200000);
    peer.put("f.bin", content);
    SocksEngine engine(Files{{"socks-ptl.ini", "*:" + std::to_string(peer.port()) + ",4,0,ftp\r\n"}},
                       {"-n=47240-47260", "-t=15000"});
    const auto result = testsupport::RunCommand(
        "/usr/bin/python3 " + testsupport::SourcePath("engine/socks/tests/socks_ftp_bind_client.py") + " " +
        std::to_string(engine.port()) + " " + std::to_string(peer.port()) + " f.bin 2>&1");
    EXPECT_EQ(result.output.substr(0, 4), "200 ") << result.output << "\n" << engine.log();
    EXPECT_NE(result.output.find("\n" + std::to_string(content.size()) + " bytes\n226"), std::string::npos)
        << result.output;
}

TEST(SocksSmtp, MailThroughTheLineRelay) {
    testsupport::SmtpPeer server;
    ASSERT_NE(server.port(), 0) << server.err();
    SocksEngine engine(Files{{"socks-ptl.ini", "*:" + std::to_string(server.port()) + ",1,0,smtp\r\n"}});
    const auto result = testsupport::RunCommand(
        "/usr/bin/python3 " + testsupport::SourcePath("engine/socks/tests/socks_smtp_client.py") + " " +
        std::to_string(engine.port()) + " " + std::to_string(server.port()) + " 2>&1");
    EXPECT_EQ(result.output, "sent\n") << engine.log();
    ASSERT_TRUE(server.Received(1));
    const std::string mail = server.Mail(1);
    EXPECT_NE(mail.find("Hello over SOCKS."), std::string::npos);
    // The relay, not a tunnel, carried it: it added its trace line.
    EXPECT_NE(mail.find("Received: from "), std::string::npos) << mail;
    EXPECT_NE(engine.log().find("protocol=1"), std::string::npos);
}

}  // namespace
