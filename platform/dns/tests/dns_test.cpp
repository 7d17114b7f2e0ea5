#include "platform/dns/dns.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/dns/tests/dnsmasq_fixture.h"

namespace {

using platform::dns::Query;
using platform::dns::RecordType;
using platform::dns::Status;
using Questions = std::vector<std::string>;

TEST(DnsServerText, Parses) {
    struct Case {
        const char* text;
        bool ok;
        const char* address;
        int port;
    } cases[] = {
        {"127.0.0.1", true, "127.0.0.1", 53}, {"127.0.0.1:5353", true, "127.0.0.1", 5353},
        {"127.1", true, "127.0.0.1", 53},     {"", false, "", 0},
        {"ns.test:53", false, "", 0},         {"1.2.3.4:0", false, "", 0},
        {"1.2.3.4:70000", false, "", 0},      {"1.2.3.4:", false, "", 0},
        {"1.2.3.4:53x", false, "", 0},        {"::1", false, "", 0},
    };
    for (const auto& c : cases) {
        auto server = platform::dns::ParseServer(c.text);
        ASSERT_EQ(server.has_value(), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(server->address, c.address) << c.text;
        EXPECT_EQ(server->port, c.port) << c.text;
    }
}

TEST(DnsQueryName, RefusesWhatDnsCannotCarry) {
    std::string label63(63, 'a'), label64(64, 'a');
    std::string name253 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b');
    ASSERT_EQ(name253.size(), 253u);
    struct Case {
        std::string name;
        bool valid;
    } cases[] = {
        {"a.test", true},          {"a.test.", true},     {label63 + ".test", true}, {label64 + ".test", false},
        {name253, true},           {name253 + ".", true}, {name253 + "b", false},    {"a..test", false},
        {".a.test", false},        {"", false},           {".", false},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::dns::IsValidQueryName(c.name), c.valid) << c.name;
}

class DnsQueryTest : public ::testing::Test {
protected:
    testsupport::Dnsmasq dns{{
        "address=/a.test/127.0.0.2",
        "txt-record=t.test,\"v=spf1 \",\"-all\"",
        "mx-host=m.test,mail.m.test,10",
        "ptr-record=2.0.0.127.in-addr.arpa,a.test",
    }};
    testsupport::ProcessDnsServer use{dns.server()};
};

TEST_F(DnsQueryTest, AnswersEachRecordType) {
    auto a = Query("a.test", RecordType::A);
    ASSERT_EQ(a.status, Status::Found);
    ASSERT_EQ(a.records.size(), 1u);
    EXPECT_EQ(a.records[0].data, "127.0.0.2");
    EXPECT_EQ(a.records[0].name, "a.test");

    auto txt = Query("t.test", RecordType::TXT);
    ASSERT_EQ(txt.status, Status::Found);
    EXPECT_EQ(txt.records[0].data, "v=spf1 -all");

    auto mx = Query("m.test", RecordType::MX);
    ASSERT_EQ(mx.status, Status::Found);
    EXPECT_EQ(mx.records[0].data, "mail.m.test");
    EXPECT_EQ(mx.records[0].preference, 10);

    auto ptr = Query("2.0.0.127.in-addr.arpa", RecordType::PTR);
    ASSERT_EQ(ptr.status, Status::Found);
    EXPECT_EQ(ptr.records[0].data, "a.test");

    EXPECT_EQ(Query("missing.test", RecordType::A).status, Status::NameNotFound);
    EXPECT_TRUE(platform::dns::HasAddressRecord("a.test"));
    EXPECT_FALSE(platform::dns::HasAddressRecord("missing.test"));

    EXPECT_EQ(dns.Questions(), (Questions{"A a.test", "TXT t.test", "MX m.test", "PTR 2.0.0.127.in-addr.arpa",
                                          "A missing.test", "A a.test", "A missing.test"}));
}

TEST_F(DnsQueryTest, TooLongNameIsNeverSent) {
    std::string name = std::string(250, 'x') + ".a.test";
    EXPECT_EQ(Query(name, RecordType::A).status, Status::InvalidName);
    EXPECT_EQ(Query(std::string(64, 'x') + ".a.test", RecordType::A).status, Status::InvalidName);
    EXPECT_EQ(Query("a.test", RecordType::A).status, Status::Found);
    EXPECT_EQ(dns.Questions(), (Questions{"A a.test"}));
}

TEST_F(DnsQueryTest, NamedServerIsAskedInsteadOfTheProcessOne) {
    testsupport::Dnsmasq other({"address=/only-other.test/127.0.0.3"});
    auto server = platform::dns::ParseServer(other.server());
    ASSERT_TRUE(server);
    auto answer = Query("only-other.test", RecordType::A, server);
    ASSERT_EQ(answer.status, Status::Found);
    EXPECT_EQ(answer.records[0].data, "127.0.0.3");
    EXPECT_EQ(Query("only-other.test", RecordType::A).status, Status::NameNotFound);
    EXPECT_EQ(other.Questions(), (Questions{"A only-other.test"}));
    EXPECT_EQ(dns.Questions(), (Questions{"A only-other.test"}));
}

TEST_F(DnsQueryTest, ThreadsAskAtTheSameTime) {
    std::atomic<int> found{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) found += platform::dns::HasAddressRecord("a.test") ? 1 : 0;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(found.load(), 160);
}

TEST(DnsQuery, UnreachableServerFails) {
    // Nothing listens on this port: the question fails, it does not hang
    // beyond the resolver's own time-out.
    int port = testsupport::FreeTcpPort();
    auto server = platform::dns::ParseServer("127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(Query("a.test", RecordType::A, server).status, Status::Failed);
}

}  // namespace
