// The FTP proxy end to end: curl and python's ftplib through orqfprx to
// pyftpdlib on loopback, passive and active, with the stand-in scan server
// and the FTP cache.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "avstub.h"
#include "engine_process.h"
#include "ftp_peer.h"
#include "ftp_proxy_fixture.h"
#include "test_support.h"

namespace {

using ftptest::FtpPeer;

using FtpProxyRoadTest = ftptest::FtpProxyFixture;

TEST_F(FtpProxyRoadTest, CurlPassiveActiveAndUploadsArriveWhole) {
    FtpPeer peer;
    const std::string pattern = ftptest::BinaryPattern(400000);
    peer.put("dir/big.bin", pattern);
    peer.put("dir/empty.bin", "");
    Start(peer);
    struct Case {
        const char* name;
        std::string options;
    } cases[] = {
        {"epsv", ""},
        {"pasv", "--disable-epsv"},
        {"port", "-P - --disable-eprt"},
        {"eprt", "-P -"},
    };
    for (const Case& c : cases) {
        std::string out;
        const std::string target = work_ / (std::string(c.name) + ".bin");
        ASSERT_EQ(Curl(c.options + " -o " + target + " " + Url("/dir/big.bin"), &out), 0)
            << c.name << out << engine_->log();
        EXPECT_EQ(testsupport::ReadFile(target), pattern) << c.name;
    }
    // An empty file: nothing to scan but the empty spool, nothing sent.
    ASSERT_EQ(Curl("-o " + (work_ / "empty.bin") + " " + Url("/dir/empty.bin")), 0) << engine_->log();
    EXPECT_TRUE(testsupport::FileExists(work_ / "empty.bin"));
    EXPECT_EQ(testsupport::ReadFile(work_ / "empty.bin"), "");
    std::string listing;
    ASSERT_EQ(Curl("--disable-epsv " + Url("/dir/"), &listing), 0) << listing;
    EXPECT_NE(listing.find("big.bin"), std::string::npos) << listing;

    testsupport::WriteFile(work_ / "up.bin", pattern.substr(0, 123457));
    ASSERT_EQ(Curl("-T " + (work_ / "up.bin") + " " + Url("/dir/up.bin")), 0) << engine_->log();
    EXPECT_TRUE(testsupport::ReadFile(peer.root() + "/dir/up.bin") == pattern.substr(0, 123457));
    ASSERT_EQ(Curl("-P - -T " + (work_ / "up.bin") + " " + Url("/dir/up2.bin")), 0) << engine_->log();
    EXPECT_TRUE(testsupport::ReadFile(peer.root() + "/dir/up2.bin") == pattern.substr(0, 123457));

    // Every data port the engine announced lies in the -n range.
    const std::vector<int> ports = AnnouncedPorts();
    EXPECT_GE(ports.size(), 3u) << engine_->log();
    for (int port : ports) {
        EXPECT_GE(port, low_);
        EXPECT_LE(port, low_ + 10);
    }
    // The server saw the engine's data addresses, never the client's.
    const std::string seen = peer.commandsSeen();
    EXPECT_NE(seen.find("PORT 127,0,0,1,"), std::string::npos) << seen;
    EXPECT_NE(seen.find("EPRT |1|127.0.0.1|"), std::string::npos) << seen;
    // No spool file of a data connection stays behind.
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

TEST_F(FtpProxyRoadTest, FtplibPassiveAndActive) {
    FtpPeer peer;
    const std::string pattern = ftptest::BinaryPattern(70000);
    peer.put("a.bin", pattern);
    Start(peer);
    testsupport::WriteFile(work_ / "b.bin", pattern.substr(100));
    const std::string out = Ftplib({"passive", "get:a.bin", "put:b.bin", "list", "active", "get:a.bin", "list"});
    EXPECT_EQ(out.find("error"), std::string::npos) << out << engine_->log();
    EXPECT_NE(out.find("list ok a.bin b.bin\nactive ok\nget:a.bin ok 226"), std::string::npos) << out;
    EXPECT_TRUE(testsupport::ReadFile(work_ / "a.bin") == pattern);
    EXPECT_TRUE(testsupport::ReadFile(peer.root() + "/b.bin") == pattern.substr(100));
}

TEST_F(FtpProxyRoadTest, LftpPassiveAndActive) {
    FtpPeer peer;
    const std::string pattern = ftptest::BinaryPattern(90000);
    peer.put("l.bin", pattern);
    Start(peer);
    for (const char* passive : {"on", "off"}) {
        const std::string target = work_ / (std::string("l-") + passive + ".bin");
        auto result = testsupport::RunCommand(
            "lftp -c 'set cmd:fail-exit yes; set ftp:ssl-allow no; set net:max-retries 1; set net:timeout 10; "
            "set ftp:passive-mode " +
                std::string(passive) + "; open -u u,p -p " + std::to_string(proxyPort_) + " 127.0.0.1; get l.bin -o " +
                target + "; cls'",
            std::chrono::seconds(60));
        ASSERT_EQ(result.exitCode, 0) << passive << result.output << engine_->log();
        EXPECT_TRUE(testsupport::ReadFile(target) == pattern) << passive;
        EXPECT_NE(result.output.find("l.bin"), std::string::npos) << result.output;
    }
}

class PassiveReplyFormTest : public FtpProxyRoadTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PassiveReplyFormTest, StillGoesThroughTheEngine) {
    // Passed on unchanged, it would lead the client straight to the
    // server, past the scan.
    FtpPeer peer({GetParam()});
    peer.put("eicar.com", avstub::kEicarTestString);
    Start(peer);
    std::string out;
    ASSERT_EQ(Curl("--disable-epsv --ignore-content-length " + Url("/eicar.com"), &out), 0) << out << engine_->log();
    EXPECT_EQ(out, std::string("Found ") + avstub::kFinding + "\r\n");
    const std::vector<int> ports = AnnouncedPorts();
    ASSERT_EQ(ports.size(), 1u) << engine_->log();
    EXPECT_GE(ports[0], low_);
}

// Without brackets (RFC 959 doesn't demand them), and as a multi-line reply.
INSTANTIATE_TEST_SUITE_P(Forms, PassiveReplyFormTest, ::testing::Values("--bare-227", "--multiline-227"));

TEST_F(FtpProxyRoadTest, DataListenersServeTheirOwnClientOnly) {
    FtpPeer peer;
    peer.put("x.txt", "x\n");
    Start(peer);
    const std::string out = Ftplib({"intruder"});
    EXPECT_NE(out.find("intruder ok intruder-closed 1"), std::string::npos) << out << engine_->log();
    EXPECT_EQ(out.find(" 0\n"), std::string::npos) << out;
}

TEST_F(FtpProxyRoadTest, NoFreeDataPortGives425) {
    FtpPeer peer;
    Start(peer);
    // Every port of the range is taken by someone else (a port this test
    // can't take is busy already).
    std::vector<int> held;
    for (int port = low_; port <= low_ + 10; ++port) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 1) == 0)
            held.push_back(fd);
        else
            ::close(fd);
    }
    ASSERT_FALSE(held.empty());
    const std::string out = Ftplib({"cmd:PASV", "cmd:EPSV", "active", "list", "cmd:NOOP"});
    for (int fd : held) ::close(fd);
    EXPECT_NE(out.find("cmd:PASV error 425 Can't open data connection."), std::string::npos) << out;
    EXPECT_NE(out.find("cmd:EPSV error 425 Can't open data connection."), std::string::npos) << out;
    EXPECT_NE(out.find("list error 425 Can't open data connection."), std::string::npos) << out;
    EXPECT_NE(out.find("cmd:NOOP ok 200"), std::string::npos) << out;
    // The server never got a PORT that named no listener.
    EXPECT_EQ(peer.commandsSeen().find("PORT"), std::string::npos) << peer.commandsSeen();
}

TEST_F(FtpProxyRoadTest, DataAddressesOfAnotherHostAreRefused) {
    FtpPeer peer;
    Start(peer);
    const std::string out =
        Ftplib({"cmd:PORT 127,0,0,2,4,1", "cmd:EPRT |1|10.1.2.3|1025|", "cmd:PORT 1,2,3", "cmd:LPSV",
                "cmd:LPRT 4,4,127,0,0,1,2,4,1", "cmd:NOOP"});
    EXPECT_NE(out.find("cmd:PORT 127,0,0,2,4,1 error 500"), std::string::npos) << out;
    EXPECT_NE(out.find("cmd:EPRT |1|10.1.2.3|1025| error 500"), std::string::npos) << out;
    EXPECT_NE(out.find("cmd:PORT 1,2,3 error 501"), std::string::npos) << out;
    EXPECT_NE(out.find("cmd:LPSV error 502"), std::string::npos) << out;
    EXPECT_NE(out.find("cmd:LPRT 4,4,127,0,0,1,2,4,1 error 502"), std::string::npos) << out;
    EXPECT_NE(out.find("cmd:NOOP ok 200"), std::string::npos) << out;
    const std::string seen = peer.commandsSeen();
    EXPECT_EQ(seen.find("PORT"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("EPRT"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("LP"), std::string::npos) << seen;
}

TEST_F(FtpProxyRoadTest, AnInfectedDownloadArrivesAsItsFinding) {
    FtpPeer peer;
    peer.put("eicar.com", avstub::kEicarTestString);
    Start(peer);
    std::string out;
    // The size the server announced is no longer the size that arrives.
    ASSERT_EQ(Curl("--ignore-content-length " + Url("/eicar.com"), &out), 0) << out;
    EXPECT_EQ(out, std::string("Found ") + avstub::kFinding + "\r\n");
}

TEST_F(FtpProxyRoadTest, ASecondRetrievalComesFromTheCache) {
    FtpPeer peer;
    const std::string pattern = ftptest::BinaryPattern(50000);
    peer.put("c.bin", pattern);
    Start(peer, {"-m=10"});
    ASSERT_EQ(Curl("-o " + (work_ / "1.bin") + " " + Url("/c.bin")), 0) << engine_->log();
    ASSERT_TRUE(engine_->waitForLog("FTP cash making."));
    // Changed on the server: a copy served from the cache still has the
    // old bytes (whatever size the server now announces).
    peer.put("c.bin", "changed\n");
    ASSERT_EQ(Curl("--ignore-content-length -o " + (work_ / "2.bin") + " " + Url("/c.bin")), 0) << engine_->log();
    EXPECT_TRUE(testsupport::ReadFile(work_ / "1.bin") == pattern);
    EXPECT_TRUE(testsupport::ReadFile(work_ / "2.bin") == pattern);
    EXPECT_NE(peer.commandsSeen().find("LIST c.bin"), std::string::npos) << peer.commandsSeen();
    EXPECT_EQ(engine_->count("FTP cash useing."), 1);
}

TEST_F(FtpProxyRoadTest, PartOfAFileIsNeverACacheEntry) {
    FtpPeer peer;
    const std::string pattern = ftptest::BinaryPattern(20000);
    peer.put("p.bin", pattern);
    Start(peer, {"-m=10"});
    const std::string out = Ftplib({"getrest:p.bin:1000"});
    EXPECT_NE(out.find("getrest:p.bin:1000 ok 19000 226"), std::string::npos) << out;
    // The whole file is fetched from the server, then kept.
    ASSERT_EQ(Curl("-o " + (work_ / "1.bin") + " " + Url("/p.bin")), 0) << engine_->log();
    EXPECT_TRUE(testsupport::ReadFile(work_ / "1.bin") == pattern);
    EXPECT_EQ(peer.commandsSeen().find("LIST p.bin"), std::string::npos) << peer.commandsSeen();
    ASSERT_TRUE(engine_->waitForLog("FTP cash making."));
    ASSERT_EQ(Curl("-o " + (work_ / "2.bin") + " " + Url("/p.bin")), 0) << engine_->log();
    EXPECT_TRUE(testsupport::ReadFile(work_ / "2.bin") == pattern);
    EXPECT_NE(peer.commandsSeen().find("LIST p.bin"), std::string::npos) << peer.commandsSeen();
}

TEST_F(FtpProxyRoadTest, AChannelLeftWaitingEndsWithItsControlConnection) {
    FtpPeer peer;
    // Waits of a minute: only the end of the control connection can stop
    // the listener this soon.
    Start(peer, {"-t=60000,60000,60000,60000"});
    const std::string out = Ftplib({"pasv-quit"});
    EXPECT_NE(out.find("pasv-quit ok 227"), std::string::npos) << out;
    EXPECT_TRUE(engine_->waitForLog("[FTPDataMain] accept(", 1, std::chrono::seconds(10))) << engine_->log();
    // The port is free again for the next channel.
    EXPECT_NE(Ftplib({"passive", "list"}).find("list ok"), std::string::npos);
}

TEST_F(FtpProxyRoadTest, TheFinalReplyOfADownloadFollowsItsData) {
    // The server's 226 comes as soon as the engine holds the file; the
    // client must get it only after the file (held here by a slow scan):
    // an active-mode client that the engine has not reached yet would take
    // the transfer for failed, and a passive one a file on its way for whole.
    FtpPeer peer;
    const std::string pattern = ftptest::BinaryPattern(50000);
    peer.put("late.bin", pattern);
    scanDelayMs_ = 1500;
    Start(peer);
    const auto order = testsupport::RunCommand("/usr/bin/python3 " +
                                                   testsupport::SourcePath("engine/ftp/tests/reply_order_client.py") +
                                                   " " + std::to_string(proxyPort_) + " late.bin",
                                               std::chrono::seconds(30));
    EXPECT_NE(order.output.find("whole 50000"), std::string::npos) << order.output << engine_->log();
    for (const char* options : {"-P - --disable-eprt", "-P -"}) {
        const std::string target = work_ / "late.bin";
        std::string out;
        ASSERT_EQ(Curl(std::string(options) + " -o " + target + " " + Url("/late.bin"), &out), 0)
            << options << out << engine_->log();
        EXPECT_TRUE(testsupport::ReadFile(target) == pattern) << options;
    }
}

TEST_F(FtpProxyRoadTest, FamiliesAreBridgedTowardsAnIPv6Server) {
    FtpPeer peer({"--host=::1"});
    const std::string pattern = ftptest::BinaryPattern(30000);
    peer.put("v6.bin", pattern);
    Start(peer, {"-q=0", "-i=2"}, "::1");
    // PASV from the IPv4 client goes on as EPSV, its 229 comes back as a
    // 227; PORT goes on as EPRT with the engine's IPv6 address.
    for (const char* options : {"--disable-epsv", "-P - --disable-eprt"}) {
        const std::string target = work_ / "v6.bin";
        ASSERT_EQ(Curl(std::string(options) + " -o " + target + " " + Url("/v6.bin")), 0) << options << engine_->log();
        EXPECT_TRUE(testsupport::ReadFile(target) == pattern) << options;
    }
    const std::string seen = peer.commandsSeen();
    EXPECT_NE(seen.find("EPSV\n"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("PASV\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("EPRT |2|::1|"), std::string::npos) << seen;
    EXPECT_NE(engine_->log().find("convert=EPSV"), std::string::npos);
    EXPECT_NE(engine_->log().find("to Client=227 "), std::string::npos);
}

}  // namespace
