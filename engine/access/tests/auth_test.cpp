#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/access/auth.h"
#include "engine/access/tests/log_stamp.h"
#include "platform/codepage/codepage.h"
#include "engine/core/daily_log.h"
#include "platform/ldap/tests/slapd_fixture.h"
#include "test_support.h"

namespace {

using engine::LdapSettings;
using testsupport::MuteTcpServer;
using testsupport::SlapdServer;
using testsupport::TempDir;

// libldap writes to sockets a server may already have closed.
const bool kIgnoreSigpipe = [] { return signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();

// Sends the engine's daily log to a folder of its own and reads it back.
class LogCapture {
public:
    LogCapture() {
        engine::EngineLog().setFolder(dir_.path());
        engine::EngineLog().setToFile(true);
    }
    ~LogCapture() { engine::EngineLog().setToFile(false); }

    std::string Text() const {
        std::string all;
        for (const auto& file : std::filesystem::directory_iterator(dir_.path()))
            all += testsupport::ReadFile(file.path().string());
        return all;
    }
    bool Has(const std::string& text) const { return Text().find(text) != std::string::npos; }
    // Milliseconds of the day of the first line holding text, -1 if none.
    long StampOf(const std::string& text) const {
        std::string log = Text();
        return accesstest::StampOfLineAt(log, log.find(text));
    }

private:
    TempDir dir_;
};

std::string Request(const std::string& headers, const std::string& body = "") {
    return "GET http://example.test/ HTTP/1.1\r\nHost: example.test\r\n" + headers + "\r\n" + body;
}

std::string Basic(const std::string& credentials) { return common::TextToBase64(credentials); }

TEST(ProxyAuthorizationTokens, HeadLinesOnly) {
    struct Case {
        std::string request;
        std::vector<std::string> tokens;
    } cases[] = {
        {Request("Proxy-Authorization: Basic YWxpY2U6c2VjcmV0\r\n"), {"YWxpY2U6c2VjcmV0"}},
        {Request("proxy-authorization: BASIC abc\r\nX: y\r\nPROXY-AUTHORIZATION: basic def \r\n"),
         {"abc", "def "}},
        {Request("Proxy-Authorization: Digest abc\r\nProxy-Authorization:Basic abc\r\n"), {}},
        {Request("Authorization: Basic abc\r\n"), {}},
        // Bare line feeds.
        {"GET / HTTP/1.0\nProxy-Authorization: Basic abc\n\n", {"abc"}},
        // Credentials in the body are not credentials.
        {Request("", "Proxy-Authorization: Basic YWxpY2U6c2VjcmV0\r\n"), {}},
        {"POST http://example.test/ HTTP/1.1\r\nContent-Length: 44\r\n\r\n"
         "Proxy-Authorization: Basic YWxpY2U6c2VjcmV0\r\n",
         {}},
        // The request line is no header line.
        {"Proxy-Authorization: Basic abc\r\n\r\n", {}},
        // A head cut off before its end.
        {"GET / HTTP/1.1\r\nProxy-Authorization: Basic abc", {"abc"}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine::FindProxyAuthorizationTokens(c.request), c.tokens) << c.request;
}

class LocalUserList : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::WriteFile(userFile_,
                               "alice:secret,Alice Liddell\r\n"
                               "' carol:hidden,commented out\r\n"
                               " dave:hidden,commented out\r\n"
                               "\"erin:hidden,commented out\r\n"
                               "\r\n"
                               ",nobody\r\n"
                               // Empty IDs, as an empty login prompt would send them.
                               ":,empty ID and password\r\n"
                               ":secret,empty ID\r\n"
                               "Bob:P@ss:word,Bob with a colon in the password\r\n"
                               // A name so long that the line runs past what one read takes:
                               // its rest is no user entry.
                               "carl:pw," + std::string(503, 'n') + "mallory:evil,Mallory\r\n"
                               "frank:nocomma");
    }
    TempDir dir_;
    std::string userFile_ = dir_ / "http-auth.ini";
    LogCapture log_;
};

TEST_F(LocalUserList, BasicTokens) {
    struct Case {
        std::string token;
        bool passed;
        std::string userName;
        std::string id;  // logged on success
    } cases[] = {
        {Basic("alice:secret"), true, "alice", "alice"},
        {Basic("Bob:P@ss:word"), true, "Bob", "Bob"},
        {Basic("frank:nocomma"), true, "frank", "frank"},
        {Basic("alice:Secret"), false, "alice", ""},
        {Basic("Alice:secret"), false, "Alice", ""},
        {Basic("bob:P@ss:word"), false, "bob", ""},
        {Basic("alice:secret") + " ", false, "alice", ""},
        {Basic("alice:secret,Alice Liddell"), false, "alice", ""},
        {Basic("carol:hidden"), false, "carol", ""},
        {Basic("dave:hidden"), false, "dave", ""},
        {Basic("mallory:evil"), false, "mallory", ""},
        {Basic("carl:pw"), true, "carl", "carl"},
        {Basic(":"), false, "", ""},
        {Basic(":secret"), false, "", ""},
        {"", false, "", ""},
        {"!!!", false, "", ""},
    };
    for (const auto& c : cases) {
        auto result = engine::ComperTokenB64(7, c.token, userFile_);
        EXPECT_EQ(result.passed, c.passed) << c.token;
        EXPECT_EQ(result.userName, c.userName) << c.token;
        if (c.passed) {
            EXPECT_TRUE(log_.Has("] [ComperTokenB64] [0007] Proxy-Authorization success. [" + c.id + "]\n"));
        }
    }
    EXPECT_FALSE(engine::ComperTokenB64(7, Basic("alice:secret"), dir_ / "missing.ini").passed);
}

TEST_F(LocalUserList, SocksCredentials) {
    struct Case {
        std::string credentials;
        bool passed;
    } cases[] = {
        {"alice:secret", true}, {"Bob:P@ss:word", true}, {"alice:secret ", false},
        {"alice:SECRET", false}, {"carol:hidden", false}, {"", false},
        {"alice", false},       {"alice:secret,Alice Liddell", false},
        {"mallory:evil", false}, {"carl:pw", true},     {":", false},
        {":secret", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine::ComperToken(12, c.credentials, userFile_), c.passed) << c.credentials;
    EXPECT_TRUE(log_.Has("] [ComperToken] [0012] Proxy-Authorization success. [alice]\n"));
    EXPECT_TRUE(log_.Has("] [ComperToken] [0012] Proxy-Authorization success. [Bob]\n"));
    EXPECT_FALSE(engine::ComperToken(12, "alice:secret", dir_ / "missing.ini"));
}

TEST_F(LocalUserList, RequestCheck) {
    LdapSettings unused;
    auto check = [&](const std::string& request) {
        return engine::CheckProxyAuthorization(9, request, 0, userFile_, unused);
    };
    auto passed = check(Request("Proxy-Authorization: Basic " + Basic("alice:wrong") +
                                "\r\nProxy-Authorization: Basic " + Basic("alice:secret") + "\r\n"));
    EXPECT_TRUE(passed.passed);
    EXPECT_EQ(passed.userName, "alice");
    EXPECT_FALSE(check(Request("")).passed);
    EXPECT_FALSE(check(Request("Proxy-Authorization: Basic " + Basic("alice:wrong") + "\r\n")).passed);
    EXPECT_FALSE(check(Request("", "Proxy-Authorization: Basic " + Basic("alice:secret") + "\r\n")).passed);
}

TEST(LdapCredentials, Split) {
    LdapSettings settings;
    settings.port = 10389;
    struct Case {
        std::string credentials;
        std::string user, domain, password;
        bool hasPassword;
    } cases[] = {
        {"alice:secret", "alice", "", "secret", true},
        {"alice@dom:secret", "alice", "dom", "secret", true},
        {"alice%dom:secret", "alice", "dom", "secret", true},
        {"alice%x@dom:secret", "alice%x", "dom", "secret", true},
        {"alice:pa:ss", "alice:pa", "", "ss", true},
        {"cn=alice,dc=test:secret", "cn=alice,dc=test", "", "secret", true},
        {"alice:", "alice", "", "", true},
        {"alice", "alice", "", "", false},
        {"", "", "", "", false},
    };
    for (const auto& c : cases) {
        auto r = engine::SplitLdapCredentials(c.credentials, settings);
        EXPECT_EQ(r.user, c.user) << c.credentials;
        EXPECT_EQ(r.domain, c.domain) << c.credentials;
        EXPECT_EQ(r.password, c.password) << c.credentials;
        EXPECT_EQ(r.hasPassword, c.hasPassword) << c.credentials;
        EXPECT_EQ(r.server, "localhost");
        EXPECT_EQ(r.port, 10389);
    }
    settings.server = "ldap.example.test";
    EXPECT_EQ(engine::SplitLdapCredentials("a:b", settings).server, "ldap.example.test");
}

TEST(LdapSettingsFile, KeysAndDefaults) {
    auto defaults = engine::ReadLdapSettings("");
    EXPECT_EQ(defaults.server, "");
    EXPECT_EQ(defaults.port, 389);
    EXPECT_EQ(defaults.schemaRdn, "cn");
    EXPECT_EQ(defaults.schemaDc, "");
    EXPECT_EQ(defaults.retryTime, 10);
    EXPECT_EQ(defaults.retryMsec, 6000);

    TempDir dir;
    auto missing = engine::ReadLdapSettings(dir / "http-ldap.ini");
    EXPECT_EQ(missing.port, 389);
    EXPECT_EQ(missing.retryTime, 10);

    testsupport::WriteFile(dir / "http-ldap.ini",
                           "server=first.example.test\r\n"
                           "SERVER=ldap.example.test\r\n"
                           "Port=10389x\r\n"
                           "id=administrator\r\n"
                           "pw=admin pw\r\n"
                           "group=ignored\r\n"
                           "accountctlcode=66080\r\n"
                           "schemarid=samaccountname\r\n"
                           "SchemaRdn=uid\r\n"
                           "schemadc=ou=people,dc=test\r\n"
                           "schemafilter=(objectClass=*)\r\n"
                           "schemahome=homedirectory\r\n"
                           "schemaname=displayname\r\n"
                           "schemamember=member\r\n"
                           " retrytime=99\r\n"
                           "'retrymsec=99\r\n"
                           "retrytime=3\r\n"
                           "retrymsec=250\n");
    auto s = engine::ReadLdapSettings(dir / "http-ldap.ini");
    EXPECT_EQ(s.server, "ldap.example.test");
    EXPECT_EQ(s.port, 10389);
    EXPECT_EQ(s.id, "administrator");
    EXPECT_EQ(s.pw, "admin pw");
    EXPECT_EQ(s.schemaRdn, "uid");
    EXPECT_EQ(s.schemaDc, "ou=people,dc=test");
    EXPECT_EQ(s.schemaFilter, "(objectClass=*)");
    EXPECT_EQ(s.schemaHome, "homedirectory");
    EXPECT_EQ(s.schemaName, "displayname");
    EXPECT_EQ(s.schemaMember, "member");
    EXPECT_EQ(s.retryTime, 3);
    EXPECT_EQ(s.retryMsec, 250);

    // The control panel writes the texts in CP932; the directory gets UTF-8.
    testsupport::WriteFile(dir / "http-ldap.ini",
                           platform::Utf8ToCp932("pw=パスワード\r\nschemadc=ou=営業,dc=test\r\n"));
    auto japanese = engine::ReadLdapSettings(dir / "http-ldap.ini");
    EXPECT_EQ(japanese.pw, "パスワード");
    EXPECT_EQ(japanese.schemaDc, "ou=営業,dc=test");
}

class LdapLogon : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(slapd_.ok()) << slapd_.diagnostics();
        settings_.server = "127.0.0.1";
        settings_.port = slapd_.port();
        settings_.schemaDc = slapd_.suffix();
        settings_.retryTime = 3;
        settings_.retryMsec = 200;
    }
    bool Logon(const std::string& credentials) {
        return engine::LDAP_LOGON(engine::SplitLdapCredentials(credentials, settings_), settings_);
    }

    SlapdServer slapd_;
    LdapSettings settings_;
    LogCapture log_;
};

TEST_F(LdapLogon, BindsAsTheUser) {
    EXPECT_TRUE(Logon("alice:secret"));
    EXPECT_TRUE(log_.Has("] [ConnetLDAP] Connecting to server 127.0.0.1....\n"));
    EXPECT_TRUE(log_.Has("] [ConnetLDAP] ldap_simple_bind_s() bind returned 0x0\n"));
    EXPECT_TRUE(log_.Has("] [LDAP_LOGON] id=<alice> ... OK.\n"));

    EXPECT_TRUE(Logon("cn=alice,dc=test:secret"));
    EXPECT_TRUE(Logon("alice@dom.test:secret"));
    EXPECT_TRUE(Logon("alice%dom:secret"));
    EXPECT_TRUE(Logon("CN=alice,dc=test:secret"));
}

TEST_F(LdapLogon, WrongPasswordFailsWithoutRetries) {
    settings_.retryMsec = 3000;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Logon("alice:wrong-password"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_TRUE(log_.Has("] [ConnetLDAP] ldap_simple_bind_s() bind returned 0x31\n"));
    EXPECT_TRUE(log_.Has("] [LDAP_LOGON] id=<alice> pw=<********>... NG.\n"));
    EXPECT_FALSE(log_.Has("wrong-password"));

    EXPECT_FALSE(Logon("bob:secret"));
    EXPECT_FALSE(Logon("alice:Secret"));
    // Only the text after the last colon is the password.
    EXPECT_FALSE(Logon("alice:secret:x"));

    // A user name can't forge a line of the log.
    EXPECT_FALSE(Logon("alice\n[00:00:00:000] [LDAP_LOGON] id=<admin> ... OK.\r:wrong"));
    EXPECT_TRUE(log_.Has("] [LDAP_LOGON] id=<alice?[00:00:00:000] [LDAP_LOGON] id=<admin> ... OK.?> "
                         "pw=<********>... NG.\n"))
        << log_.Text();
    EXPECT_FALSE(log_.Has("\n[00:00:00:000]"));
}

TEST_F(LdapLogon, EmptyCredentialsAreRefusedBeforeBinding) {
    // The directory itself would take these as unauthenticated binds.
    int error = 0;
    auto direct = platform::LdapConnection::Open("127.0.0.1", slapd_.port(), &error);
    ASSERT_TRUE(direct);
    ASSERT_EQ(direct->SetOptions({}), platform::kLdapSuccess);
    ASSERT_EQ(direct->SimpleBind(slapd_.UserDn("alice"), ""), platform::kLdapSuccess);

    for (const char* credentials : {"alice:", "alice", ":secret", ":", ""}) {
        EXPECT_FALSE(Logon(credentials)) << credentials;
    }
    EXPECT_FALSE(log_.Has("Connecting to server"));
    EXPECT_TRUE(log_.Has("] [LDAP_LOGON] id=<alice> pw=<>... NG.\n"));
}

TEST_F(LdapLogon, RequestCheck) {
    auto check = [&](const std::string& request) {
        return engine::CheckProxyAuthorization(5, request, 1, "", settings_).passed;
    };
    EXPECT_TRUE(check(Request("Proxy-Authorization: Basic " + Basic("alice:secret") + "\r\n")));
    EXPECT_FALSE(check(Request("Proxy-Authorization: Basic " + Basic("alice:wrong") + "\r\n")));
    EXPECT_FALSE(check(Request("Proxy-Authorization: Basic " + Basic("alice:") + "\r\n")));
    EXPECT_FALSE(check(Request("")));
    EXPECT_FALSE(check(Request("", "Proxy-Authorization: Basic " + Basic("alice:secret") + "\r\n")));
}

TEST_F(LdapLogon, UnreachableDirectoryIsRetriedWithPauses) {
    slapd_.Stop();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Logon("alice:secret"));
    auto waited = std::chrono::steady_clock::now() - start;
    // Three attempts, each followed by its pause.
    EXPECT_GE(waited, std::chrono::milliseconds(600));
    EXPECT_LT(waited, std::chrono::milliseconds(5000));
    long connecting = log_.StampOf("[ConnetLDAP] Connecting to server 127.0.0.1....\n");
    long returned = log_.StampOf("[ConnetLDAP] ldap_simple_bind_s() bind returned 0x51\n");
    ASSERT_GE(connecting, 0) << log_.Text();
    ASSERT_GE(returned, 0) << log_.Text();
    long spread = (returned - connecting + 86400000) % 86400000;
    EXPECT_GE(spread, 590) << log_.Text();
    EXPECT_TRUE(log_.Has("] [LDAP_LOGON] id=<alice> pw=<********>... NG.\n"));

    // Back up again: the next logon binds.
    ASSERT_TRUE(slapd_.Start());
    EXPECT_TRUE(Logon("alice:secret"));
}

TEST_F(LdapLogon, AttemptsFollowRetryTime) {
    struct Case {
        MuteTcpServer::Mode mode;
        long retryTime;
        int attempts;
        const char* result;
    } cases[] = {
        {MuteTcpServer::Mode::kCloseAtOnce, 3, 3, "0x51"},
        {MuteTcpServer::Mode::kCloseAtOnce, 1, 1, "0x51"},
        {MuteTcpServer::Mode::kCloseAtOnce, 0, 1, "0x51"},
        {MuteTcpServer::Mode::kHoldOpen, 2, 2, "0x55"},
    };
    for (const auto& c : cases) {
        MuteTcpServer server(c.mode);
        settings_.port = server.port();
        settings_.retryTime = c.retryTime;
        settings_.retryMsec = 100;
        settings_.timeouts.operationMs = 200;
        auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Logon("alice:secret"));
        auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(server.connections(), c.attempts) << c.retryTime;
        // Every attempt, the last one included, is followed by its pause.
        EXPECT_GE(waited, std::chrono::milliseconds(100 * c.attempts)) << c.retryTime;
        EXPECT_TRUE(log_.Has(std::string("[ConnetLDAP] ldap_simple_bind_s() bind returned ") + c.result + "\n"));
    }
}

TEST_F(LdapLogon, UnusableServerSettings) {
    settings_.server = std::string(300, 'a');
    EXPECT_FALSE(Logon("alice:secret"));
    EXPECT_TRUE(log_.Has("] [ConnetLDAP] ld failed with 0x59.\n"));
    settings_.server = "127.0.0.1";
    settings_.schemaDc = std::string(300, 'd');
    EXPECT_FALSE(Logon("alice:secret"));
}

}  // namespace
