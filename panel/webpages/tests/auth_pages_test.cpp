// The proxy authentication pages: the mode pages' values as the service
// turns them into the engine's options, the user lists as the real engine
// checks them (orqhprx with curl as an HTTP proxy client, orqcprx as a
// SOCKS 5 proxy), and the LDAP page against a throw-away slapd.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <algorithm>
#include <memory>

#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel/framework/settings_window.h"
#include "panel/webpages/auth_mode_pages.h"
#include "panel/webpages/auth_pages.h"
#include "panel/webpages/auth_sources.h"
#include "panel/webpages/ldap_directory.h"
#include "panel/webpages/ldap_settings_page.h"
#include "panel/webpages/user_list_pages.h"
#include "panel/webpages/web_pages.h"
#include "platform/codepage/codepage.h"
#include "platform/ldap/tests/slapd_fixture.h"
#include "qt_test_support.h"
#include "web_page_test.h"

namespace {

using namespace panel;

class AuthPagesTest : public webtest::WebPageTest {
protected:
    void SetUp() override {
        WebPageTest::SetUp();
        HttpUserSourceChoice() = SocksUserSourceChoice() = 0;
        HttpUserListSource() = SocksUserListSource() = 0;
        SharedLdapSettings() = LdapFields{};
        SharedLdapSettingsLoaded() = false;
        LdapSettingsChanged() = false;
    }
    void TearDown() override {
        for (auto& process : processes_) process->terminate(15);
    }
    // Types a user into the edits and presses Add; the texts of the
    // messages it brought.
    std::vector<std::string> AddUser(UserListPage* page, const std::string& name, const std::string& id,
                                     const std::string& password) {
        paneltest::BoxAnswerer answerer;
        Type(page, kUserNameEdit, name);
        Type(page, kUserIdEdit, id);
        Type(page, kUserPasswordEdit, password);
        Click(page, kAddEntryButton);
        return answerer.texts;
    }
    static std::vector<std::string> Ids(const UserListPage& page) {
        std::vector<std::string> ids;
        for (const UserRow& row : page.Rows()) ids.push_back(row.id.toStdString());
        return ids;
    }
    static std::vector<std::string> AuthArgs(const std::vector<std::string>& args) {
        std::vector<std::string> auth;
        for (const auto& arg : args)
            if (arg.rfind("-a", 0) == 0) auth.push_back(arg);
        return auth;
    }
    // The engine program on a free loopback port, listed in its connection
    // list, with the service's authentication options.
    // protocol: the engine's -p (0 HTTP, 5 SOCKS).
    int StartEngine(const std::string& program, int protocol, const std::string& listFile,
                    const std::vector<std::string>& auth) {
        int port = testsupport::FreeTcpPort();
        testsupport::WriteFile(dataFolder() + listFile, "127.0.0.1 " + std::to_string(port) + "=\r\n");
        // Client reads wait seconds, not milliseconds: curl's SOCKS login
        // comes in several sends, which a loaded machine spreads out.
        std::vector<std::string> argv{testsupport::BinPath(program), "-e=VELQOR_TEST_DATA_ROOT",
                                      "-p=" + std::to_string(protocol), "-f", "-v", "-t=20000,20000"};
        argv.insert(argv.end(), auth.begin(), auth.end());
        testsupport::Process::Options options;
        options.env["VELQOR_TEST_DATA_ROOT"] = dataRoot();
        options.env["VELQOR_PIPE_DIR"] = pipeDir();
        processes_.push_back(std::make_unique<testsupport::Process>(argv, options));
        EXPECT_TRUE(testsupport::WaitForTcpPort(port)) << processes_.back()->err();
        return port;
    }
    int StartOrigin() {
        processes_.push_back(std::make_unique<testsupport::Process>(
            std::vector<std::string>{"/usr/bin/python3", testsupport::SourcePath("engine/http/tests/origin_server.py"),
                                     dir_ / "heads.log"},
            testsupport::Process::Options{}));
        testsupport::Process& origin = *processes_.back();
        EXPECT_TRUE(testsupport::WaitUntil([&] { return origin.out().find("port ") != std::string::npos; }));
        return std::stoi(origin.out().substr(origin.out().find("port ") + 5));
    }
    // The HTTP status curl got through the proxy with the credentials.
    static std::string Status(const std::string& proxy, int origin, const std::string& credentials) {
        return testsupport::RunCommand("curl -s -o /dev/null -w '%{http_code}' --max-time 20 --proxy-user '" +
                                           credentials + "' -x " + proxy + " http://127.0.0.1:" +
                                           std::to_string(origin) + "/length/hello",
                                       std::chrono::seconds(30))
            .output;
    }
    static std::string Cp932(const std::string& utf8) { return platform::Utf8ToCp932(utf8); }
    static unsigned Mode(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
    }

    std::vector<std::unique_ptr<testsupport::Process>> processes_;
};

TEST_F(AuthPagesTest, ModePagesSetTheEnginesAuthenticationOptionAndTellTheUserPageAtOnce) {
    RegWriteDword(kProductSettingsKey, "http", 1);
    RegWriteDword(kProductSettingsKey, "socks", 1);
    auto http = Open<Chttp20dlg>();
    auto socks = Open<Csocks2dlg00>();
    // An empty store: the box set, own users chosen.
    EXPECT_TRUE(Control<QCheckBox>(http.get(), kAuthRequiredCheck)->isChecked());
    EXPECT_TRUE(Control<QRadioButton>(http.get(), kOwnUsersRadio)->isChecked());
    EXPECT_EQ(Control<QCheckBox>(socks.get(), kAuthRequiredCheck)->text().toStdString(), "接続には認証が必要。");

    Click(http.get(), kLdapUsersRadio);
    EXPECT_EQ(HttpUserSourceChoice(), 1) << "the user page follows the radios before any save";
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "httpproxyauthtype", 0xDEAD), 0xDEADu) << "only a save writes";
    Click(http.get(), kAuthRequiredCheck);
    for (int id : {kUserSourceGroup, kOwnUsersRadio, kLdapUsersRadio})
        EXPECT_FALSE(FindControl(http.get(), id)->isEnabled()) << id;
    Click(socks.get(), kAuthRequiredCheck);
    ASSERT_TRUE(http->SaveSettings());
    ASSERT_TRUE(socks->SaveSettings());
    EXPECT_EQ(AuthArgs(StartArgs("orqhprx")), std::vector<std::string>{});
    EXPECT_EQ(AuthArgs(StartArgs("orqcprx")), std::vector<std::string>{});
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "httpproxyauthtype", 0xDEAD), 1u) << "kept while greyed";

    Click(http.get(), kAuthRequiredCheck);
    ASSERT_TRUE(http->SaveSettings());
    EXPECT_EQ(AuthArgs(StartArgs("orqhprx")), std::vector<std::string>{"-a=1"});

    // A stored source outside the two buttons is kept until one is chosen.
    RegWriteDword(kProductSettingsKey, "socksproxyauthtype", 5);
    RegWriteDword(kProductSettingsKey, "socksproxyauth", 1);
    auto again = Open<Csocks2dlg00>();
    ASSERT_TRUE(again->SaveSettings());
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "socksproxyauthtype", 0), 5u);
}

TEST_F(AuthPagesTest, RadiosChangedAndNothingSavedLeaveTheStoreAlone) {
    std::string before = testsupport::ReadFile(registryDir() + "/HKEY_LOCAL_MACHINE.reg");
    {
        auto http = Open<Chttp20dlg>();
        auto socks = Open<Csocks2dlg00>();
        Click(http.get(), kLdapUsersRadio);
        Click(socks.get(), kAuthRequiredCheck);
    }
    EXPECT_EQ(testsupport::ReadFile(registryDir() + "/HKEY_LOCAL_MACHINE.reg"), before);
}

TEST_F(AuthPagesTest, UserFileRowsReadAndWrittenAsTheEngineReadsThem) {
    // A hand-written file: comments, a line without a name, one without a
    // password, a password holding "," (the rest is taken for the name).
    testsupport::WriteFile(dataFolder() + "http-auth.ini",
                           Cp932("'users\r\n u:p,comment\r\ncarol:c-pw,キャロル\r\n\r\ndave:d-pw\r\nerin\r\n"
                                 "frank:pa,ss,Frank\r\n"));
    auto page = Open<Chttp2dlg>();
    std::vector<UserRow> rows = page->Rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].name.toStdString(), "キャロル");
    EXPECT_EQ(rows[0].password.toStdString(), "c-pw");
    EXPECT_EQ(rows[1].name.toStdString(), "");
    EXPECT_EQ(rows[2].id.toStdString(), "erin");
    EXPECT_EQ(rows[3].password.toStdString(), "pa");
    EXPECT_EQ(rows[3].name.toStdString(), "ss,Frank");
    auto* list = Control<QTreeWidget>(page.get(), kHttpUserList);
    EXPECT_EQ(list->topLevelItem(0)->text(2).toStdString(), "***************");

    // Rows that would not read back as typed are refused, naming the field.
    struct Refused {
        const char* id;
        const char* password;
        const char* name;
        const char* field;
    };
    const Refused refused[] = {
        {"al:ice", "pw", "n", "接続ＩＤ"},   {"al,ice", "pw", "n", "接続ＩＤ"}, {" alice", "pw", "n", "接続ＩＤ"},
        {"'alice", "pw", "n", "接続ＩＤ"},       {"alice", "pa,ss", "n", "パスワード"},
        {"alice", "pa\tss", "n", "パスワード"}, {"alice", "pw", "a\nb", "名称"}, {"alice", "pw😀", "n", "パスワード"},
    };
    for (const Refused& r : refused) {
        auto messages = AddUser(page.get(), r.name, r.id, r.password);
        ASSERT_EQ(messages.size(), 1u) << r.id << "/" << r.password;
        EXPECT_EQ(messages[0].rfind(r.field, 0), 0u) << messages[0];
    }
    EXPECT_EQ(page->Rows().size(), 4u);

    // Delete and sort: the first click on a column sorts descending.
    list->topLevelItem(1)->setSelected(true);
    list->topLevelItem(2)->setSelected(true);
    page->DeleteSelectedEntry();
    EXPECT_EQ(Ids(*page), (std::vector<std::string>{"carol", "frank"}));
    EXPECT_TRUE(AddUser(page.get(), "Zed", "zed", "z").empty());
    emit list->header()->sectionClicked(1);
    EXPECT_EQ(Ids(*page), (std::vector<std::string>{"zed", "frank", "carol"}));
    emit list->header()->sectionClicked(1);
    EXPECT_EQ(Ids(*page), (std::vector<std::string>{"carol", "frank", "zed"}));

    ASSERT_TRUE(page->SaveSettings());
    const std::string written = testsupport::ReadFile(dataFolder() + "http-auth.ini");
    EXPECT_EQ(written, Cp932("carol:c-pw,キャロル\r\nfrank:pa,ss,Frank\r\nzed:z,Zed\r\n"));
    EXPECT_NE(testsupport::ReadFile(dataFolder() + "http-auth-old.ini").find("'users"), std::string::npos);
    EXPECT_EQ(testsupport::ReadFile(dataFolder() + "dummy-domain.idx"), written);
    EXPECT_EQ(Mode(dataFolder() + "http-auth.ini") & 0007, 0u) << "passwords readable by anyone";
    EXPECT_EQ(Mode(dataFolder() + "dummy-domain.idx") & 0007, 0u);
}

TEST_F(AuthPagesTest, OwnUsersLogInThroughTheRealEngines) {
    RegWriteDword(kProductSettingsKey, "http", 1);
    RegWriteDword(kProductSettingsKey, "socks", 1);
    auto mode = Open<Chttp20dlg>();
    auto http = Open<Chttp2dlg>();
    auto socksMode = Open<Csocks2dlg00>();
    auto socks = Open<Csocks2dlg>();
    for (UserListPage* page : {static_cast<UserListPage*>(http.get()), static_cast<UserListPage*>(socks.get())}) {
        EXPECT_TRUE(AddUser(page, "営業 アリス", "alice", "pass word").empty());
        EXPECT_TRUE(AddUser(page, "Bob", "bob", "b0b-pw").empty());
        EXPECT_EQ(AddUser(page, "x", "carl", "pa,ss").size(), 1u);
    }
    // The SOCKS mode page saves after the user page, so its value stands.
    for (SettingsPage* page : std::initializer_list<SettingsPage*>{http.get(), mode.get(), socks.get(), socksMode.get()})
        ASSERT_TRUE(page->SaveSettings());
    const std::string expected = Cp932("alice:pass word,営業 アリス\r\nbob:b0b-pw,Bob\r\n");
    EXPECT_EQ(testsupport::ReadFile(dataFolder() + "http-auth.ini"), expected);
    EXPECT_EQ(testsupport::ReadFile(dataFolder() + "socks-auth.ini"), expected);
    EXPECT_EQ(testsupport::ReadFile(dataFolder() + "dummy-domain.idx"), expected);

    auto httpAuth = AuthArgs(StartArgs("orqhprx"));
    auto socksAuth = AuthArgs(StartArgs("orqcprx"));
    ASSERT_EQ(httpAuth, std::vector<std::string>{"-a=0"});
    ASSERT_EQ(socksAuth, std::vector<std::string>{"-a=0"});
    const int origin = StartOrigin();
    const std::string httpProxy = "http://127.0.0.1:" + std::to_string(StartEngine("orqhprx", 0, "http.ini", httpAuth));
    const std::string socksProxy =
        "socks5://127.0.0.1:" + std::to_string(StartEngine("orqcprx", 5, "socks.ini", socksAuth));
    for (const std::string& proxy : {httpProxy, socksProxy}) {
        const bool isHttp = proxy == httpProxy;
        EXPECT_EQ(Status(proxy, origin, "alice:pass word"), "200") << proxy;
        EXPECT_EQ(Status(proxy, origin, "bob:b0b-pw"), "200") << proxy;
        // HTTP answers a wrong password with 407; SOCKS closes, and curl
        // reports no status.
        EXPECT_EQ(Status(proxy, origin, "bob:wrong"), isHttp ? "407" : "000") << proxy;
    }
}

// A first-time administrator presses 追加 on the user page of the settings
// window as it opens: the empty ID, the empty password and an ID already
// listed are refused. Whatever a hand-written file holds, an empty ID lets
// no one through the engine.
TEST_F(AuthPagesTest, EmptyAndRepeatedIdsAreRefusedAndAnEmptyIdLetsNoOneIn) {
    testsupport::WriteFile(programFolder() + "/orqhprx", "");
    RegisterWebPages();
    RegisterAuthPages();
    SettingsWindow window;
    window.OnInitDialog();
    auto* page = dynamic_cast<Chttp2dlg*>(window.Page(kChttp2dlg));
    ASSERT_NE(page, nullptr);
    struct Case {
        const char* id;
        const char* password;
        const char* field;  // named at the start of the message; null: added
    } cases[] = {
        {"", "", "接続ＩＤ"},       {"", "secret", "接続ＩＤ"}, {"alice", "", "パスワード"},
        {"alice", "first", nullptr}, {"alice", "second", "接続ＩＤ"}, {"bob", "first", nullptr},
    };
    for (const Case& c : cases) {
        const size_t before = page->Rows().size();
        auto messages = AddUser(page, "名称", c.id, c.password);
        if (!c.field) {
            EXPECT_TRUE(messages.empty()) << c.id << ":" << c.password;
            EXPECT_EQ(page->Rows().size(), before + 1);
            continue;
        }
        ASSERT_EQ(messages.size(), 1u) << c.id << ":" << c.password;
        EXPECT_EQ(messages[0].rfind(c.field, 0), 0u) << messages[0];
        EXPECT_EQ(page->Rows().size(), before) << c.id << ":" << c.password;
    }
    EXPECT_EQ(Ids(*page), (std::vector<std::string>{"alice", "bob"}));

    testsupport::WriteFile(dataFolder() + "http-auth.ini", Cp932(":,名称\r\n:secret,名称\r\nalice:first,A\r\n"));
    const int origin = StartOrigin();
    const std::string proxy =
        "http://127.0.0.1:" + std::to_string(StartEngine("orqhprx", 0, "http.ini", {"-a=0"}));
    EXPECT_EQ(Status(proxy, origin, ":"), "407");
    EXPECT_EQ(Status(proxy, origin, ":secret"), "407");
    EXPECT_EQ(Status(proxy, origin, "alice:first"), "200");
}

TEST_F(AuthPagesTest, LdapSettingsFileKeysInAnyOrderAndTextsThatWouldNotFit) {
    testsupport::WriteFile(dataFolder() + "http-ldap.ini",
                           Cp932("'comment\r\n SERVER=commented\r\nSchemaRdn=uid\r\nPORT=123abc\r\n"
                                 "accountctlcode=x1\r\nserver=ldap.example.test\r\nretrytime=3\r\npw=パスワード\r\n"));
    auto page = Open<CLDAPDlg>();
    const LdapFields& fields = page->Fields();
    EXPECT_EQ(fields.server.toStdString(), "ldap.example.test");
    EXPECT_EQ(fields.port, 123u);
    EXPECT_EQ(fields.accountctlcode, 0u);
    EXPECT_EQ(fields.schemardn.toStdString(), "uid");
    EXPECT_EQ(fields.pw.toStdString(), "パスワード");
    EXPECT_EQ(fields.schemarid.toStdString(), "samaccountname") << "a key not in the file keeps its default";
    EXPECT_EQ(SharedLdapSettings().server.toStdString(), "ldap.example.test");
    EXPECT_EQ(SharedLdapSettings().schemarid.toStdString(), "samaccountname")
        << "the list pages search with what the page shows";

    // An edit reaches the shared record at once.
    auto* server = Control<QLineEdit>(page.get(), kLdapServerEdit);
    server->setText("other.example.test");
    emit server->textEdited(server->text());
    EXPECT_TRUE(LdapSettingsChanged());
    EXPECT_EQ(SharedLdapSettings().server.toStdString(), "other.example.test");

    // The engine reads lines of 1,023 bytes: a longer one is refused, so is
    // a number that is none.
    struct Case {
        int id;
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {kLdapScopeEdit, std::string(1023 - 13 - 2 + 1, 'f'), "1008 文字以内で入力してください。"},
        {kLdapScopeEdit, std::string(1000, 'f') + "全全全全全", "1008 文字以内で入力してください。"},
        {kLdapPortEdit, "38x", "正の整数を入力してください。"},
    };
    for (const Case& c : cases) {
        auto* edit = Control<QLineEdit>(page.get(), c.id);
        QString before = edit->text();
        edit->setText(QString::fromStdString(c.text));
        paneltest::BoxAnswerer answerer;
        EXPECT_FALSE(page->SaveSettings());
        ASSERT_EQ(answerer.texts.size(), 1u);
        EXPECT_EQ(answerer.texts[0], c.message);
        edit->setText(before);
    }
    ASSERT_TRUE(page->SaveSettings());
    EXPECT_EQ(Mode(dataFolder() + "http-ldap.ini") & 0007, 0u) << "the password readable by anyone";
}

TEST_F(AuthPagesTest, DirectoryUsersListedFromTheLdapPageAndLoggedInThroughTheEngine) {
    using testsupport::Base64;
    // Three users under a branch named in Japanese, one of them with a
    // Japanese password and name.
    testsupport::SlapdOptions options;
    options.users = {};
    options.extraLdif = "dn:: " + Base64("ou=営業,dc=test") + "\nobjectClass: organizationalUnit\nou:: " +
                        Base64("営業") + "\n\n";
    const std::pair<std::string, std::string> users[] = {{"alice", "パスワード"}, {"bob", "bob-pw"}, {"carol", "c pw"}};
    for (const auto& [uid, password] : users)
        options.extraLdif += "dn:: " + Base64("uid=" + uid + ",ou=営業,dc=test") +
                             "\nobjectClass: inetOrgPerson\nuid: " + uid + "\ncn: " + uid + "\nsn: " + uid +
                             "\ndisplayName:: " + Base64(uid == "alice" ? "アリス" : uid) +
                             "\nuserPassword:: " + Base64(password) + "\n\n";
    // No ID attribute: not listed.
    options.extraLdif += "dn:: " + Base64("cn=nouid,ou=営業,dc=test") +
                         "\nobjectClass: inetOrgPerson\ncn: nouid\nsn: nouid\n\n";
    testsupport::SlapdServer slapd(options);
    ASSERT_TRUE(slapd.ok()) << slapd.diagnostics();
    RegWriteDword(kProductSettingsKey, "http", 1);

    window_.show();
    auto users_page = Open<Chttp2dlg>();
    auto mode = Open<Chttp20dlg>();
    auto ldap = Open<CLDAPDlg>();
    const std::pair<int, std::string> typed[] = {
        {kLdapServerEdit, "127.0.0.1"},
        {kLdapPortEdit, std::to_string(slapd.port())},
        {kLdapUserEdit, "cn=admin,dc=test"},
        {kLdapPasswordEdit, "admin-password"},
        {kLdapRdnEdit, "uid"},
        {kLdapBaseDnEdit, "ou=営業,dc=test"},
        {kLdapScopeEdit, "(objectClass=inetOrgPerson)"},
        {kLdapUidEdit, "uid"},
    };
    for (const auto& [id, text] : typed) {
        auto* edit = Control<QLineEdit>(ldap.get(), id);
        edit->setText(QString::fromStdString(text));
        emit edit->textEdited(edit->text());
    }
    Click(mode.get(), kLdapUsersRadio);
    // Shown without saving: the directory's users, read-only.
    users_page->show();
    std::vector<UserRow> rows = users_page->Rows();
    std::sort(rows.begin(), rows.end(), [](const UserRow& a, const UserRow& b) { return a.id < b.id; });
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].id.toStdString(), "alice");
    EXPECT_EQ(rows[0].name.toStdString(), "アリス");
    EXPECT_EQ(rows[0].password.toStdString(), "パスワード");
    EXPECT_EQ(rows[2].password.toStdString(), "c pw");
    EXPECT_FALSE(FindControl(users_page.get(), kAddEntryButton)->isEnabled());
    EXPECT_FALSE(FindControl(users_page.get(), kUserIdEdit)->isEnabled());
    users_page->DeleteSelectedEntry();
    EXPECT_EQ(users_page->Rows().size(), 3u);
    EXPECT_FALSE(LdapSettingsChanged()) << "the reload took the change";

    for (SettingsPage* page : std::initializer_list<SettingsPage*>{users_page.get(), mode.get(), ldap.get()})
        ASSERT_TRUE(page->SaveSettings());
    EXPECT_FALSE(testsupport::FileExists(dataFolder() + "http-auth.ini")) << "directory users are not written";
    const std::string file = testsupport::ReadFile(dataFolder() + "http-ldap.ini");
    EXPECT_EQ(file, Cp932("server=127.0.0.1\r\nport=" + std::to_string(slapd.port()) +
                          "\r\nid=cn=admin,dc=test\r\npw=admin-password\r\ngroup=\r\naccountctl=\r\n"
                          "accountctlcode=66080\r\nobjectclass=user\r\nschemarid=uid\r\nschemarpw=userpassword\r\n"
                          "schemardn=uid\r\nschemadc=ou=営業,dc=test\r\nschemafilter=(objectClass=inetOrgPerson)\r\n"
                          "schemahome=homedirectory\r\nschemaname=displayname\r\nschemamember=member\r\n"));

    auto auth = AuthArgs(StartArgs("orqhprx"));
    ASSERT_EQ(auth, std::vector<std::string>{"-a=1"});
    const int origin = StartOrigin();
    const std::string proxy = "http://127.0.0.1:" + std::to_string(StartEngine("orqhprx", 0, "http.ini", auth));
    for (const auto& [uid, password] : users) EXPECT_EQ(Status(proxy, origin, uid + ":" + password), "200") << uid;
    EXPECT_EQ(Status(proxy, origin, "bob:wrong"), "407");
    EXPECT_EQ(Status(proxy, origin, ":"), "407");

    // Back to own users: the file's users are shown again.
    testsupport::WriteFile(dataFolder() + "http-auth.ini", "zoe:z,Zoe\r\n");
    Click(mode.get(), kOwnUsersRadio);
    users_page->hide();
    EXPECT_EQ(Ids(*users_page), std::vector<std::string>{"zoe"});
    EXPECT_TRUE(FindControl(users_page.get(), kAddEntryButton)->isEnabled());
}

}  // namespace
