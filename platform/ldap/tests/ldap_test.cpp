#include <gtest/gtest.h>
#include <ldap.h>
#include <signal.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "platform/ldap/ldap.h"
#include "platform/ldap/tests/slapd_fixture.h"

namespace {

using platform::LdapConnection;
using testsupport::MuteTcpServer;
using testsupport::SlapdServer;

// libldap writes to sockets a server may already have closed.
const bool kIgnoreSigpipe = [] { return signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();

int Bind(int port, const std::string& dn, const std::string& password,
         platform::LdapTimeouts timeouts = {}) {
    int error = -1;
    auto ld = LdapConnection::Open("127.0.0.1", port, &error);
    if (!ld) return error;
    int rc = ld->SetOptions(timeouts);
    if (rc != platform::kLdapSuccess) return rc;
    return ld->SimpleBind(dn, password);
}

TEST(LdapResultMap, ClientFailuresTakeTheClassicNumbers) {
    struct Case {
        int openldap;
        int expected;
    } cases[] = {
        {LDAP_SUCCESS, platform::kLdapSuccess},
        {LDAP_INVALID_CREDENTIALS, platform::kLdapInvalidCredentials},
        {LDAP_UNAVAILABLE, platform::kLdapUnavailable},
        {LDAP_SERVER_DOWN, platform::kLdapServerDown},
        {LDAP_TIMEOUT, platform::kLdapTimeout},
        {LDAP_CONNECT_ERROR, platform::kLdapConnectError},
        {LDAP_PARAM_ERROR, platform::kLdapParamError},
        {LDAP_REFERRAL_LIMIT_EXCEEDED, 0x61},
        {-100, platform::kLdapLocalError},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::MapLdapResult(c.openldap), c.expected) << c.openldap;
}

TEST(LdapConnection, SimpleBindAgainstSlapd) {
    SlapdServer slapd;
    ASSERT_TRUE(slapd.ok()) << slapd.diagnostics();
    EXPECT_EQ(Bind(slapd.port(), slapd.UserDn("alice"), "secret"), platform::kLdapSuccess);
    EXPECT_EQ(Bind(slapd.port(), slapd.UserDn("alice"), "wrong"), platform::kLdapInvalidCredentials);
    EXPECT_EQ(Bind(slapd.port(), slapd.UserDn("alice"), "Secret"), platform::kLdapInvalidCredentials);
    EXPECT_EQ(Bind(slapd.port(), slapd.UserDn("bob"), "secret"), platform::kLdapInvalidCredentials);
    // The fixture's directory takes a DN with an empty password as an
    // unauthenticated bind and reports success: callers must refuse empty
    // passwords before they get here.
    EXPECT_EQ(Bind(slapd.port(), slapd.UserDn("alice"), ""), platform::kLdapSuccess);
    // The password is sent whole, not cut at an embedded NUL.
    EXPECT_EQ(Bind(slapd.port(), slapd.UserDn("alice"), std::string("secret\0x", 8)),
              platform::kLdapInvalidCredentials);
}

TEST(LdapConnection, UnreachableServers) {
    SlapdServer slapd;
    ASSERT_TRUE(slapd.ok()) << slapd.diagnostics();
    slapd.Stop();
    EXPECT_EQ(Bind(slapd.port(), slapd.UserDn("alice"), "secret"), platform::kLdapServerDown);

    MuteTcpServer closing(MuteTcpServer::Mode::kCloseAtOnce);
    EXPECT_EQ(Bind(closing.port(), "cn=alice,dc=test", "secret"), platform::kLdapServerDown);

    MuteTcpServer silent(MuteTcpServer::Mode::kHoldOpen);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Bind(silent.port(), "cn=alice,dc=test", "secret", {1000, 300}), platform::kLdapTimeout);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST(LdapConnection, RefusesHostsThatAreNoHostNames) {
    struct Case {
        std::string host;
        int port;
    } cases[] = {
        {std::string(256, 'a'), 389},
        {"", 389},
        {"host/evil", 389},
        {"user@host", 389},
        {"with blank", 389},
        {"127.0.0.1", 0},
        {"127.0.0.1", 65536},
    };
    for (const auto& c : cases) {
        int error = -1;
        EXPECT_EQ(LdapConnection::Open(c.host, c.port, &error), nullptr) << c.host;
        EXPECT_EQ(error, platform::kLdapParamError) << c.host;
    }
    int error = -1;
    EXPECT_NE(LdapConnection::Open(std::string(63, 'a') + ".test", 389, &error), nullptr);
    EXPECT_NE(LdapConnection::Open("::1", 389, &error), nullptr);
}

}  // namespace

TEST(LdapConnection, SubtreeSearchGivesEveryEntryWithItsValues) {
    testsupport::SlapdOptions options;
    options.users = {{"alice", "secret"}, {"bob", "pw2"}};
    // A branch named in Japanese: the directory speaks UTF-8.
    options.extraLdif = "dn:: " + testsupport::Base64("ou=営業,dc=test") + "\nobjectClass: organizationalUnit\n"
                        "ou:: " + testsupport::Base64("営業") + "\n\n"
                        "dn:: " + testsupport::Base64("cn=carol,ou=営業,dc=test") + "\nobjectClass: inetOrgPerson\n"
                        "cn: carol\nsn: carol\nmail: c1@example.test\nmail: c2@example.test\n\n";
    SlapdServer slapd(options);
    ASSERT_TRUE(slapd.ok()) << slapd.diagnostics();
    int error = 0;
    auto connection = platform::LdapConnection::Open("127.0.0.1", slapd.port(), &error);
    ASSERT_TRUE(connection);
    ASSERT_EQ(connection->SetOptions({}), platform::kLdapSuccess);
    ASSERT_EQ(connection->SimpleBind("cn=admin,dc=test", "admin-password"), platform::kLdapSuccess);

    std::vector<platform::LdapConnection::Entry> entries;
    ASSERT_EQ(connection->SearchSubtree("dc=test", "(objectClass=inetOrgPerson)", 100, entries),
              platform::kLdapSuccess);
    std::map<std::string, std::map<std::string, std::vector<std::string>>> found;
    for (const auto& entry : entries)
        for (const auto& [name, values] : entry.attributes) found[entry.dn][name] = values;
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found["cn=alice,dc=test"]["userPassword"], std::vector<std::string>{"secret"});
    EXPECT_EQ(found["cn=carol,ou=営業,dc=test"]["mail"],
              (std::vector<std::string>{"c1@example.test", "c2@example.test"}));

    // A base that does not exist is the directory's answer, not an empty success.
    EXPECT_EQ(connection->SearchSubtree("dc=nowhere", "(objectClass=*)", 100, entries), 0x20);
    EXPECT_TRUE(entries.empty());
}
