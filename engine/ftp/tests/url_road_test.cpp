// ftp:// URLs through the HTTP proxy, end to end: curl and wget through
// orqhprx to pyftpdlib on loopback, with the stand-in scan server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "avstub.h"
#include "engine_process.h"
#include "ftp_peer.h"
#include "vsftpd_peer.h"
#include "test_support.h"

namespace {

using ftptest::FtpPeer;

class FtpUrlRoadTest : public ::testing::Test, protected listenertest::ScannedEngine {
protected:
    void Start(std::vector<std::string> extra = {}) {
        listenertest::EngineOptions options;
        options.extra = std::move(extra);
        StartEngine(options);
    }
    std::string Proxy() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // curl through the proxy; the exit code, the head and body in `out`.
    int Curl(const std::string& arguments, std::string* out = nullptr) {
        auto result = testsupport::RunCommand("curl -sS --max-time 20 -i -x " + Proxy() + " " + arguments,
                                              std::chrono::seconds(30));
        if (out) *out = result.output;
        return result.exitCode;
    }
    static std::string Url(const FtpPeer& peer, const std::string& path, const std::string& login = "u:p@") {
        return "'ftp://" + login + "127.0.0.1:" + std::to_string(peer.port()) + path + "'";
    }
    testsupport::TempDir work_;
};

TEST_F(FtpUrlRoadTest, FilesAndListingsArriveWholeWithTheirLength) {
    FtpPeer peer;
    ASSERT_NE(peer.port(), 0) << peer.log();
    const std::string pattern = ftptest::BinaryPattern(300000);
    peer.put("dir/f.bin", pattern);
    peer.put("pkg.d/inner.txt", "inside\n");
    Start();

    auto fetched = testsupport::RunCommand("curl -sS --max-time 20 -x " + Proxy() + " -o " + (work_ / "curl.bin") +
                                           " -D " + (work_ / "head") + " " + Url(peer, "/dir/f.bin"));
    ASSERT_EQ(fetched.exitCode, 0) << fetched.output << engine_->log();
    EXPECT_TRUE(testsupport::ReadFile(work_ / "curl.bin") == pattern);
    EXPECT_NE(testsupport::ReadFile(work_ / "head").find("Content-Length: 300000"), std::string::npos);

    auto wget = testsupport::RunCommand("ftp_proxy=" + Proxy() + " wget -q -T 20 -t 1 -O " + (work_ / "wget.bin") +
                                        " " + Url(peer, "/dir/f.bin"));
    ASSERT_EQ(wget.exitCode, 0) << wget.output << engine_->log();
    EXPECT_TRUE(testsupport::ReadFile(work_ / "wget.bin") == pattern);

    // The root, logged in as anonymous: a listing in ASCII.
    std::string out;
    ASSERT_EQ(Curl(Url(peer, "/", ""), &out), 0) << out;
    EXPECT_NE(out.find("HTTP/1.1 200"), std::string::npos) << out;
    EXPECT_NE(out.find(" dir\r\n"), std::string::npos) << out;
    const std::string seen = peer.commandsSeen();
    EXPECT_NE(seen.find("USER anonymous\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("CWD /\nTYPE A\nPASV\nLIST\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("CWD /dir/\nTYPE I\nPASV\nRETR f.bin\n"), std::string::npos) << seen;

    // A folder with a dot near its end, named with its "/", is listed.
    ASSERT_EQ(Curl(Url(peer, "/pkg.d/"), &out), 0) << out;
    EXPECT_NE(out.find("inner.txt"), std::string::npos) << out;
    EXPECT_EQ(peer.commandsSeen().find("RETR \n"), std::string::npos);
    EXPECT_TRUE(engine_->waitForEmptyCache());
}

TEST_F(FtpUrlRoadTest, RefusalsAndBadUrlsAreAnsweredAtOnce) {
    FtpPeer peer;
    ASSERT_NE(peer.port(), 0) << peer.log();
    peer.put("dir/f.txt", "hello\n");
    Start();
    // Raw requests: curl refuses to send the bad URLs itself.
    const std::string at = "127.0.0.1:" + std::to_string(peer.port());
    struct Case {
        std::string url;
        std::string status;
        std::string body;
    } cases[] = {
        {"ftp://u:wrong@" + at + "/dir/f.txt", "502", "530 "},
        {"ftp://u:p@" + at + "/dir/missing.txt", "404", "550 "},
        {"ftp://u:p@" + at + "/nowhere/", "404", "550 "},
        // Line breaks would smuggle commands in behind the ones sent.
        {"ftp://u:p@" + at + "/dir/%0D%0ADELE%20f.txt/", "400", "line break"},
        {"ftp://u%0D%0ADELE%20f.txt:p@" + at + "/dir/f.txt", "400", "line break"},
        {"ftp://u:p%0Aw@" + at + "/dir/f.txt", "400", "line break"},
        {"ftp://127.0.0.1:99999/", "400", "no usable server"},
        {"ftp:///dir/", "400", "no usable server"},
    };
    for (const Case& c : cases) {
        auto start = std::chrono::steady_clock::now();
        listenertest::Client client("127.0.0.1", port_);
        ASSERT_TRUE(client.ok());
        ASSERT_TRUE(client.send("GET " + c.url + " HTTP/1.1\r\nHost: x\r\n\r\n"));
        int error = 0;
        const std::string out = client.readToEnd(error, std::chrono::seconds(10));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << c.url;
        EXPECT_EQ(out.rfind("HTTP/1.1 " + c.status, 0), 0u) << c.url << "\n" << out;
        EXPECT_NE(out.find(c.body), std::string::npos) << c.url << "\n" << out;
    }
    EXPECT_EQ(peer.commandsSeen().find("DELE"), std::string::npos) << peer.commandsSeen();
    EXPECT_TRUE(testsupport::FileExists(peer.root() + "/dir/f.txt"));
}

TEST_F(FtpUrlRoadTest, VsftpdNamesWithoutShortExtensionsAndMissingOnes) {
    ftptest::VsftpdPeer peer;
    if (peer.port() == 0) GTEST_SKIP() << "no vsftpd: " << peer.startError();
    peer.put("pub/README", "read me\n");
    peer.put("pub/data.backup", "backed up\n");
    peer.put("pub/sub.folder/inner.txt", "inside\n");
    Start();
    const std::string at = "ftp://127.0.0.1:" + std::to_string(peer.port());
    struct Case {
        std::string path;
        std::string status;
        std::string body;
    } cases[] = {
        // Files whose names look like folders: the folder change is
        // refused, so they are fetched as files.
        {"/pub/README", "200", "read me\n"},
        {"/pub/data.backup", "200", "backed up\n"},
        // A folder named without its "/" is still listed.
        {"/pub/sub.folder", "200", "inner.txt"},
        // Missing files and folders: the server's own words, as 404.
        {"/pub/missing.txt", "404", "550 "},
        {"/pub/nothing", "404", "550 "},
        {"/nowhere/", "404", "550 "},
    };
    for (const Case& c : cases) {
        std::string out;
        ASSERT_EQ(Curl("'" + at + c.path + "'", &out), 0) << c.path << out;
        EXPECT_EQ(out.rfind("HTTP/1.1 " + c.status, 0), 0u) << c.path << "\n" << out;
        EXPECT_NE(out.find(c.body), std::string::npos) << c.path << "\n" << out;
    }
    EXPECT_TRUE(engine_->waitForEmptyCache());
}

TEST_F(FtpUrlRoadTest, ServersWithoutPassiveModeAreServedActively) {
    FtpPeer peer({"--no-passive"});
    ASSERT_NE(peer.port(), 0) << peer.log();
    const std::string pattern = ftptest::BinaryPattern(100000);
    peer.put("f.bin", pattern);
    const int low = testsupport::FreeTcpPort();
    Start({"-n=" + std::to_string(low) + "-" + std::to_string(low + 5)});

    ASSERT_EQ(testsupport::RunCommand("curl -sS --max-time 20 -x " + Proxy() + " -o " + (work_ / "f.bin") + " " +
                                      Url(peer, "/f.bin"))
                  .exitCode,
              0)
        << engine_->log();
    EXPECT_TRUE(testsupport::ReadFile(work_ / "f.bin") == pattern);
    const std::string seen = peer.commandsSeen();
    size_t at = seen.find("PORT 127,0,0,1,");
    ASSERT_NE(at, std::string::npos) << seen;
    int high = 0, lowByte = 0;
    ASSERT_EQ(std::sscanf(seen.c_str() + at, "PORT 127,0,0,1,%d,%d", &high, &lowByte), 2);
    EXPECT_GE(high * 256 + lowByte, low);
    EXPECT_LE(high * 256 + lowByte, low + 5);
}

TEST_F(FtpUrlRoadTest, IPv6ServersPassiveAndActive) {
    // EPSV, and EPRT where the server refuses passive mode.
    const std::string pattern = ftptest::BinaryPattern(40000);
    Start({"-i=2"});
    for (bool passive : {true, false}) {
        FtpPeer peer(passive ? std::vector<std::string>{"--host=::1"}
                             : std::vector<std::string>{"--host=::1", "--no-passive"});
        ASSERT_NE(peer.port(), 0) << peer.log();
        peer.put("v6.bin", pattern);
        const std::string target = work_ / "v6.bin";
        auto fetched = testsupport::RunCommand("curl -sS --max-time 20 -x " + Proxy() + " -o " + target +
                                               " 'ftp://u:p@[::1]:" + std::to_string(peer.port()) + "/v6.bin'");
        ASSERT_EQ(fetched.exitCode, 0) << fetched.output << engine_->log();
        EXPECT_TRUE(testsupport::ReadFile(target) == pattern) << passive;
        const std::string seen = peer.commandsSeen();
        EXPECT_NE(seen.find(passive ? "EPSV\n" : "EPRT |2|::1|"), std::string::npos) << seen;
    }
}

TEST_F(FtpUrlRoadTest, APassiveReplyNamingAnotherHostStillReachesTheServer) {
    // The data connection goes where the control connection went, never to
    // the address a reply names.
    FtpPeer peer({"--masquerade=127.0.0.2"});
    ASSERT_NE(peer.port(), 0) << peer.log();
    peer.put("f.txt", "through the control peer\n");
    Start();
    std::string out;
    ASSERT_EQ(Curl(Url(peer, "/f.txt"), &out), 0) << out;
    EXPECT_NE(out.find("200 OK"), std::string::npos) << out << engine_->log();
    EXPECT_NE(out.find("through the control peer"), std::string::npos) << out;
}

TEST_F(FtpUrlRoadTest, JapaneseFolderNamesInUtf8AndInCodePage932) {
    const std::string folder = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // 日本語 in UTF-8
    const std::string encoded = "%E6%97%A5%E6%9C%AC%E8%AA%9E";
    Start();
    int cwds = 0;
    for (const char* encoding : {"--encoding=utf8", "--encoding=cp932"}) {
        FtpPeer peer({encoding});
        ASSERT_NE(peer.port(), 0) << peer.log();
        peer.put(folder + "/a.txt", "nihongo\n");
        std::string out;
        ASSERT_EQ(Curl(Url(peer, "/" + encoded + "/a.txt"), &out), 0) << out;
        EXPECT_NE(out.find("200 OK"), std::string::npos) << encoding << "\n" << out << engine_->log();
        EXPECT_NE(out.find("nihongo"), std::string::npos) << encoding << "\n" << out;
        // The server in code page 932 refused the UTF-8 name first (it can't
        // even decode it, so its own command log misses that one).
        cwds += std::string(encoding) == "--encoding=cp932" ? 2 : 1;
        EXPECT_EQ(engine_->count("] CWD /"), cwds) << engine_->log();
    }
}

TEST_F(FtpUrlRoadTest, AnInfectedFileArrivesAsItsFinding) {
    FtpPeer peer;
    ASSERT_NE(peer.port(), 0) << peer.log();
    peer.put("eicar.com", avstub::kEicarTestString);
    Start();
    std::string out;
    ASSERT_EQ(Curl(Url(peer, "/eicar.com"), &out), 0) << out;
    EXPECT_NE(out.find(std::string("\r\n\r\nFound ") + avstub::kFinding + "\r\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("EICAR-STANDARD"), std::string::npos) << out;
}

}  // namespace
