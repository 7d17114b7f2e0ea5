// FTP through the SOCKS proxy to real vsftpd servers: curl's control
// connection relayed line by line, its data connections through the
// engine's data listeners.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ftp_peer.h"
#include "socks_engine.h"
#include "test_support.h"
#include "vsftpd_peer.h"

namespace {

using ftptest::VsftpdPeer;

#define SKIP_WITHOUT_VSFTPD(peer) \
    if ((peer).port() == 0) GTEST_SKIP() << "vsftpd did not start: " << (peer).startError()

// The control connections to these ports are FTP.
std::string FtpPorts(std::initializer_list<int> ports) {
    std::string list;
    for (int port : ports) list += "*:" + std::to_string(port) + ",4,0,ftp\r\n";
    return list;
}

std::string DataPorts() {
    const int low = testsupport::FreeTcpPort();
    return "-n=" + std::to_string(low) + "-" + std::to_string(low + 20);
}

int Curl(const sockstest::SocksEngine& engine, const std::string& arguments, std::string* out = nullptr) {
    auto result = testsupport::RunCommand("curl -sS --max-time 60 --socks5 127.0.0.1:" + std::to_string(engine.port()) +
                                              " " + arguments + " 2>&1",
                                          std::chrono::seconds(70));
    if (out) *out = result.output;
    return result.exitCode;
}

TEST(VsftpdSocksTest, TheCacheTellsServersApart) {
    VsftpdPeer first, second;
    SKIP_WITHOUT_VSFTPD(first);
    SKIP_WITHOUT_VSFTPD(second);
    first.put("pub/same.txt", "from the first server\n");
    second.put("pub/same.txt", "from the second server\n");
    sockstest::SocksEngine engine({{"socks-ptl.ini", FtpPorts({first.port(), second.port()})}}, {"-m=10", DataPorts()});
    std::string out;
    ASSERT_EQ(Curl(engine, "ftp://127.0.0.1:" + std::to_string(first.port()) + "/pub/same.txt", &out), 0)
        << out << engine.log();
    EXPECT_EQ(out, "from the first server\n");
    ASSERT_TRUE(engine.waitForLog("FTP cash making.")) << engine.log();
    ASSERT_EQ(Curl(engine, "--ignore-content-length ftp://127.0.0.1:" + std::to_string(second.port()) + "/pub/same.txt",
                   &out),
              0)
        << out;
    EXPECT_EQ(out, "from the second server\n");
}

TEST(VsftpdSocksTest, TransfersOutlastTheReplyTimeOut) {
    // Five seconds at 1 MB/s, each direction, against waits of two; the
    // data ports from a range of -n, or, without one, chosen by the system.
    VsftpdPeer peer({"anon_max_rate=1000000"});
    SKIP_WITHOUT_VSFTPD(peer);
    const std::string pattern = ftptest::BinaryPattern(5 << 20);
    peer.put("pub/five.bin", pattern);
    for (const std::string& dataPorts : {DataPorts(), std::string()}) {
        SCOPED_TRACE(dataPorts.empty() ? "no data port range" : dataPorts);
        std::vector<std::string> options{"-t=2000,2000,2000,2000"};
        if (!dataPorts.empty()) options.push_back(dataPorts);
        sockstest::SocksEngine engine({{"socks-ptl.ini", FtpPorts({peer.port()})}}, options);
        testsupport::TempDir work;
        const std::string url = "ftp://127.0.0.1:" + std::to_string(peer.port()) + "/pub/";
        std::string out;
        EXPECT_EQ(Curl(engine, "-o " + (work / "five.bin") + " " + url + "five.bin", &out), 0) << out << engine.log();
        EXPECT_TRUE(testsupport::ReadFile(work / "five.bin") == pattern);
        // The client sends slowly: 1 MB at 200 kB/s.
        testsupport::WriteFile(work / "slow.bin", pattern.substr(0, 1000000));
        EXPECT_EQ(Curl(engine, "--limit-rate 200k -T " + (work / "slow.bin") + " " + url + "slow.bin", &out), 0)
            << out << engine.log();
        EXPECT_TRUE(testsupport::ReadFile(peer.root() + "/pub/slow.bin") == pattern.substr(0, 1000000));
        EXPECT_TRUE(engine.waitForEmptyCache());
    }
}

TEST(VsftpdSocksTest, ClientsThatTakeOnlyTheDataPortReachTheEnginesListener) {
    // The server is on another address than the engine's listeners: a
    // client that skips the address of a 227, or asks EPSV, which carries
    // none, connects to the FTP server's host on the engine's data port.
    VsftpdPeer peer({}, "127.0.0.2");
    SKIP_WITHOUT_VSFTPD(peer);
    const std::string pattern = ftptest::BinaryPattern(300000);
    peer.put("pub/file.bin", pattern);
    const std::string url = "ftp://127.0.0.2:" + std::to_string(peer.port()) + "/pub/";
    for (const std::string& dataPorts : {DataPorts(), std::string()}) {
        std::vector<std::string> options;
        if (!dataPorts.empty()) options.push_back(dataPorts);
        sockstest::SocksEngine engine({{"socks-ptl.ini", FtpPorts({peer.port()})}}, options);
        for (const char* mode : {"", "--disable-epsv", "--disable-epsv --no-ftp-skip-pasv-ip", "--ftp-port -"}) {
            SCOPED_TRACE(std::string(dataPorts.empty() ? "no data port range" : dataPorts) + " " + mode);
            testsupport::TempDir work;
            std::string out;
            EXPECT_EQ(Curl(engine, std::string(mode) + " -o " + (work / "file.bin") + " " + url + "file.bin", &out), 0)
                << out << engine.log();
            EXPECT_TRUE(testsupport::ReadFile(work / "file.bin") == pattern);
            EXPECT_EQ(Curl(engine, std::string(mode) + " -l " + url, &out), 0) << out;
            EXPECT_EQ(out, "file.bin\n");
        }
        EXPECT_TRUE(engine.waitForEmptyCache());
    }
}

}  // namespace
