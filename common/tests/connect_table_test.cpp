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

// The default connection name of the settings pages, as they write it
// (Shift_JIS).
#define DEFAULT_NAME "\x90\xda\x91\xb1\x90\xe6\x96\xbc\x8f\xcc"

void ExpectLine(const LineCase& c) {
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

// Every line shape the web proxy pages write (HTTP, FTP, SOCKS): listen
// address, blank, port, "=", address field, ",", host, blank, port, ",",
// name. A row without a host is written with both host and port empty, so
// a blank stands alone between two commas.
const std::vector<LineCase>& WebPageLines() {
    static const std::vector<LineCase> cases = {
        // HTTP with an upstream proxy, the settings pages' own example.
        {"127.0.0.1 8080=,10.0.0.5 3128,office\r\n", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true, "",
         "10.0.0.5", "3128", "office"},
        // HTTP with a send address and an upstream proxy.
        {"192.168.1.1 8080=192.168.1.10,proxy.example.jp 3128,Upstream", "192.168.1.1", 8080,
         ClientTlsMark::kNone, "", "", true, "192.168.1.10", "proxy.example.jp", "3128", "Upstream"},
        // HTTP without an upstream proxy: no server, no port.
        {"127.0.0.1 8080=, ,office\r\n", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true, "", "", "",
         "office"},
        {"127.0.0.1 8080=, ," DEFAULT_NAME "\r\n", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true, "", "",
         "", DEFAULT_NAME},
        {"127.0.0.1 8080=192.168.1.10, ,office", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true,
         "192.168.1.10", "", "", "office"},
        // The name is the rest of the line, commas and blanks included; it
        // may be empty.
        {"127.0.0.1 8080=, ,Office, 2F east", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true, "", "", "",
         "Office, 2F east"},
        {"127.0.0.1 8080=,proxy.example.jp 3128,", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true, "",
         "proxy.example.jp", "3128", ""},
        {"127.0.0.1 8080=, ,", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true, "", "", "", ""},
        // A port with a tunnel mark (the pages show and save it as 3128).
        {"127.0.0.1 8080=,proxy.example.jp 3128*,Up", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true, "",
         "proxy.example.jp", "3128*", "Up"},
        // FTP: the page's defaults, a public address, no destination.
        {"127.0.0.1 8021=,xxx.xxxx.xxx.xxx 21," DEFAULT_NAME "\r\n", "127.0.0.1", 8021, ClientTlsMark::kNone, "",
         "", true, "", "xxx.xxxx.xxx.xxx", "21", DEFAULT_NAME},
        {"0.0.0.0 8021=203.0.113.5,ftp.example.jp 21,FTP", "0.0.0.0", 8021, ClientTlsMark::kNone, "", "", true,
         "203.0.113.5", "ftp.example.jp", "21", "FTP"},
        {"0.0.0.0 8021=203.0.113.5, ,FTP", "0.0.0.0", 8021, ClientTlsMark::kNone, "", "", true, "203.0.113.5", "",
         "", "FTP"},
        // SOCKS: always without a server.
        {"127.0.0.1 1080=, ," DEFAULT_NAME "\r\n", "127.0.0.1", 1080, ClientTlsMark::kNone, "", "", true, "", "",
         "", DEFAULT_NAME},
        {"192.168.0.1 1080=192.168.0.5, ,LAN", "192.168.0.1", 1080, ClientTlsMark::kNone, "", "", true,
         "192.168.0.5", "", "", "LAN"},
        {"::1 1080=, ,v6", "::1", 1080, ClientTlsMark::kNone, "", "", true, "", "", "", "v6"},
    };
    return cases;
}

TEST(ConnectTableLine, WebProxyPageLines) {
    for (const auto& c : WebPageLines()) ExpectLine(c);
}

// Every line shape the mail proxy pages write (SMTP, POP3): the client
// part ("+" TLS or "-" STARTTLS, certificate TAB key) before the "=", and
// the server marks "+", "-" or "*" after the server port.
const std::vector<LineCase>& MailPageLines() {
    static const std::vector<LineCase> cases = {
        // The POP3 page's defaults.
        {"127.0.0.1 8110=,xxx.xxxx.xxx.xxx 110," DEFAULT_NAME "\r\n", "127.0.0.1", 8110, ClientTlsMark::kNone, "",
         "", true, "", "xxx.xxxx.xxx.xxx", "110", DEFAULT_NAME},
        // No server: the port alone, after the blank.
        {"127.0.0.1 8025=, 25,name", "127.0.0.1", 8025, ClientTlsMark::kNone, "", "", true, "", "", "25", "name"},
        {"127.0.0.1 8025=192.168.1.1, 25-,name", "127.0.0.1", 8025, ClientTlsMark::kNone, "", "", true,
         "192.168.1.1", "", "25-", "name"},
        // A connect-from address.
        {"192.168.1.1 25=192.168.1.1,smtp.example.jp 25,SMTP", "192.168.1.1", 25, ClientTlsMark::kNone, "", "",
         true, "192.168.1.1", "smtp.example.jp", "25", "SMTP"},
        // TLS towards the client with both files; a "-" or a "+" in a path
        // after the mark stays in the path.
        {"0.0.0.0 995+/etc/ssl/c-1.pem\t/etc/ssl/k+1.pem=,pop.example.jp 110,POP3S", "0.0.0.0", 995,
         ClientTlsMark::kTls, "/etc/ssl/c-1.pem", "/etc/ssl/k+1.pem", true, "", "pop.example.jp", "110", "POP3S"},
        // TLS towards the client without files: the mark, a TAB, "=".
        {"127.0.0.1 8110+\t=,pop.example.jp 110,name", "127.0.0.1", 8110, ClientTlsMark::kTls, "", "", true, "",
         "pop.example.jp", "110", "name"},
        // STARTTLS towards the client (also written for paths without a
        // client flag), STARTTLS towards the server.
        {"::1 25-/c.pem\t/k.pem=,smtp.example.jp 25-,", "::1", 25, ClientTlsMark::kStartTls, "/c.pem", "/k.pem",
         true, "", "smtp.example.jp", "25-", ""},
        {"127.0.0.1 8025-/a+b.pem\t/k.pem=,smtp.example.jp 25,name", "127.0.0.1", 8025, ClientTlsMark::kStartTls,
         "/a+b.pem", "/k.pem", true, "", "smtp.example.jp", "25", "name"},
        {"127.0.0.1 8025-\t=,smtp.example.jp 587,name", "127.0.0.1", 8025, ClientTlsMark::kStartTls, "", "", true,
         "", "smtp.example.jp", "587", "name"},
        // TLS towards the server; a tunnel; the name may hold commas.
        {"192.168.1.1 110=192.168.1.1,pop.example.jp 995+,Mail\r\n", "192.168.1.1", 110, ClientTlsMark::kNone, "",
         "", true, "192.168.1.1", "pop.example.jp", "995+", "Mail"},
        {"127.0.0.1 110=,pop.example.jp 110*,Mail, tunnel", "127.0.0.1", 110, ClientTlsMark::kNone, "", "", true,
         "", "pop.example.jp", "110*", "Mail, tunnel"},
        // A row loaded from a line without "=" is saved back with every
        // field after it empty.
        {"127.0.0.1 8110=, ,", "127.0.0.1", 8110, ClientTlsMark::kNone, "", "", true, "", "", "", ""},
        // The POP3 page takes any destination port.
        {"127.0.0.1 8110=,pop.example.jp 70000,name", "127.0.0.1", 8110, ClientTlsMark::kNone, "", "", true, "",
         "pop.example.jp", "70000", "name"},
    };
    return cases;
}

TEST(ConnectTableLine, MailPageLines) {
    for (const auto& c : MailPageLines()) ExpectLine(c);
}

// Lines written by hand: the split takes the first separator each time,
// and trims nothing; blanks around the listen port are skipped.
TEST(ConnectTableLine, HandWrittenLines) {
    const LineCase cases[] = {
        {"127.0.0.1 8080=", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true, "", "", "", ""},
        {"127.0.0.1 443+=", "127.0.0.1", 443, ClientTlsMark::kTls, "", "", true, "", "", "", ""},
        {"127.0.0.1 21=10.0.0.5", "127.0.0.1", 21, ClientTlsMark::kNone, "", "", true, "10.0.0.5", "", "", ""},
        // No blank after the server: it runs to the next ",", as the
        // settings pages read it.
        {"127.0.0.1 21=,ftp.example.jp", "127.0.0.1", 21, ClientTlsMark::kNone, "", "", true, "",
         "ftp.example.jp", "", ""},
        {"127.0.0.1 21=,ftp.example.jp,FTP", "127.0.0.1", 21, ClientTlsMark::kNone, "", "", true, "",
         "ftp.example.jp", "", "FTP"},
        // Field C runs from the first blank to the next ",".
        {"127.0.0.1 21=,ftp.example.jp   2121,FTP", "127.0.0.1", 21, ClientTlsMark::kNone, "", "", true, "",
         "ftp.example.jp", "  2121", "FTP"},
        {"127.0.0.1 21=,ftp.example.jp 2121", "127.0.0.1", 21, ClientTlsMark::kNone, "", "", true, "",
         "ftp.example.jp", "2121", ""},
        // Two blanks before the listen port, blanks before "=" or the mark.
        {"127.0.0.1  8080=, ,office", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true, "", "", "", "office"},
        {"127.0.0.1 8080 =,proxy 3128,Up", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", true, "", "proxy",
         "3128", "Up"},
        {"127.0.0.1 995 +/c.pem\t/k.pem=", "127.0.0.1", 995, ClientTlsMark::kTls, "/c.pem", "/k.pem", true, "", "",
         "", ""},
        // Listen entries as option -f reads them: no value, or no port.
        {"127.0.0.1 8080", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", false, "", "", "", ""},
        {"127.0.0.1 8080 ", "127.0.0.1", 8080, ClientTlsMark::kNone, "", "", false, "", "", "", ""},
        {"127.0.0.1=,proxy 3128", "127.0.0.1", -1, ClientTlsMark::kNone, "", "", true, "", "proxy", "3128", ""},
    };
    for (const auto& c : cases) ExpectLine(c);
}

TEST(ConnectTableLine, CommentsAndMalformedKeys) {
    const char* rejected[] = {
        "", "\r\n", "\n", " 127.0.0.1 8080=", "'127.0.0.1 8080=", "\"127.0.0.1 8080=",
        "127.0.0.1 =",            // no port
        "127.0.0.1  =, ,x",       // no port either
        "127.0.0.1 80x=",         // junk after the port
        "127.0.0.1 80 x=",
        "127.0.0.1 65536=",       // no such port
        "127.0.0.1 70000=, ,x",   // the POP3 page takes it
        "127.0.0.1 -1=, ,x",      // and this one
        "127.0.0.1 99999999999999999999=",
        "=,proxy 3128",           // no address
    };
    for (const char* line : rejected) EXPECT_FALSE(common::ParseConnectTableLine(line)) << line;
}

TEST(ConnectTableLine, ListenEntry) {
    struct Case {
        const char* line;
        const char* entry;
    } cases[] = {
        {"10.0.0.1 995+/c\t/k=,s 1", "10.0.0.1 995"},
        {"10.0.0.1=", "10.0.0.1"},
        {"10.0.0.1  8080=, ,x", "10.0.0.1 8080"},
        {"10.0.0.1 8080 =, ,x", "10.0.0.1 8080"},
        {"10.0.0.1 8025-/c.pem\t/k.pem=, 25,x", "10.0.0.1 8025"},
    };
    for (const auto& c : cases) EXPECT_EQ(common::ParseConnectTableLine(c.line)->ListenEntry(), c.entry) << c.line;
}

// The one grammar: every line the pages write, split as the pages load it,
// gives the fields the engine's parser reads, and is written back byte for
// byte; the written line passes the pages' read-back check.
TEST(ConnectTableRow, PageLinesSplitAsParsedAndFormatBack) {
    for (const auto* table : {&WebPageLines(), &MailPageLines()}) {
        for (const LineCase& c : *table) {
            auto row = common::SplitConnectTableLine(c.line);
            ASSERT_TRUE(row) << c.line;
            EXPECT_EQ(row->listenAddress, c.address) << c.line;
            EXPECT_EQ(row->listenPort, std::to_string(c.port)) << c.line;
            EXPECT_EQ(row->clientTls, c.tls) << c.line;
            EXPECT_EQ(row->certificateFile, c.certificate) << c.line;
            EXPECT_EQ(row->privateKeyFile, c.key) << c.line;
            EXPECT_EQ(row->sendAddress, c.send) << c.line;
            EXPECT_EQ(row->server, c.server) << c.line;
            EXPECT_EQ(row->serverPort, c.serverPort) << c.line;
            EXPECT_EQ(row->name, c.name) << c.line;
            std::string line = c.line;
            line = line.substr(0, line.find_first_of("\r\n"));
            EXPECT_EQ(common::FormatConnectTableLine(*row), line);
            EXPECT_EQ(common::RowReadsBack(*row), common::ConnectTableField::kNone) << c.line;
        }
    }
}

// Lines the pages load as far as they go: nothing is refused, a missing
// "=" leaves the rest as the listen port, a missing blank makes the whole
// line the listen address.
TEST(ConnectTableRow, TolerantSplit) {
    struct Case {
        const char* line;
        const char* address;
        const char* port;
        const char* send;
        const char* server;
        const char* serverPort;
        const char* name;
    } cases[] = {
        {"127.0.0.1 8080", "127.0.0.1", "8080", "", "", "", ""},
        {"127.0.0.1 8080\r\n", "127.0.0.1", "8080", "", "", "", ""},
        {"127.0.0.1", "127.0.0.1", "", "", "", "", ""},
        {"127.0.0.1 =", "127.0.0.1", "", "", "", "", ""},
        {"127.0.0.1 80x=a", "127.0.0.1", "80x", "a", "", "", ""},
        {"127.0.0.1 70000=, ,x", "127.0.0.1", "70000", "", "", "", "x"},
        {"127.0.0.1 21=,ftp.example.jp,FTP", "127.0.0.1", "21", "", "ftp.example.jp", "", "FTP"},
        {"127.0.0.1 21=,ftp.example.jp 21*,FTP", "127.0.0.1", "21", "", "ftp.example.jp", "21*", "FTP"},
    };
    for (const auto& c : cases) {
        auto row = common::SplitConnectTableLine(c.line);
        ASSERT_TRUE(row) << c.line;
        EXPECT_EQ(row->listenAddress, c.address) << c.line;
        EXPECT_EQ(row->listenPort, c.port) << c.line;
        EXPECT_EQ(row->sendAddress, c.send) << c.line;
        EXPECT_EQ(row->server, c.server) << c.line;
        EXPECT_EQ(row->serverPort, c.serverPort) << c.line;
        EXPECT_EQ(row->name, c.name) << c.line;
    }
    for (const char* comment : {"", "\r\n", " 127.0.0.1 8080=", "'x", "\"x"})
        EXPECT_FALSE(common::SplitConnectTableLine(comment)) << comment;
}

// Rows typed into the pages that would come back different: the field that
// does not fit is named.
TEST(ConnectTableRow, RowsThatReadBackDifferently) {
    using F = common::ConnectTableField;
    auto row = [](const char* address, const char* port, const char* send, const char* server,
                  const char* serverPort, const char* name) {
        common::ConnectTableRow r;
        r.listenAddress = address;
        r.listenPort = port;
        r.sendAddress = send;
        r.server = server;
        r.serverPort = serverPort;
        r.name = name;
        return r;
    };
    struct Case {
        common::ConnectTableRow row;
        F field;
    } cases[] = {
        {row("127.0.0.1", "8080", "", "", "", "a, b c"), F::kNone},
        {row("127.0.0.1", "8080", "", "proxy", "3128*", "x"), F::kNone},
        {row(" 127.0.0.1", "8080", "", "", "", "x"), F::kListenAddress},
        {row("'127.0.0.1", "8080", "", "", "", "x"), F::kListenAddress},
        {row("", "8080", "", "", "", "x"), F::kListenAddress},
        {row("127.0.0.1 x", "8080", "", "", "", "x"), F::kListenAddress},
        {row("a=b", "8080", "", "", "", "x"), F::kListenAddress},
        {row("127.0.0.1", "65536", "", "", "", "x"), F::kListenPort},
        {row("127.0.0.1", "", "", "", "", "x"), F::kListenPort},
        {row("127.0.0.1", "8080", "10.0.0.1,", "", "", "x"), F::kSendAddress},
        {row("127.0.0.1", "8080", "", "proxy host", "3128", "x"), F::kServer},
        {row("127.0.0.1", "8080", "", "proxy,x", "3128", "x"), F::kServer},
        {row("127.0.0.1", "8080", "", " ", "", "x"), F::kServer},
        {row("127.0.0.1", "8080", "", "proxy", "31,28", "x"), F::kServerPort},
        {row("127.0.0.1", "8080", "", "", "", "x\r\ny"), F::kName},
    };
    for (const auto& c : cases)
        EXPECT_EQ(common::RowReadsBack(c.row), c.field) << common::FormatConnectTableLine(c.row);
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
        {"+", "", false, true, false},       {"  2121", "2121", false, false, false},
        {"2121 *", "2121", true, false, false},
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
                           "127.0.0.1 8110=,unnamed.example.jp 110\r\n"
                           "127.0.0.1  8111 =, ,No server\r\n");
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

    auto spaced = common::GetConnectTable(path, "127.0.0.1", 8111, log);
    ASSERT_TRUE(spaced.entry);
    EXPECT_EQ(spaced.entry->server, "");
    EXPECT_EQ(spaced.entry->serverPort, "");
    EXPECT_EQ(logged, std::vector<std::string>{"[GetConnectTable] [Hit] No server\n"});
    logged.clear();

    auto miss = common::GetConnectTable(path, "127.0.0.1", 111, log);
    EXPECT_TRUE(miss.fileFound);
    EXPECT_FALSE(miss.entry);

    auto missing = common::GetConnectTable(dir / "none.ini", "127.0.0.1", 110, log);
    EXPECT_FALSE(missing.fileFound);
    EXPECT_FALSE(missing.entry);
    EXPECT_TRUE(logged.empty());
}

}  // namespace
