// The FTP proxy in front of a real vsftpd: lftp with its defaults, curl
// and python's ftplib through orqfprx, with the stand-in scan server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "avstub.h"
#include "ftp_proxy_fixture.h"
#include "test_support.h"
#include "vsftpd_peer.h"

namespace {

using ftptest::VsftpdPeer;

class VsftpdRoadTest : public ftptest::FtpProxyFixture {
protected:
    // orqfprx in front of the peer, logins as anonymous.
    void Start(const VsftpdPeer& peer, std::vector<std::string> extra = {}) {
        login_ = "anonymous:";
        ftplibUser_ = "anonymous";
        FtpProxyFixture::Start(peer.port(), std::move(extra));
    }
};

int Occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

#define SKIP_WITHOUT_VSFTPD(peer) \
    if ((peer).port() == 0) GTEST_SKIP() << "vsftpd did not start: " << (peer).startError()

TEST_F(VsftpdRoadTest, ServerTlsOfferIsHiddenFromLftpAndCurl) {
    VsftpdPeer peer;
    SKIP_WITHOUT_VSFTPD(peer);
    peer.put("pub/f.txt", "over plain FTP\n");
    Start(peer);
    // lftp's defaults try AUTH TLS where the server offers it.
    auto lftp = testsupport::RunCommand(
        "lftp -c 'set cmd:fail-exit yes; set net:max-retries 1; set net:timeout 10; open -u anonymous, -p " +
            std::to_string(proxyPort_) + " 127.0.0.1; cls pub; get pub/f.txt -o " + (work_ / "lftp.txt") + "' 2>&1",
        std::chrono::seconds(40));
    EXPECT_EQ(lftp.exitCode, 0) << lftp.output << engine_->log();
    EXPECT_NE(lftp.output.find("f.txt"), std::string::npos) << lftp.output;
    EXPECT_EQ(testsupport::ReadFile(work_ / "lftp.txt"), "over plain FTP\n");

    // curl --ssl: TLS if it can be had, plain otherwise.
    std::string out;
    EXPECT_EQ(Curl("--ssl " + Url("/pub/"), &out), 0) << out << engine_->log();
    EXPECT_NE(out.find("f.txt"), std::string::npos) << out;
    EXPECT_EQ(Curl("--ssl " + Url("/pub/f.txt"), &out), 0) << out;
    EXPECT_EQ(out, "over plain FTP\n");

    const std::string feat = Ftplib({"cmd:FEAT"});
    EXPECT_NE(feat.find("cmd:FEAT ok 211"), std::string::npos) << feat;
    EXPECT_NE(feat.find("EPSV"), std::string::npos) << feat;
    for (const char* hidden : {"AUTH", "PBSZ", "PROT"}) EXPECT_EQ(feat.find(hidden), std::string::npos) << feat;
    // The server never started TLS with the engine.
    EXPECT_EQ(peer.protocolLog().find("\"AUTH"), std::string::npos) << peer.protocolLog();
}

TEST_F(VsftpdRoadTest, TransfersOutlastTheReplyTimeOut) {
    // Five seconds at 1 MB/s, each direction, against waits of two.
    VsftpdPeer peer({"anon_max_rate=1000000"});
    SKIP_WITHOUT_VSFTPD(peer);
    const std::string pattern = ftptest::BinaryPattern(5 << 20);
    peer.put("pub/five.bin", pattern);
    Start(peer, {"-t=2000,2000"});
    std::string out;
    ASSERT_EQ(Curl("--max-time 60 -o " + (work_ / "five.bin") + " " + Url("/pub/five.bin"), &out), 0)
        << out << engine_->log();
    EXPECT_TRUE(testsupport::ReadFile(work_ / "five.bin") == pattern);

    const std::string upload = Ftplib({"cwd:pub", "trickle:slow.bin:1000000:5"});
    EXPECT_NE(upload.find("trickle:slow.bin:1000000:5 ok 226"), std::string::npos) << upload << engine_->log();
    EXPECT_EQ(testsupport::ReadFile(peer.root() + "/pub/slow.bin").size(), 1000000u);
}

TEST_F(VsftpdRoadTest, UrgentAbortReachesTheServerAsACommandOfItsOwn) {
    VsftpdPeer peer;
    SKIP_WITHOUT_VSFTPD(peer);
    peer.put("pub/a.bin", ftptest::BinaryPattern(3 << 20));
    Start(peer);
    // ftplib reads one reply to ABOR where the server sends two (the
    // transfer's and the ABOR's), so the NOOPs see them one late.
    const std::string out = Ftplib({"cwd:pub", "abort:a.bin", "cmd:NOOP", "cmd:NOOP"});
    EXPECT_NE(out.find("abort:a.bin ok"), std::string::npos) << out << engine_->log();
    EXPECT_NE(out.find("cmd:NOOP ok 200"), std::string::npos) << out;
    EXPECT_EQ(out.find(" 500"), std::string::npos) << out;
    const std::string seen = peer.protocolLog();
    EXPECT_NE(seen.find("FTP command: Client \"127.0.0.1\", \"ABOR\"\n"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("\"500 "), std::string::npos) << seen;
}

// The data connection modes: ftplib's step and curl's option.
struct Mode {
    const char* ftplib;
    const char* curl;
};
constexpr Mode kModes[] = {{"passive", ""}, {"active", "-P - "}};

TEST_F(VsftpdRoadTest, ADownloadThatFailsIsAnsweredAtOnceAndTheSessionGoesOn) {
    // The server refuses the RETR without opening a transfer: nothing will
    // come on the data side, so its 550 can't wait for it.
    VsftpdPeer peer;
    SKIP_WITHOUT_VSFTPD(peer);
    const std::string pattern = ftptest::BinaryPattern(100000);
    peer.put("dir/good.bin", pattern);
    Start(peer);
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.ftplib);
        const std::string out = Ftplib({mode.ftplib, "cwd:dir", "get:nosuch.bin", "cmd:NOOP", "get:good.bin"});
        EXPECT_NE(out.find("get:nosuch.bin error 550 Failed to open file."), std::string::npos)
            << out << engine_->log();
        EXPECT_NE(out.find("cmd:NOOP ok 200"), std::string::npos) << out;
        EXPECT_NE(out.find("get:good.bin ok 226"), std::string::npos) << out;
        EXPECT_TRUE(testsupport::ReadFile(work_ / "good.bin") == pattern);

        // curl: "RETR response: 550".
        std::string curlOut;
        EXPECT_EQ(Curl(std::string(mode.curl) + Url("/dir/nosuch.bin"), &curlOut), 78) << curlOut;
    }
    // The data channels the 550s left are gone with them.
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

TEST_F(VsftpdRoadTest, AbortDuringADownloadIsAnsweredAndTheSessionGoesOn) {
    // ftplib's abort() while the data connection is open and unread, once
    // the first piece has come (the server is done, the engine still
    // sending) and before any byte has (the server still sending): the
    // transfer's final reply and the ABOR's own reach the client as they
    // come, and the next commands work as usual.
    VsftpdPeer peer({"anon_max_rate=4000000"});
    SKIP_WITHOUT_VSFTPD(peer);
    peer.put("dir/ten.bin", ftptest::BinaryPattern(10 << 20));
    const std::string pattern = ftptest::BinaryPattern(100000);
    peer.put("dir/good.bin", pattern);
    Start(peer);
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.ftplib);
        const std::string out = Ftplib({mode.ftplib, "cwd:dir", "abort-reading:ten.bin", "cmd:NOOP",
                                        "abort-unread:ten.bin", "cmd:NOOP", "get:good.bin", "cmd:NOOP"});
        for (const char* step : {"abort-reading:ten.bin", "abort-unread:ten.bin"})
            EXPECT_NE(out.find(std::string(step) + " ok "), std::string::npos) << step << out << engine_->log();
        EXPECT_EQ(Occurrences(out, "cmd:NOOP ok 200"), 3) << out;
        EXPECT_NE(out.find("get:good.bin ok 226"), std::string::npos) << out;
        EXPECT_TRUE(testsupport::ReadFile(work_ / "good.bin") == pattern);
        EXPECT_EQ(out.find(" error "), std::string::npos) << out;
    }
    EXPECT_NE(peer.protocolLog().find("FTP command: Client \"127.0.0.1\", \"ABOR\"\n"), std::string::npos)
        << peer.protocolLog();
}

TEST_F(VsftpdRoadTest, AnInfectedUploadIsRefusedAndNotKept) {
    VsftpdPeer peer;
    SKIP_WITHOUT_VSFTPD(peer);
    Start(peer);
    testsupport::WriteFile(work_ / "eicar.com", avstub::kEicarTestString);
    testsupport::WriteFile(work_ / "clean.txt", "clean\n");
    const std::string out = Ftplib({"cwd:pub", "put:eicar.com", "put:clean.txt", "list"});
    EXPECT_NE(out.find(std::string("put:eicar.com error 552 Requested file action aborted: Virus found '") +
                       avstub::kFinding + "'."),
              std::string::npos)
        << out << engine_->log();
    EXPECT_NE(out.find("put:clean.txt ok 226"), std::string::npos) << out;
    EXPECT_NE(out.find("list ok clean.txt\n"), std::string::npos) << out;
    EXPECT_FALSE(testsupport::FileExists(peer.root() + "/pub/eicar.com"));
    EXPECT_EQ(testsupport::ReadFile(peer.root() + "/pub/clean.txt"), "clean\n");
}

TEST_F(VsftpdRoadTest, AClientLeavingADownloadStopsItAtTheServer) {
    // 2 GiB at 20 MB/s: minutes, unless the engine stops it.
    VsftpdPeer peer({"anon_max_rate=20000000"});
    SKIP_WITHOUT_VSFTPD(peer);
    ASSERT_EQ(testsupport::RunCommand("truncate -s 2G " + peer.root() + "/pub/huge.bin").exitCode, 0);
    Start(peer);
    const std::string out = Ftplib({"cwd:pub", "leave:huge.bin"});
    EXPECT_NE(out.find("leave:huge.bin ok"), std::string::npos) << out;
    EXPECT_TRUE(engine_->waitForLog("transfer aborted.")) << engine_->log();
    // Neither the spool nor the control connection's files stay.
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
    // The server saw its transfer fail, and stopped sending.
    EXPECT_TRUE(testsupport::WaitUntil(
        [&] { return peer.protocolLog().find("FAIL DOWNLOAD") != std::string::npos; }))
        << peer.protocolLog();
}

}  // namespace
