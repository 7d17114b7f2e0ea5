// The checks that ask DNS, against a dnsmasq on a loopback port: the SPF
// verdicts of a table of records, clients and senders, and the names the
// URI blocklist walk asks, in order.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "filters/spam/body_check.h"
#include "filters/spam/spf_check.h"
#include "platform/dns/tests/dnsmasq_fixture.h"
#include "spam_test_setup.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

const std::vector<std::string> kSpfZone{
    "txt-record=cidr.test,\"v=spf1 ip4:192.0.2.0/24 -all\"",
    "txt-record=cidr.test,\"google-site-verification=abc\"",
    "txt-record=exact.test,\"v=spf1 ip4:192.0.2.5 -all\"",
    "txt-record=wide.test,\"v=spf1 ip4:10.1.16.0/20 -all\"",
    "txt-record=soft.test,\"v=spf1 ~ip4:192.0.2.0/24 +all\"",
    "txt-record=bare.test,\"v=spf1 all\"",
    "txt-record=neutral.test,\"v=spf1 ip4:198.51.100.0/24 ?all\"",
    "txt-record=noall.test,\"v=spf1 ip4:198.51.100.0/24\"",
    "txt-record=inc.test,\"v=spf1 include:_spf.mail.test ~all\"",
    "txt-record=_spf.mail.test,\"v=spf1 ip4:198.51.100.0/24 -all\"",
    "txt-record=self.test,\"v=spf1 include:self.test -all\"",
    "txt-record=loop-b.test,\"v=spf1 include:loop-c.test -all\"",
    "txt-record=loop-c.test,\"v=spf1 include:loop-d.test -all\"",
    "txt-record=loop-d.test,\"v=spf1 include:loop-c.test ?all\"",
    "txt-record=split.test,\"v=spf1 ip4:192.0.2.0/24 ip\",\"4:198.51.100.0/24 -all\"",
    "txt-record=amx.test,\"v=spf1 a mx -all\"",
    "host-record=amx.test,192.0.2.20",
    "mx-host=amx.test,mx1.amx.test,10",
    "host-record=mx1.amx.test,192.0.2.3",
    "txt-record=anet.test,\"v=spf1 a:amx.test/24 -all\"",
    "txt-record=adual.test,\"v=spf1 a:amx.test//64 -all\"",
    "txt-record=ptr.test,\"v=spf1 ptr -all\"",
    "host-record=mail.ptr.test,192.0.2.40",
    "txt-record=tr.test,\"v=spf1 ptr:tr.test -all\"",
    "ptr-record=41.2.0.192.in-addr.arpa,forged.ptr.test",
    "txt-record=redir.test,\"v=spf1 redirect=cidr.test\"",
    "txt-record=six.test,\"v=spf1 ip6:2001:db8::/32 -all\"",
    "txt-record=pass.test,\"v=spf1 -all\"",
};

TEST(QuerySPF, VerdictsAndMarking) {
    testsupport::Dnsmasq dns(kSpfZone);
    testsupport::ProcessDnsServer useDns(dns.server());
    spamtest::DataFolder data;
    data.Write("passspf.db", "*@pass.test\r\n203.0.113.*\r\n192.0.2.5\r\n");
    struct Case {
        const char* client;
        const char* sender;  // nullptr: the request has one TAB only
        int result;
    };
    const Case cases[] = {
        {"192.0.2.77", "bob@cidr.test", 1},
        {"198.51.100.1", "bob@cidr.test", 0},
        {"192.0.2.5", "bob@exact.test", 3},       // a listed client
        {"192.0.2.50", "bob@exact.test", 0},      // not 192.0.2.5
        {"10.1.31.9", "bob@wide.test", 1},
        {"10.1.32.1", "bob@wide.test", 0},        // outside the /20
        {"192.0.2.9", "bob@soft.test", 0},        // "~" matched: no pass
        {"198.51.100.1", "bob@soft.test", 1},
        {"203.0.114.1", "bob@bare.test", 1},
        {"192.0.2.1", "bob@neutral.test", 2},
        {"192.0.2.1", "bob@noall.test", 2},
        {"198.51.100.9", "bob@inc.test", 1},
        {"203.0.114.1", "bob@inc.test", 0},
        {"192.0.2.1", "bob@self.test", 0},
        {"192.0.2.1", "bob@loop-b.test", 2},      // more than 10 lookups
        {"198.51.100.7", "bob@split.test", 1},    // strings joined as they were split
        {"192.0.2.20", "bob@amx.test", 1},
        {"192.0.2.3", "bob@amx.test", 1},
        {"192.0.2.30", "bob@amx.test", 0},        // not 192.0.2.3
        {"192.0.2.99", "bob@anet.test", 1},       // in the /24 of amx.test's address
        {"198.51.100.20", "bob@anet.test", 0},
        {"192.0.2.20", "bob@adual.test", 1},      // the IPv6 length leaves IPv4 at /32
        {"192.0.2.21", "bob@adual.test", 0},
        {"192.0.2.40", "bob@ptr.test", 1},
        {"192.0.2.41", "bob@ptr.test", 0},        // its name does not lead back to it
        {"192.0.2.40", "bob@tr.test", 0},         // mail.ptr.test is not within tr.test
        {"192.0.2.77", "bob@redir.test", 1},
        {"198.51.100.1", "bob@redir.test", 0},
        {"2001:db8::25", "bob@six.test", 1},
        {"2001:db9::25", "bob@six.test", 0},
        {"192.0.2.1", "bob@nothing.test", 2},
        {"192.0.2.1", "anyone@pass.test", 3},
        {"203.0.113.8", "bob@cidr.test", 3},
        {"192.0.2.1", nullptr, 2},
    };
    for (const Case& c : cases) {
        const std::string mail = data / "mail.dat";
        WriteFile(mail, "Subject: Hi\r\n\r\nbody\r\n");
        std::string request = mail + "\t" + c.client + (c.sender ? std::string("\t") + c.sender : "");
        const std::string what = std::string(c.client) + " " + (c.sender ? c.sender : "(none)");
        EXPECT_EQ(spam::QuerySPF(request), c.result) << what;
        EXPECT_EQ(ReadFile(mail), c.result == 0 ? "Subject: [SPAM]Hi\r\nX-Tavrisk-SpamCheck: TRUE\r\n\r\nbody\r\n"
                                                : "Subject: Hi\r\n\r\nbody\r\n")
            << what;
    }
    EXPECT_EQ(spam::QuerySPF("/no/such/mail.dat"), 1);
}

TEST(QuerySPF, ALoopOfRecordsEndsWithinTheLookupLimit) {
    testsupport::Dnsmasq dns(kSpfZone);
    testsupport::ProcessDnsServer useDns(dns.server());
    spamtest::DataFolder data;
    WriteFile(data / "mail.dat", "\r\n");
    EXPECT_EQ(spam::QuerySPF(data / "mail.dat" + "\t192.0.2.1\tbob@loop-b.test"), 2);
    std::vector<std::string> questions = dns.Questions();
    EXPECT_LE(questions.size(), 11u);
    EXPECT_EQ(questions.front(), "TXT loop-b.test");
}

TEST(QuerySPF, ACheckPastItsTimeBoundAsksNoMoreAndEndsAsAnError) {
    testsupport::Dnsmasq dns(kSpfZone);
    testsupport::ProcessDnsServer useDns(dns.server());
    for (const char* domain : {"amx.test", "inc.test", "redir.test", "ptr.test"}) {
        const std::optional<std::string> record = spam::LookUpSpfRecord(domain).record;
        ASSERT_TRUE(record) << domain;
        spam::SpfWalk late{spam::ParseIpAddress("192.0.2.1"), *record, 0, std::chrono::steady_clock::now()};
        dns.Forget();
        EXPECT_EQ(spam::EvaluateSpf(late, false, domain, *record), spam::SpfResult::PermError) << domain;
        EXPECT_EQ(dns.Questions(), std::vector<std::string>{}) << domain;
    }
}

TEST(QueryDnsblZone, TheWalkOfNamesUnderEachZone) {
    testsupport::Dnsmasq zoneServer({"host-record=listed.example.direct.test,127.0.0.2"});
    testsupport::Dnsmasq dns({"host-record=b.spam.example.zone2.test,127.0.0.2",
                              "host-record=9.2.0.192.zone2.test,127.0.0.2"});
    testsupport::ProcessDnsServer useDns(dns.server());
    spamtest::DataFolder data;
    struct Case {
        std::vector<std::string> zones;
        const char* line;
        int hit;
        std::vector<std::string> questions;
    };
    const Case cases[] = {
        {{"zone1.test", "zone2.test"}, "Visit http://a.b.spam.example/offer", 1,
         {"A spam.example.zone1.test", "A b.spam.example.zone1.test", "A a.b.spam.example.zone1.test",
          "A spam.example.zone2.test", "A b.spam.example.zone2.test"}},
        {{"zone1.test,0"}, "Visit http://a.b.spam.example/offer", 0, {"A a.b.spam.example.zone1.test"}},
        {{"zone1.test,N"}, "Visit http://a.b.spam.example/offer", 0, {"A a.b.spam.example.zone1.test"}},
        {{"zone1.test,1"}, "http://x.a.b.spam.example/", 0,
         {"A spam.example.zone1.test", "A b.spam.example.zone1.test", "A a.b.spam.example.zone1.test"}},
        {{"zone1.test", "zone2.test"}, "http://192.0.2.9/x", 1,
         {"A 9.2.0.192.zone1.test", "A 192.0.2.9.zone1.test", "A 9.2.0.192.zone2.test"}},
        {{"zone1.test"}, "a plain bad.example line", 0, {}},
    };
    for (const Case& c : cases) {
        std::string zones;
        for (const std::string& zone : c.zones) zones += zone + "\r\n";
        data.Write("spam-dnsbl.db", zones);
        WriteFile(data / "mail.dat", "Subject: x\r\n\r\n" + std::string(c.line) + "\r\n");
        dns.Forget();
        EXPECT_EQ(spam::CheckSpamBody(data / "mail.dat", ""), c.hit) << c.line;
        EXPECT_EQ(dns.Questions(), c.questions) << c.line;
    }
    // A zone line's own server is asked directly.
    data.Write("spam-dnsbl.db", "direct.test\t" + zoneServer.server() + "\r\n");
    WriteFile(data / "mail.dat", "\r\nsee www.listed.example\r\n");
    dns.Forget();
    EXPECT_EQ(spam::CheckSpamBody(data / "mail.dat", ""), 1);
    EXPECT_EQ(zoneServer.Questions(), (std::vector<std::string>{"A listed.example.direct.test"}));
    EXPECT_TRUE(dns.Questions().empty());
}

TEST(ScanMimeParts, BlocklistLookupsOfOneMailEndAtTheirBound) {
    // Every answer comes late: 40 links would keep the check for 12 seconds.
    const int port = testsupport::FreeTcpPort();
    testsupport::Process slowDns({"/usr/bin/python3", testsupport::SourcePath("filters/spam/tests/slow_dns.py"),
                                  std::to_string(port), "0.3"},
                                 testsupport::Process::Options{});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return slowDns.out().find("READY") != std::string::npos; }));
    spamtest::DataFolder data;
    std::string mail = "Subject: links\r\n\r\n";
    for (int i = 0; i < 40; ++i) mail += "see http://h" + std::to_string(i) + ".example/ now\r\n";
    mail += "buy cheap pills\r\n";
    WriteFile(data / "mail.dat", mail);
    spam::BodyLists lists;
    lists.zones = {"zone.test\t127.0.0.1:" + std::to_string(port)};
    lists.keywords = {"*cheap pills*"};
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen((data / "mail.dat").c_str(), "rb"), std::fclose);
    ASSERT_TRUE(file);
    const auto start = std::chrono::steady_clock::now();
    // The keywords are still checked to the end of the mail.
    EXPECT_EQ(spam::ScanMimeParts(file.get(), lists, std::chrono::seconds(1)), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
