#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/connect_table.h"
#include "test_support.h"

namespace {

using common::ClientTlsMark;
using common::ConnectTableLine;

struct LineCase {
    const char* line;
    const char* address;
    int port;
    ClientTlsMark tls;
    const char* certificate;
    const char* key;
    bool hasValue;
    const char* send;
    const char* server;
    const char* serverPort;
    const char* name;
};

TEST(ConnectTableLine, Fields) {
    const LineCase cases[] = {
        // HTTP proxy, direct.
        {"127.0.0.1 8080=", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true, "", "", "", ""},
        // Upstream proxy with a name.
        {"127.0.0.1 8080=,proxy.example.jp 3128,Upstream", "127.0.0.1", 8080, ClientTlsMark::kNone, "",
         "", true, "", "proxy.example.jp", "3128", "Upstream"},
        // POP3 with a send address, TLS towards the server, CR LF kept from the file.
        {"192.168.1.1 110=192.168.1.1,pop.example.jp 995+,Mail\r\n", "192.168.1.1", 110,
         ClientTlsMark::kNone, "", "", true, "192.168.1.1", "pop.example.jp", "995+", "Mail"},
        // TLS towards the client with certificate and key.
        {"0.0.0.0 995+/etc/ssl/c-1.pem\t/etc/ssl/k+1.pem=,pop.example.jp 110,POP3S", "0.0.0.0", 995,
         ClientTlsMark::kTls, "/etc/ssl/c-1.pem", "/etc/ssl/k+1.pem", true, "", "pop.example.jp", "110",
         "POP3S"},
        // STARTTLS towards the client, STARTTLS towards the server.
        {"::1 25-/c.pem\t/k.pem=,smtp.example.jp 25-,", "::1", 25, ClientTlsMark::kStartTls, "/c.pem",
         "/k.pem", true, "", "smtp.example.jp", "25-", ""},
        // A TLS mark without a TAB: a TLS port without files.
        {"127.0.0.1 443+=", "127.0.0.1", 443, ClientTlsMark::kTls, "", "", true, "", "", "", ""},
        // Tunnel; the name may hold commas.
        {"127.0.0.1 110=,pop.example.jp 110*,Mail, tunnel", "127.0.0.1", 110, ClientTlsMark::kNone, "",
         "", true, "", "pop.example.jp", "110*", "Mail, tunnel"},
        // Only a send address.
        {"127.0.0.1 21=10.0.0.5", "127.0.0.1", 21, ClientTlsMark::kNone, "", "", true, "10.0.0.5", "",
         "", ""},
        // A server without a port; extra blanks before the port are skipped.
        {"127.0.0.1 21=,ftp.example.jp", "127.0.0.1", 21, ClientTlsMark::kNone, "", "", true, "",
         "ftp.example.jp", "", ""},
        {"127.0.0.1 21=,ftp.example.jp   2121,FTP", "127.0.0.1", 21, ClientTlsMark::kNone, "", "", true,
         "", "ftp.example.jp", "2121", "FTP"},
        // Listen entries as option -f reads them: no value, or no port.
        {"127.0.0.1 8080", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", false, "", "", "", ""},
        {"127.0.0.1=,proxy 3128", "127.0.0.1", -1, ClientTlsMark::kNone, "", "", true, "", "proxy",
         "3128", ""},
    };
    for (const auto& c : cases) {
        auto entry = common::ParseConnectTableLine(c.line);
        ASSERT_TRUE(entry) << c.line;
        EXPECT_EQ(entry->listenAddress, c.address) << c.line;
        EXPECT_EQ(entry->listenPort, c.port) << c.line;
        EXPECT_EQ(entry->clientTls, c.tls) << c.line;
        EXPECT_EQ(entry->certificateFile, c.certificate) << c.line;
        EXPECT_EQ(entry->privateKeyFile, c.key) << c.line;
        EXPECT_EQ(entry->hasValue, c.hasValue) << c.line;
        EXPECT_EQ(entry->sendAddress, c.send) << c.line;
        EXPECT_EQ(entry->server, c.server) << c.line;
        EXPECT_EQ(entry->serverPort, c.serverPort) << c.line;
        EXPECT_EQ(entry->name, c.name) << c.line;
    }
}

TEST(ConnectTableLine, CommentsAndMalformedKeys) {
    const char* rejected[] = {
        "", "\r\n", "\n", " 127.0.0.1 8080=", "'127.0.0.1 8080=", "\"127.0.0.1 8080=",
        "127.0.0.1 =",            // no port
        "127.0.0.1 80x=",         // junk after the port
        "127.0.0.1  8080=",       // two blanks
        "127.0.0.1 65536=",       // no such port
        "127.0.0.1 99999999999999999999=",
        "=,proxy 3128",           // no address
    };
    for (const char* line : rejected) EXPECT_FALSE(common::ParseConnectTableLine(line)) << line;
}

TEST(ConnectTableLine, ListenEntry) {
    EXPECT_EQ(common::ParseConnectTableLine("10.0.0.1 995+/c\t/k=,s 1")->ListenEntry(), "10.0.0.1 995");
    EXPECT_EQ(common::ParseConnectTableLine("10.0.0.1=")->ListenEntry(), "10.0.0.1");
}

TEST(ServerPort, Marks) {
    struct Case {
        const char* field;
        const char* port;
        bool tunnel, tls, startTls;
    } cases[] = {
        {"", "", false, false, false},       {"110", "110", false, false, false},
        {"110*", "110", true, false, false}, {"995+", "995", false, true, false},
        {"25-", "25", false, false, true},   {"110*+", "110", true, false, false},
        {"+", "", false, true, false},
    };
    for (const auto& c : cases) {
        auto p = common::ParseServerPort(c.field);
        EXPECT_EQ(p.port, c.port) << c.field;
        EXPECT_EQ(p.tunnel, c.tunnel) << c.field;
        EXPECT_EQ(p.tls, c.tls) << c.field;
        EXPECT_EQ(p.startTls, c.startTls) << c.field;
    }
}

TEST(GetConnectTable, FirstMatchingLineOfTheFile) {
    testsupport::TempDir dir;
    std::string path = dir / "pop3.ini";
    testsupport::WriteFile(path,
                           "' listeners of the POP3 proxy\r\n"
                           "\r\n"
                           " 127.0.0.1 110=,commented.example.jp 110,Commented\r\n"
                           "127.0.0.1 1100=,wrong-port.example.jp 110,Wrong\r\n"
                           "127.0.0.10 110=,wrong-address.example.jp 110,Wrong\r\n"
                           "127.0.0.1 110\r\n"
                           "127.0.0.1 110-/c.pem\t/k.pem=10.0.0.1,pop.example.jp 995+,Mail\r\n"
                           "127.0.0.1 110=,second.example.jp 110,Second\r\n"
                           "127.0.0.1 8110=,unnamed.example.jp 110\r\n");
    std::vector<std::string> logged;
    auto log = [&logged](const std::string& line) { logged.push_back(line); };

    auto hit = common::GetConnectTable(path, "127.0.0.1", 110, log);
    EXPECT_TRUE(hit.fileFound);
    ASSERT_TRUE(hit.entry);
    EXPECT_EQ(hit.entry->server, "pop.example.jp");
    EXPECT_EQ(hit.entry->sendAddress, "10.0.0.1");
    EXPECT_EQ(hit.entry->serverPort, "995+");
    EXPECT_EQ(logged, std::vector<std::string>{"[GetConnectTable] [Hit] Mail\n"});

    logged.clear();
    auto unnamed = common::GetConnectTable(path, "127.0.0.1", 8110, log);
    ASSERT_TRUE(unnamed.entry);
    EXPECT_EQ(unnamed.entry->server, "unnamed.example.jp");
    EXPECT_TRUE(logged.empty());

    auto miss = common::GetConnectTable(path, "127.0.0.1", 111, log);
    EXPECT_TRUE(miss.fileFound);
    EXPECT_FALSE(miss.entry);

    auto missing = common::GetConnectTable(dir / "none.ini", "127.0.0.1", 110, log);
    EXPECT_FALSE(missing.fileFound);
    EXPECT_FALSE(missing.entry);
    EXPECT_TRUE(logged.empty());
}

}  // namespace
