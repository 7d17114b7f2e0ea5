// The settings file reader against files shaped as the control panel writes
// them: CP932 text, CR LF line ends, twelve lines, values unchanged.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage/codepage.h"
#include "test_support.h"
#include "tools/sendmail/sendmail_settings.h"

namespace {

using sendmail::LoadSendmailIni;
using sendmail::SendmailSettings;

// The panel's twelve lines, with the values given in UTF-8.
std::string PanelIni(const std::string& from, const std::string& name, const std::string& server, int port,
                     int esmtp, const std::string& id, const std::string& pass, int ssl) {
    std::string text = "family=0\r\nfrom=" + from + "\r\nname=" + name +
                       "\r\ncharset=iso-2022-jp\r\nsmtpserver=" + server + "\r\nport=" + std::to_string(port) +
                       "\r\nesmtp=" + std::to_string(esmtp) + "\r\nauthid=" + id + "\r\nauthpass=" + pass +
                       "\r\nssl=" + std::to_string(ssl) + "\r\ndebug=0\r\nto=ops@x.test\r\n";
    return platform::Utf8ToCp932(text);
}

SendmailSettings Load(const std::string& content) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "sendmail.ini", content);
    SendmailSettings settings;
    EXPECT_EQ(LoadSendmailIni(settings, dir / "sendmail.ini"), 1);
    return settings;
}

TEST(SendmailIni, PanelFileReadsBackEveryValue) {
    SendmailSettings s = Load(PanelIni("alert@x.test", "管理者 O'Neil", "mail.x.test", 2525, 1, "user",
                                       "pa'ss word ", 1));
    EXPECT_EQ(s.family, 0);
    EXPECT_EQ(s.fromAddress, "alert@x.test");
    EXPECT_EQ(s.fromName, "管理者 O'Neil");
    EXPECT_EQ(s.charset, "iso-2022-jp");
    EXPECT_EQ(s.smtpServer, "mail.x.test");  // no CR left from the line end
    EXPECT_EQ(s.port, 2525);
    EXPECT_TRUE(s.esmtp);
    EXPECT_EQ(s.authId, "user");
    EXPECT_EQ(s.authPass, "pa'ss word ");    // trailing blanks stay
    EXPECT_TRUE(s.ssl);
    EXPECT_FALSE(s.debug);
    EXPECT_EQ(s.recipients, "");             // the "to" line is not the sender's
}

TEST(SendmailIni, MissingFileLeavesDefaults) {
    testsupport::TempDir dir;
    SendmailSettings settings;
    EXPECT_EQ(LoadSendmailIni(settings, dir / "sendmail.ini"), 0);
    EXPECT_EQ(settings.port, 25);
    EXPECT_EQ(settings.timeout, 300);
    EXPECT_EQ(settings.charset, "iso-2022-jp");
    EXPECT_TRUE(settings.smtpServer.empty());
}

TEST(SendmailIni, LineRules) {
    struct Case {
        const char* name;
        std::string content;
        void (*check)(const SendmailSettings&);
    };
    const Case cases[] = {
        {"blank before equals makes the key unknown", "port =99\n",
         [](const SendmailSettings& s) { EXPECT_EQ(s.port, 25); }},
        {"port with a comment after it", "port=587 ' submission\n",
         [](const SendmailSettings& s) { EXPECT_EQ(s.port, 587); }},
        {"blanks after equals are skipped", "smtpserver=   host.x.test\n",
         [](const SendmailSettings& s) { EXPECT_EQ(s.smtpServer, "host.x.test"); }},
        {"keys without regard to case", "SMTPServer=h\nPORT=26\nEsmtp=1\n",
         [](const SendmailSettings& s) {
             EXPECT_EQ(s.smtpServer, "h");
             EXPECT_EQ(s.port, 26);
             EXPECT_TRUE(s.esmtp);
         }},
        {"a later line overrides", "port=1\nport=2\n", [](const SendmailSettings& s) { EXPECT_EQ(s.port, 2); }},
        {"family 1 and negative select IPv6", "family=-3\n",
         [](const SendmailSettings& s) { EXPECT_NE(s.family, 0); }},
        {"empty ssl is on, empty esmtp is off", "ssl=\nesmtp=\n",
         [](const SendmailSettings& s) {
             EXPECT_TRUE(s.ssl);
             EXPECT_FALSE(s.esmtp);
         }},
        {"ssl 0 with a comment is off", "ssl=0'tls\ndebug=1\n",
         [](const SendmailSettings& s) {
             EXPECT_FALSE(s.ssl);
             EXPECT_TRUE(s.debug);
         }},
        {"leading quotes are skipped", "''timeout=0\n",
         [](const SendmailSettings& s) { EXPECT_EQ(s.timeout, 0); }},
        {"comment line and line without equals ignored", "' smtpserver=bad\nsmtpserver\n",
         [](const SendmailSettings& s) { EXPECT_EQ(s.smtpServer, ""); }},
        {"a line longer than 249 bytes stays one line",
         "authpass=" + std::string(300, 'p') + "port=9\n",
         [](const SendmailSettings& s) {
             EXPECT_EQ(s.authPass, std::string(300, 'p') + "port=9");
             EXPECT_EQ(s.port, 25);
         }},
        {"last line without a line end", "port=30",
         [](const SendmailSettings& s) { EXPECT_EQ(s.port, 30); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.check(Load(c.content));
    }
}

}  // namespace
