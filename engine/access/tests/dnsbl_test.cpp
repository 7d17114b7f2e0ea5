#include "engine/access/dnsbl.h"

#include <gtest/gtest.h>

#include <sstream>

#include "engine/core/daily_log.h"
#include "platform/dns/tests/dnsmasq_fixture.h"
#include "test_support.h"

namespace {

using Questions = std::vector<std::string>;
using testsupport::WriteFile;

// The name blocklist zones publish for 2001:db8::<last>: every nibble of the
// address, reversed.
std::string IPv6Name(char last) {
    std::string name = std::string(1, last) + ".";
    for (int i = 0; i < 23; ++i) name += "0.";
    return name + "8.b.d.0.1.0.0.2.";
}

// The engine's daily log written to a folder of the test, at a fixed time.
class EngineLogCapture {
public:
    EngineLogCapture() {
        auto& log = engine::EngineLog();
        log.setFolder(dir_.path());
        log.setToFile(true);
        log.setClock([] {
            common::LocalTime t;
            t.year = 2026, t.month = 12, t.day = 10;
            return t;
        });
    }
    ~EngineLogCapture() {
        auto& log = engine::EngineLog();
        log.setToFile(false);
        log.setFolder("");
        log.setClock({});
    }
    // Lines without their time stamp.
    std::vector<std::string> Lines() const {
        std::string path = dir_ / "20261210.log";
        std::vector<std::string> lines;
        std::istringstream in(testsupport::FileExists(path) ? testsupport::ReadFile(path) : "");
        for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find("] ") + 2));
        return lines;
    }

private:
    testsupport::TempDir dir_;
};

class ClientBlocklist : public ::testing::Test {
protected:
    testsupport::TempDir data;
    std::string whiteList = data / "smtp-conwl.db";
    std::string zones = data / "smtp-conbl.db";
    testsupport::Dnsmasq dns{{
        "address=/2.0.0.127.bl.test/127.0.0.2",
        "address=/" + IPv6Name('2') + "bl.test/127.0.0.2",
    }};
    testsupport::ProcessDnsServer use{dns.server()};
    EngineLogCapture log;
};

TEST_F(ClientBlocklist, ListedClientIsRefused) {
    WriteFile(zones, "'comment\n\"comment\n comment\n\nbl.test\n");
    EXPECT_EQ(engine::Query_DNSBL(whiteList, zones, "127.0.0.2"), 1);
    EXPECT_EQ(dns.Questions(), (Questions{"A 2.0.0.127.bl.test"}));
    EXPECT_EQ(log.Lines(), Questions{});
}

TEST_F(ClientBlocklist, EveryZoneAskedInOrderAndLogged) {
    WriteFile(zones, "first.test\r\nbl.test\n");
    EXPECT_EQ(engine::Query_DNSBL(whiteList, zones, "127.0.0.3"), 0);
    EXPECT_EQ(dns.Questions(), (Questions{"A 3.0.0.127.first.test", "A 3.0.0.127.bl.test"}));
    EXPECT_EQ(log.Lines(), (Questions{"[Query_DNSBL] '3.0.0.127.first.test' not found list",
                                      "[Query_DNSBL] '3.0.0.127.bl.test' not found list"}));
}

TEST_F(ClientBlocklist, ExemptClientIsAdmittedWithoutQuestions) {
    WriteFile(zones, "bl.test\n");
    WriteFile(whiteList, "127.0.0.0/24\n");
    EXPECT_EQ(engine::Query_DNSBL(whiteList, zones, "127.0.0.2"), 0);
    EXPECT_EQ(dns.Questions(), Questions{});
}

TEST_F(ClientBlocklist, IPv6AndMappedClients) {
    WriteFile(zones, "bl.test\n");
    EXPECT_EQ(engine::Query_DNSBL(whiteList, zones, "2001:DB8::2"), 1);
    EXPECT_EQ(engine::Query_DNSBL(whiteList, zones, "::ffff:127.0.0.2"), 1);
    EXPECT_EQ(engine::Query_DNSBL(whiteList, zones, "2001:db8::3"), 0);
    EXPECT_EQ(dns.Questions(), (Questions{"A " + IPv6Name('2') + "bl.test", "A 2.0.0.127.bl.test",
                                          "A " + IPv6Name('3') + "bl.test"}));
}

TEST_F(ClientBlocklist, NothingToAsk) {
    EXPECT_EQ(engine::Query_DNSBL(whiteList, zones, "127.0.0.2"), 0);  // no zone file
    WriteFile(zones, "bl.test\n" + std::string(250, 'z') + ".test\n");
    EXPECT_EQ(engine::Query_DNSBL(whiteList, zones, "client"), 0);     // no address: nothing asked
    EXPECT_EQ(engine::Query_DNSBL(whiteList, zones, "127.0.0.3"), 0);  // too long a name: not asked
    EXPECT_EQ(dns.Questions(), (Questions{"A 3.0.0.127.bl.test"}));
    EXPECT_EQ(log.Lines().size(), 4u);
    EXPECT_EQ(log.Lines()[0], "[Query_DNSBL] 'bl.test' not found list");
}

class DestinationBlocklist : public ::testing::Test {
protected:
    testsupport::TempDir data;
    std::string whiteList = data / "http-dnswl.db";
    std::string zones = data / "http-dnsbl.db";
    testsupport::Dnsmasq dns{{"address=/host.test.zone.test/127.0.0.2"}};
    testsupport::ProcessDnsServer use{dns.server()};
    EngineLogCapture log;
};

TEST_F(DestinationBlocklist, ListedHostIsBlocked) {
    WriteFile(zones, "zone.test\n");
    EXPECT_EQ(engine::Query_SURBLists(whiteList, zones, "a.host.test", true), 1);
    EXPECT_EQ(dns.Questions(), (Questions{"A host.test.zone.test"}));
    EXPECT_EQ(log.Lines(), (Questions{"[Query_SURBLists] zone.test -- a.host.test Hit."}));
}

TEST_F(DestinationBlocklist, ExemptHostIsNeverAsked) {
    WriteFile(zones, "zone.test\n");
    WriteFile(whiteList, "'comment\nother.test\nA.HOST.TEST\r\n");
    EXPECT_EQ(engine::Query_SURBLists(whiteList, zones, "a.host.test", true), 0);
    EXPECT_EQ(dns.Questions(), Questions{});
    EXPECT_EQ(log.Lines(), Questions{});
}

TEST_F(DestinationBlocklist, NamesAskedInOrder) {
    struct Case {
        std::string zoneFile;
        std::string host;
        bool httpProxy;
        int listed;
        Questions questions;
    } cases[] = {
        {"zone.test", "a.b.c.d.other.test", true, 0,
         {"A other.test.zone.test", "A d.other.test.zone.test", "A c.d.other.test.zone.test",
          "A b.c.d.other.test.zone.test"}},
        {"zone.test", "a.b.other.test", true, 0, {"A other.test.zone.test", "A b.other.test.zone.test"}},
        {"zone.test", "other.test", true, 0, {"A other.test.zone.test"}},
        {"zone.test", "a.other.test.", true, 0, {"A other.test.zone.test"}},
        {"zone.test", "192.0.2.1", true, 0, {"A 1.2.0.192.zone.test", "A 192.0.2.1.zone.test"}},
        {"zone.test,1", "a.b.c.d.other.test", true, 0,
         {"A other.test.zone.test", "A d.other.test.zone.test", "A c.d.other.test.zone.test"}},
        {"zone.test,0", "a.b.other.test", true, 0, {"A a.b.other.test.zone.test"}},
        {"zone.test,N", "a.b.other.test", true, 0, {"A a.b.other.test.zone.test"}},
        {"zone.test,n", "192.0.2.1", true, 0, {"A 1.2.0.192.zone.test"}},
        {"zone.test,0", "a.host.test", true, 1, {"A a.host.test.zone.test"}},
        {"first.test\nzone.test,3", "a.host.test", true, 1, {"A host.test.first.test", "A host.test.zone.test"}},
        {"zone.test", "2001:db8::1", true, 0, {}},       // an IPv6 literal is never listed
        {"zone.test", "a.b..other.test", true, 0, {"A other.test.zone.test"}},
        {"zone.test", "host", true, 0, {}},
        {"zone.test", "host.test", false, 0, {}},        // SOCKS: no URL, no "www", no "@"
        {"zone.test", "http://a.host.test/x", false, 1, {"A host.test.zone.test"}},
        {"zone.test", "GET http://www.other.test/ HTTP/1.0", false, 0, {"A other.test.zone.test"}},
        {"zone.test", "user@mail.other.test", false, 0, {"A other.test.zone.test"}},
        {"zone.test", "wwwnodot", false, 0, {}},
    };
    for (const auto& c : cases) {
        WriteFile(zones, c.zoneFile + "\n");
        dns.Forget();
        EXPECT_EQ(engine::Query_SURBLists(whiteList, zones, c.host, c.httpProxy), c.listed) << c.zoneFile << " " << c.host;
        EXPECT_EQ(dns.Questions(), c.questions) << c.zoneFile << " " << c.host;
    }
}

TEST_F(DestinationBlocklist, NamesLongerThanDnsAllowsAreNotAsked) {
    std::string label(60, 'z');
    std::string zone = label + "." + label + "." + label + ".test";  // 187 characters
    WriteFile(zones, zone + "\n");
    std::string host = "a." + std::string(63, 'x') + ".other.test";
    EXPECT_EQ(engine::Query_SURBLists(whiteList, zones, host, true), 0);
    EXPECT_EQ(dns.Questions(), (Questions{"A other.test." + zone}));
}

TEST_F(DestinationBlocklist, ZoneServerIsAskedFirst) {
    // The zone's own server lists b.host.test; the usual server knows
    // nothing of the zone.
    testsupport::Dnsmasq zoneServer({"address=/b.host.test.zone2.test/127.0.0.2"});
    std::string zoneLine = "zone2.test\t" + zoneServer.server();
    WriteFile(zones, zoneLine + "\n");
    EXPECT_EQ(engine::Query_SURBLists(whiteList, zones, "a.b.host.test", true), 1);
    EXPECT_EQ(zoneServer.Questions(), (Questions{"A host.test.zone2.test", "A b.host.test.zone2.test"}));
    EXPECT_EQ(dns.Questions(), (Questions{"A host.test.zone2.test"}));
    EXPECT_EQ(log.Lines(), (Questions{"[Query_SURBLists] " + zoneLine + " -- a.b.host.test Hit."}));

    // ",N": the whole host once, of the zone's server and then of the usual one.
    WriteFile(zones, zoneLine + ",N\n");
    zoneServer.Forget();
    dns.Forget();
    EXPECT_EQ(engine::Query_SURBLists(whiteList, zones, "a.c.host.test", true), 0);
    EXPECT_EQ(zoneServer.Questions(), (Questions{"A a.c.host.test.zone2.test"}));
    EXPECT_EQ(dns.Questions(), (Questions{"A a.c.host.test.zone2.test"}));
}

TEST_F(DestinationBlocklist, MissingFiles) {
    EXPECT_EQ(engine::Query_SURBLists(whiteList, zones, "a.host.test", true), 0);
    EXPECT_EQ(dns.Questions(), Questions{});
}

}  // namespace
