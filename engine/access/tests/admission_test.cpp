#include "engine/access/admission.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using engine::MatchAddressRule;

TEST(AddressRule, Matches) {
    struct Case {
        const char* rule;
        const char* address;
        bool match;
    } cases[] = {
        // prefix rules compare bits, not text
        {"10.0.0.5/32", "10.0.0.5", true},
        {"10.0.0.5/32", "10.0.0.50", false},
        {"10.1.16.0/20", "10.1.16.0", true},
        {"10.1.16.0/20", "10.1.31.255", true},
        {"10.1.16.0/20", "10.1.32.1", false},
        {"10.1.16.0/20", "10.1.15.255", false},
        {"10.1.20.0/20", "10.1.16.1", true},  // unaligned rule: the range the prefix names
        {"10.1.20.0/20", "10.1.35.1", false},
        {"192.168.1.0/24", "192.168.1.255", true},
        {"192.168.1.0/24", "192.168.2.0", false},
        {"10.0.0.0/8", "10.255.255.255", true},
        {"10.0.0.0/8", "11.0.0.0", false},
        {"0.0.0.0/0", "203.0.113.9", true},
        {"10.0.0.0/33", "10.0.0.1", false},
        {"10.0.0.0/x", "10.0.0.1", false},
        {"10.0.0.0/", "10.0.0.1", false},
        {"10.0.0.0/8", "2001:db8::1", false},
        {"2001:db8::/32", "2001:db8:ffff::1", true},
        {"2001:db8::/32", "2001:db9::1", false},
        {"2001:DB8::/32", "2001:db8::7", true},
        {"2001:db8::/33", "2001:db8:7fff::1", true},
        {"2001:db8::/33", "2001:db8:8000::1", false},
        {"2001:db8::1/128", "2001:db8::1", true},
        {"2001:db8::1/128", "2001:db8::2", false},
        {"::/0", "2001:db8::1", true},
        {"::/0", "10.0.0.1", false},
        {"2001:db8::/129", "2001:db8::1", false},
        {"::ffff:10.0.0.0/104", "10.1.2.3", true},  // IPv4-mapped rule is its IPv4 rule
        {"::ffff:10.0.0.0/104", "11.1.2.3", false},
        {"10.0.0.0/8", "::ffff:10.1.2.3", true},    // IPv4-mapped client seen dotted
        // whole addresses
        {"10.0.0.1", "10.0.0.1", true},
        {"10.0.0.1", "10.0.0.10", false},
        {"10.0.0.1", "::ffff:10.0.0.1", true},
        {"2001:DB8::1", "2001:db8::1", true},
        {"2001:db8:0:0:0:0:0:1", "2001:db8::1", true},
        {"2001:db8::1", "2001:db8::2", false},
        // wildcards
        {"*", "10.0.0.1", true},
        {"*", "2001:db8::1", true},
        {"192.168.*", "192.168.7.7", true},
        {"192.168.*", "192.169.1.1", false},
        {"10.0.0.1*", "10.0.0.15", true},
        {"2001:db8::*", "2001:db8::", true},
        {"2001:db8::*", "2001:db8::1", false},
        {"2001:db8:*", "2001:DB8::", true},
        // anything else compares as text
        {"localhost", "localhost", true},
        {"localhost", "127.0.0.1", false},
        {"", "10.0.0.1", false},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchAddressRule(c.rule, c.address), c.match) << c.rule << " vs " << c.address;
}

TEST(AddressRule, CanonicalClientAddress) {
    EXPECT_EQ(engine::CanonicalClientAddress("::ffff:192.0.2.1"), "192.0.2.1");
    EXPECT_EQ(engine::CanonicalClientAddress("::FFFF:c000:201"), "192.0.2.1");
    EXPECT_EQ(engine::CanonicalClientAddress("2001:db8::1"), "2001:db8::1");
    EXPECT_EQ(engine::CanonicalClientAddress("192.0.2.1"), "192.0.2.1");
    EXPECT_EQ(engine::CanonicalClientAddress("not:an address"), "not:an address");
}

TEST(ConnectPermission, RuleFiles) {
    struct Case {
        const char* content;  // nullptr: no file
        const char* address;
        int verdict;
    } cases[] = {
        {nullptr, "10.0.0.1", 1},
        {"", "10.0.0.1", 1},
        {"'comment\n\"comment\n comment\n", "10.0.0.1", 1},     // only comments: everybody
        {"'comment\n\n", "10.0.0.1", 0},                        // an empty line is a rule line
        {"127.0.0.1\n", "127.0.0.1", 1},
        {"127.0.0.1\n", "127.0.0.2", 0},
        {"192.168.1.5 reject\n*\n", "192.168.1.5", 0},
        {"192.168.1.5 Reject\n", "192.168.1.5", 1},             // another word admits
        {"192.168.1.5 pass\n", "192.168.1.5", 2},
        {"192.168.1.5 pass \n", "192.168.1.5", 1},              // nothing may follow the word
        {"192.168.1.5 pass\r\n", "192.168.1.5", 2},
        {"10.0.0.0/8 reject\n*\n", "10.1.1.1", 0},
        {"10.0.0.0/8 reject\n*\n", "192.168.0.1", 1},
        {"*\n10.0.0.0/8 reject\n", "10.1.1.1", 1},              // the first matching line decides
        {"10.0.0.5/32 reject\n*\n", "10.0.0.50", 1},
        {"2001:db8::/32 reject\n*\n", "2001:DB8::5", 0},
        {"192.168.1.5 reject\n*\n", "::ffff:192.168.1.5", 0},
    };
    testsupport::TempDir dir;
    int n = 0;
    for (const auto& c : cases) {
        std::string path = dir / ("case" + std::to_string(n++) + "-con.ini");
        if (c.content) testsupport::WriteFile(path, c.content);
        EXPECT_EQ(engine::QueryConnectPerimisson(path, c.address), c.verdict)
            << (c.content ? c.content : "(no file)") << " / " << c.address;
    }
}

TEST(ConnectPermission, WhiteList) {
    testsupport::TempDir dir;
    std::string path = dir / "smtp-conwl.db";
    EXPECT_EQ(engine::QueryClientWhiteList(path, "10.0.0.1"), 0);  // no file
    // A double quote starts no comment in this list; blanks and single
    // quotes do.
    testsupport::WriteFile(path, "\"10.0.0.1\n 10.0.0.2\n'10.0.0.3\n\n10.0.0.4\r\n2001:db8::/32\n");
    EXPECT_EQ(engine::QueryClientWhiteList(path, "10.0.0.1"), 0);
    EXPECT_EQ(engine::QueryClientWhiteList(path, "10.0.0.2"), 0);
    EXPECT_EQ(engine::QueryClientWhiteList(path, "10.0.0.3"), 0);
    EXPECT_EQ(engine::QueryClientWhiteList(path, "10.0.0.4"), 1);
    EXPECT_EQ(engine::QueryClientWhiteList(path, "2001:db8::9"), 1);
    EXPECT_EQ(engine::QueryClientWhiteList(path, "10.0.0.40"), 0);
}

}  // namespace
