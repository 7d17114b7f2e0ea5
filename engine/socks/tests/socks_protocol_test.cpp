// The protocol kind of a SOCKS destination: socks-ptl.ini as the settings
// page writes it, and the well-known ports without it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/socks/socks_protocol.h"
#include "test_support.h"

namespace engine {
namespace {

// The rows the settings page writes into a new file, behind its comments.
const char* const kPageFile =
    "'----------------------------------------------------------------------\r\n"
    "'IPアドレス:ポート番号,プロトコル指定番号,暗号通信フラグ,コメント（任意）\r\n"
    "'*:80,0,0,http\r\n"
    "*:80,0,0,http\r\n*:25,1,0,smtp\r\n*:110,2,0,pop3\r\n*:21,4,0,ftp\r\n*:22,6,1,ssh\r\n"
    "*:23,6,1,telnet\r\n*:443,0,1,https\r\n*:465,1,1,smtp over ssl/tsl\r\n*:995,2,1,pop3 over ssl/tsl\r\n";

struct KindCase {
    const char* address;
    int port;
    int kind;
    int encrypted;
};

TEST(SocksProtocol, WithoutTheFileTheWellKnownPortsDecide) {
    const KindCase cases[] = {
        {"h", 80, 0, 0},  {"h", 443, 0, 1}, {"h", 25, 1, 0},  {"h", 465, 1, 1}, {"h", 110, 2, 0}, {"h", 995, 2, 1},
        {"h", 143, 3, 0}, {"h", 993, 3, 1}, {"h", 21, 4, 0},  {"h", 22, 6, 1},  {"h", 23, 6, 1},  {"h", 8443, -1, 0},
    };
    for (const KindCase& c : cases) {
        int encrypted = -5;
        EXPECT_EQ(QuerySocksProtocol("/nonexistent/socks-ptl.ini", c.address, c.port, 0, 0, encrypted), c.kind)
            << c.port;
        EXPECT_EQ(encrypted, c.encrypted) << c.port;
    }
}

TEST(SocksProtocol, RowsOfTheFile) {
    testsupport::TempDir dir;
    const std::string file = dir / "socks-ptl.ini";
    testsupport::WriteFile(file, std::string(kPageFile) +
                                     " *:8080,4,0,comment (leading blank)\r\n"
                                     "10.0.0.*:8080,2,0,first match wins\r\n"
                                     "*:8080,0,0,http alt: port\r\n"
                                     "*:8080,1,1,never reached\r\n"
                                     "[::1]:9000,3,1,ipv6\r\n"
                                     "7000,6,0,any address\r\n"
                                     "HOST.EXAMPLE:7100,1,0,case\r\n");
    const KindCase cases[] = {
        {"127.0.0.1", 80, 0, 0},       {"127.0.0.1", 443, 0, 1},   {"127.0.0.1", 995, 2, 1},
        {"10.0.0.9", 8080, 2, 0},      {"127.0.0.1", 8080, 0, 0},  {"::1", 9000, 3, 1},
        {"::2", 9000, -1, 0},          {"anything", 7000, 6, 0},   {"host.example", 7100, 1, 0},
        {"host.example other", 7100, 1, 0},  // the address is cut at its first blank
        {"127.0.0.1", 143, -1, 0},     // the file decides: no fall back to the built-in table
    };
    for (const KindCase& c : cases) {
        int encrypted = -5;
        EXPECT_EQ(QuerySocksProtocol(file, c.address, c.port, 0, 0, encrypted), c.kind) << c.address << " " << c.port;
        EXPECT_EQ(encrypted, c.encrypted) << c.address << " " << c.port;
    }
}

TEST(SocksProtocol, UnlistedPortsAreFtpDataOnlyInsideTheDataPortRange) {
    int encrypted = 0;
    EXPECT_EQ(QuerySocksProtocol("/nonexistent", "h", 50005, 50000, 50010, encrypted), kSocksKindFtpData);
    EXPECT_EQ(QuerySocksProtocol("/nonexistent", "h", 50000, 50000, 50010, encrypted), kSocksKindFtpData);
    EXPECT_EQ(QuerySocksProtocol("/nonexistent", "h", 50010, 50000, 50010, encrypted), kSocksKindFtpData);
    EXPECT_EQ(QuerySocksProtocol("/nonexistent", "h", 50011, 50000, 50010, encrypted), kSocksKindUnknown);
    // Without a range nothing tells a data channel's port from any other.
    EXPECT_EQ(QuerySocksProtocol("/nonexistent", "h", 8443, 0, 0, encrypted), kSocksKindUnknown);
}

TEST(SocksProtocol, OverlongLinesArePassedOver) {
    testsupport::TempDir dir;
    const std::string file = dir / "socks-ptl.ini";
    testsupport::WriteFile(file, "'" + std::string(400, 'x') + "*:81,1,0\r\n*:82,2,0\r\n");
    int encrypted = 0;
    EXPECT_EQ(QuerySocksProtocol(file, "h", 81, 0, 0, encrypted), kSocksKindUnknown);
    EXPECT_EQ(QuerySocksProtocol(file, "h", 82, 0, 0, encrypted), kSocksKindPop3);
}

// The file is read again once it changes, even to rows of the same length,
// and taken as missing once it is gone.
TEST(SocksProtocol, AChangedFileIsReadAgain) {
    testsupport::TempDir dir;
    const std::string file = dir / "socks-ptl.ini";
    int encrypted = 0;
    testsupport::WriteFile(file, "*:8080,0,0,web\r\n");
    EXPECT_EQ(QuerySocksProtocol(file, "h", 8080, 0, 0, encrypted), 0);
    testsupport::WriteFile(file, "*:8080,1,0,smt\r\n");
    EXPECT_EQ(QuerySocksProtocol(file, "h", 8080, 0, 0, encrypted), 1);
    testsupport::WriteFile(file, "'nothing\r\n");
    EXPECT_EQ(QuerySocksProtocol(file, "h", 80, 0, 0, encrypted), -1);
    std::remove(file.c_str());
    EXPECT_EQ(QuerySocksProtocol(file, "h", 80, 0, 0, encrypted), 0);
}

}  // namespace
}  // namespace engine
