// The attachment archiving, spam check and notification mail pages, judged
// by the readers of what they write: the service's start table (the
// options of orqsvt and orqspam), the list files' new texts, and the real
// mail sender orqnote reading "sendmail.ini" and sending to an SMTP sink
// that asks for AUTH PLAIN.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "mail_page_test.h"
#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel/mailpages/archive_zip_pages.h"
#include "panel/mailpages/notify_mail_page.h"
#include "panel/mailpages/spam_check_pages.h"
#include "platform/codepage/codepage.h"
#include "qt_test_support.h"
#include "service/child_start_table.h"
#include "smtp_peer.h"

namespace {

using namespace panel;

class MailFilterPagesTest : public mailtest::MailPageTest {
protected:
    static bool Ticked(QWidget* page, int id) { return Control<QAbstractButton>(page, id)->isChecked(); }
    static bool Enabled(QWidget* page, int id) { return FindControl(page, id)->isEnabled(); }
    static std::string Shown(QWidget* page, int id) { return Control<QLineEdit>(page, id)->text().toStdString(); }
    // Saves the page while a message box is answered; the messages shown.
    static std::vector<std::string> SaveRefused(SettingsPage* page) {
        paneltest::BoxAnswerer answerer;
        EXPECT_FALSE(page->SaveSettings());
        return answerer.texts;
    }
    static std::string Cp932(const std::string& utf8) { return platform::Utf8ToCp932(utf8); }
    static std::string Repeat(const std::string& text, int times) {
        std::string out;
        for (int i = 0; i < times; ++i) out += text;
        return out;
    }
};

TEST_F(MailFilterPagesTest, AFreshStoreShowsAndSavesTheDefaults) {
    auto zip = Open<Csorvant>();
    auto heads = Open<Csorvant00>();
    auto log = Open<Csorvant01>();
    auto spam = Open<CSpamCheckSetDlg>();
    auto checks = Open<CSpamCheckSetDlg0>();
    auto notify = Open<CSendDlg>();
    EXPECT_TRUE(Ticked(zip.get(), kZipEachAttachmentRadio));
    EXPECT_EQ(Shown(zip.get(), kZipExtensionEdit), "ZIP");
    EXPECT_EQ(Shown(zip.get(), kPasswordMailPortEdit), "25");
    for (int id : {kPasswordMailFromSenderRadio, kPasswordMailToRecipientRadio, kPasswordMailIpv4Radio})
        EXPECT_TRUE(Ticked(zip.get(), id)) << id;
    for (int id : {kPasswordMailAuthIdEdit, kPasswordMailAuthPasswordEdit}) EXPECT_FALSE(Enabled(zip.get(), id)) << id;
    EXPECT_EQ(Shown(heads.get(), kToHeadCountEdit), "1");
    EXPECT_EQ(Shown(heads.get(), kCcHeadCountEdit), "0");
    for (int id : {kToHeadLabel, kToHeadCountEdit, kCcHeadLabel, kCcHeadCountEdit})
        EXPECT_FALSE(Enabled(heads.get(), id)) << id;
    EXPECT_TRUE(Ticked(spam.get(), kSpamCheckCheck));
    EXPECT_EQ(Shown(spam.get(), kSpamTagEdit), "[SPAM]");
    EXPECT_EQ(Shown(notify.get(), kNotifyPortEdit), "25");
    EXPECT_TRUE(Ticked(notify.get(), kNotifyToGivenRadio));
    for (int id : {kNotifyAuthCheck, kNotifySslCheck, kNotifyFromEdit, kNotifyServerEdit, kNotifyToEdit,
                   kNotifyToGivenRadio, kNotifyToBothRadio, kNotifyUserEdit})
        EXPECT_FALSE(Enabled(notify.get(), id)) << id;
    EXPECT_TRUE(Enabled(notify.get(), kNotifyCheck));

    for (SettingsPage* page : std::initializer_list<SettingsPage*>{zip.get(), heads.get(), log.get(), spam.get(),
                                                                  checks.get(), notify.get()})
        ASSERT_TRUE(page->SaveSettings());
    const std::pair<const char*, uint32_t> numbers[] = {
        {"TQXUnitZIP", 1}, {"TQXSmtpPort", 25}, {"TQXEnvFromType", 0}, {"TQXEnvTo", 0}, {"TQXIPversion", 0},
        {"TQXESmtp", 0},   {"TQXToHead", 0},    {"TQXToHeadCount", 1}, {"TQXCcHead", 0}, {"TQXCcHeadCount", 0},
        {"TQXLog", 0},     {"spamcheck", 1},    {"spamenglog", 0},     {"spamspf1", 0},  {"spamdate", 0},
        {"SmtpSend", 0},   {"SmtpPort", 25},    {"SmtpSSL", 0},        {"SmtpAuth", 0},  {"SmtpSendaddr", 0},
    };
    for (const auto& [name, value] : numbers) EXPECT_EQ(Stored(name), value) << name;
    const std::pair<const char*, const char*> texts[] = {
        {"TQXEtend", "ZIP"}, {"TQXUniqPW", ""}, {"TQXSmtp", ""}, {"TQXEnvFromAddr", ""}, {"TQXSmtpAuthID", ""},
        {"TQXSmtpAuthPW", ""}, {"spamtag", "[SPAM]"}, {"SmtpSMTPServer", ""}, {"SmtpFrom", ""}, {"SmtpTo", ""},
    };
    for (const auto& [name, value] : texts) EXPECT_EQ(Text(name), value) << name;

    // Values no button stands for stay as stored until a button is chosen.
    RegWriteDword(kProductSettingsKey, "TQXUnitZIP", 5);
    RegWriteDword(kProductSettingsKey, "SmtpSendaddr", 7);
    auto again = Open<Csorvant>();
    auto notifyAgain = Open<CSendDlg>();
    EXPECT_FALSE(Ticked(again.get(), kZipWholeMailRadio) || Ticked(again.get(), kZipEachAttachmentRadio));
    ASSERT_TRUE(again->SaveSettings());
    ASSERT_TRUE(notifyAgain->SaveSettings());
    EXPECT_EQ(Stored("TQXUnitZIP"), 5u);
    EXPECT_EQ(Stored("SmtpSendaddr"), 7u);
    Click(again.get(), kZipWholeMailRadio);
    ASSERT_TRUE(again->SaveSettings());
    EXPECT_EQ(Stored("TQXUnitZIP"), 0u);
}

TEST_F(MailFilterPagesTest, ArchivingChoicesReachTheArchivingServersOptions) {
    auto zip = Open<Csorvant>();
    auto heads = Open<Csorvant00>();
    auto log = Open<Csorvant01>();
    Click(zip.get(), kZipEachAttachmentRadio);
    Type(zip.get(), kZipPasswordEdit, "extra pw");
    Type(zip.get(), kPasswordMailSmtpEdit, "127.0.0.1");
    Type(zip.get(), kPasswordMailPortEdit, "2525");
    Click(zip.get(), kPasswordMailAuthCheck);
    EXPECT_TRUE(Enabled(zip.get(), kPasswordMailAuthIdEdit) && Enabled(zip.get(), kPasswordMailAuthPasswordEdit));
    Type(zip.get(), kPasswordMailAuthIdEdit, "sender-id");
    Type(zip.get(), kPasswordMailAuthPasswordEdit, "pass word");
    Click(zip.get(), kPasswordMailFromGivenRadio);
    Type(zip.get(), kPasswordMailFromEdit, "archiver@example.test");
    Click(heads.get(), kToHeadCheck);
    EXPECT_TRUE(Enabled(heads.get(), kToHeadCountEdit));
    Type(heads.get(), kToHeadCountEdit, "2");
    Click(log.get(), kZipLogCheck);
    for (SettingsPage* page : std::initializer_list<SettingsPage*>{zip.get(), heads.get(), log.get()})
        ASSERT_TRUE(page->SaveSettings());

    const auto start = StartStep("orqsvt");
    ASSERT_TRUE(start.has_value());
    const std::vector<std::string> expected = {
        "-e=VELQOR_TEST_DATA_ROOT", "-z=ZIP", "-s=127.0.0.1", "-p=2525", "-a=1", "-i=sender-id",
        "-y=" + start->secretFile, "-w=1", "-f=0", "-c=120", "-u=1", "-m=1,archiver@example.test", "-v=0", "-t=1,2",
        "-q=0,0", "-x=dat", "-l=0"};
    EXPECT_EQ(start->args, expected);
    // The passwords go in the file the command line names, never on it.
    EXPECT_EQ(start->secretArgs, (std::vector<std::string>{"-r=pass word", "-@=extra pw"}));

    // Unticking a limit keeps its count.
    Click(heads.get(), kToHeadCheck);
    ASSERT_TRUE(heads->SaveSettings());
    EXPECT_EQ(Stored("TQXToHead"), 0u);
    EXPECT_EQ(Stored("TQXToHeadCount"), 2u);
}

TEST_F(MailFilterPagesTest, ArchivingTextsTheEditsOrTheServiceCannotHoldAreRefused) {
    RegWriteString(kProductSettingsKey, "TQXEtend", "ZIPX");
    auto zip = Open<Csorvant>();
    auto* extension = Control<QLineEdit>(zip.get(), kZipExtensionEdit);
    EXPECT_EQ(extension->text().toStdString(), "ZIPX") << "a longer stored text shows whole";
    EXPECT_EQ(SaveRefused(zip.get()), std::vector<std::string>{"3 文字以内で入力してください。"});
    extension->setFocus();
    extension->end(false);
    QTest::keyClicks(extension, "Y");
    EXPECT_EQ(extension->text().toStdString(), "ZIPX") << "typing past the limit is stopped";
    QTest::keyClick(extension, Qt::Key_Backspace);
    EXPECT_EQ(extension->text().toStdString(), "ZIP");
    QTest::keyClicks(extension, "Q");
    EXPECT_EQ(extension->text().toStdString(), "ZIP");
    extension->setText("7Z");

    struct Case {
        int id;
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {kZipPasswordEdit, "sixteen-letters!", "15 文字以内で入力してください。"},
        {kPasswordMailAuthIdEdit, std::string(64, 'i'), "63 文字以内で入力してください。"},
        {kPasswordMailSmtpEdit, std::string(180, 'h') + Repeat("全", 38), "255 文字以内で入力してください。"},
        {kPasswordMailFromEdit, "a@b.test\xf0\x9f\x98\x80", "Shift_JISで表せない文字は入力できません。"},
    };
    for (const Case& c : cases) {
        QString before = Control<QLineEdit>(zip.get(), c.id)->text();
        Type(zip.get(), c.id, c.text);
        EXPECT_EQ(SaveRefused(zip.get()), std::vector<std::string>{c.message}) << c.id;
        Control<QLineEdit>(zip.get(), c.id)->setText(before);
    }
    ASSERT_TRUE(zip->SaveSettings());
    EXPECT_EQ(Text("TQXEtend"), "7Z");
}

TEST_F(MailFilterPagesTest, SpamChoicesReachTheSpamServersOptionsAndTheButtonsMakeTheLists) {
    auto spam = Open<CSpamCheckSetDlg>();
    auto checks = Open<CSpamCheckSetDlg0>();
    Click(spam.get(), kSpamCheckCheck);
    for (int id : {kSpamLogCheck, kSpamTagLabel, kSpamTagEdit}) EXPECT_FALSE(Enabled(spam.get(), id)) << id;
    Click(spam.get(), kSpamCheckCheck);
    Click(spam.get(), kSpamLogCheck);
    Type(spam.get(), kSpamTagEdit, "[迷惑]");
    Click(checks.get(), kSpamDateCheck);
    Click(checks.get(), kSpamSpfCheck);
    ASSERT_TRUE(spam->SaveSettings());
    ASSERT_TRUE(checks->SaveSettings());
    const auto start = StartStep("orqspam");
    ASSERT_TRUE(start.has_value());
    EXPECT_TRUE(Has(start->args, "-t=" + Cp932("[迷惑]")));
    for (const char* arg : {"-w", "-s", "-d"}) EXPECT_TRUE(Has(start->args, arg)) << arg;
    EXPECT_EQ(start->afterLine, "SPAM Option=log,spf1,date\n");

    // A tag of 256 characters would read back as the default: refused. One
    // of 255 comes back whole on the page and reaches the spam server.
    Type(spam.get(), kSpamTagEdit, std::string(128, 'x') + std::string(128, 'y'));
    EXPECT_EQ(SaveRefused(spam.get()), std::vector<std::string>{"255 文字以内で入力してください。"});
    Type(spam.get(), kSpamTagEdit, Repeat("迷", 128));
    EXPECT_EQ(SaveRefused(spam.get()), std::vector<std::string>{"255 文字以内で入力してください。"});
    const std::string longest = std::string(127, 'x') + std::string(128, 'y');
    Type(spam.get(), kSpamTagEdit, longest);
    ASSERT_TRUE(spam->SaveSettings());
    EXPECT_EQ(Shown(Open<CSpamCheckSetDlg>().get(), kSpamTagEdit), longest);
    EXPECT_TRUE(Has(StartStep("orqspam")->args, "-t=" + longest));
    Type(spam.get(), kSpamTagEdit, "");
    ASSERT_TRUE(spam->SaveSettings());
    EXPECT_EQ(Text("spamtag"), "") << "an empty tag is saved empty";

    // New files: Japanese texts for a Japanese user, one active zone row.
    ::setenv("LANG", "ja_JP.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    std::string editor = Recorder("editor", dir_.path());
    ::setenv("VELQOR_EDITOR", editor.c_str(), 1);
    Click(checks.get(), kSpamUriblButton);
    EXPECT_EQ(RecordedArguments(editor), std::vector<std::string>{dataFolder() + "spam-dnsbl.db"});
    std::string dnsbl = platform::Cp932ToUtf8(File("spam-dnsbl.db"));
    EXPECT_EQ(std::count(dnsbl.begin(), dnsbl.end(), '\n'), 11);
    EXPECT_NE(dnsbl.find("\r\nmulti.surbl.org\r\n"), std::string::npos) << dnsbl;
    for (auto [id, file] :
         {std::pair{kSpamKeywordButton, "spamkeyword.db"}, std::pair{kSpamWhiteListButton, "passspf.db"}}) {
        Click(checks.get(), id);
        std::string text = platform::Cp932ToUtf8(File(file));
        EXPECT_EQ(text.rfind("'------------------------------------------------------------------\r\n", 0), 0u) << file;
    }
    EXPECT_NE(platform::Cp932ToUtf8(File("spamkeyword.db")).find("'*出*会*い*系*\r\n"),
              std::string::npos);
    // An editor that does not start is named, with the file, in a message:
    // the one set in VELQOR_EDITOR, and the default when none is found.
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    const std::pair<const char*, std::string> editors[] = {
        {"VELQOR_EDITOR", "/nonexistent/editor -x"},
        {"PATH", dir_.path()},
    };
    for (const auto& [variable, value] : editors) {
        if (std::string(variable) == "PATH") ::unsetenv("VELQOR_EDITOR");
        ::setenv(variable, value.c_str(), 1);
        paneltest::BoxAnswerer boxes;
        Click(checks.get(), kSpamWhiteListButton);
        ::setenv("PATH", path.c_str(), 1);
        ASSERT_EQ(boxes.texts.size(), 1u) << variable;
        EXPECT_NE(boxes.texts[0].find("ファイル: " + dataFolder() + "passspf.db"), std::string::npos) << boxes.texts[0];
        const std::string command = std::string(variable) == "PATH" ? "l3afpad --codeset=CP932" : value;
        EXPECT_NE(boxes.texts[0].find("コマンド: " + command), std::string::npos) << boxes.texts[0];
    }
    // The archiving pages' files: the password notice keeps its "%s".
    auto zip = Open<Csorvant>();
    Click(zip.get(), kPasswordMessageButton);
    EXPECT_EQ(platform::Cp932ToUtf8(File("ziped-pw-message.txt")),
              "同名タイトルとして送付された、メールの解凍用パスワー\r\nドをお知らせします。\r\n\r\n"
              "解凍用パスワードは、'%s'です。\r\n");
}

class NotifyMailTest : public MailFilterPagesTest {
protected:
    void TearDown() override {
        sink_.reset();
        MailFilterPagesTest::TearDown();
    }
    // The mail sender's SMTP peer: aiosmtpd asking for AUTH PLAIN as user
    // "user" with the password "pa'ss".
    int StartSink() {
        sink_ = std::make_unique<testsupport::SmtpPeer>(std::vector<std::string>{"--auth", "user:pa'ss"});
        EXPECT_NE(sink_->port(), 0) << sink_->err();
        return sink_->port();
    }
    std::unique_ptr<testsupport::SmtpPeer> sink_;
};

TEST_F(NotifyMailTest, SendmailIniAsWrittenIsWhatTheMailSenderSendsWith) {
    const int port = StartSink();
    auto page = Open<CSendDlg>();
    Click(page.get(), kNotifyCheck);
    EXPECT_TRUE(Enabled(page.get(), kNotifyUserEdit)) << "the notify box enables every control";
    Click(page.get(), kNotifyAuthCheck);
    Click(page.get(), kNotifyAuthCheck);
    EXPECT_FALSE(Enabled(page.get(), kNotifyUserEdit)) << "the authentication box then decides";
    Click(page.get(), kNotifyAuthCheck);
    EXPECT_TRUE(Enabled(page.get(), kNotifyUserEdit));
    Click(page.get(), kNotifyToSenderRadio);
    EXPECT_FALSE(Enabled(page.get(), kNotifyToEdit));
    Click(page.get(), kNotifyToBothRadio);
    EXPECT_TRUE(Enabled(page.get(), kNotifyToEdit));
    Type(page.get(), kNotifyServerEdit, "127.0.0.1");
    Type(page.get(), kNotifyPortEdit, std::to_string(port));
    Type(page.get(), kNotifyFromEdit, "notice@example.test");
    Type(page.get(), kNotifyFromNameEdit, "管理者 通知");
    Type(page.get(), kNotifyUserEdit, "user");
    Type(page.get(), kNotifyPasswordEdit, "pa'ss");
    Type(page.get(), kNotifyToEdit, "admin@example.test");

    // What the mail sender would not read back as typed is refused.
    struct Case {
        int id;
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {kNotifyFromNameEdit, std::string(80, 'n'), "79 文字以内で入力してください。"},
        {kNotifyFromNameEdit, Repeat("名", 40), "79 文字以内で入力してください。"},
        {kNotifyUserEdit, std::string(64, 'u'), "63 文字以内で入力してください。"},
        {kNotifyPasswordEdit, " leading", "先頭に空白は入力できません。"},
        {kNotifyFromEdit, std::string(245, 'f'), "244 文字以内で入力してください。"},
        {kNotifyPortEdit, "0", "1 から 65535 までの整数を入力してください。"},
        {kNotifyPortEdit, "65536", "1 から 65535 までの整数を入力してください。"},
        {kNotifyPortEdit, "twenty-five", "整数を入力してください。"},
    };
    for (const Case& c : cases) {
        QString before = Control<QLineEdit>(page.get(), c.id)->text();
        Type(page.get(), c.id, c.text);
        EXPECT_EQ(SaveRefused(page.get()), std::vector<std::string>{c.message}) << c.id << " " << c.text;
        Control<QLineEdit>(page.get(), c.id)->setText(before);
    }
    EXPECT_FALSE(testsupport::FileExists(programFolder() + "/sendmail.ini")) << "a refused save writes nothing";

    ASSERT_TRUE(page->SaveSettings());
    const std::string ini = programFolder() + "/sendmail.ini";
    EXPECT_EQ(testsupport::ReadFile(ini),
              Cp932("family=0\r\nfrom=notice@example.test\r\nname=管理者 通知\r\ncharset=iso-2022-jp\r\n"
                    "smtpserver=127.0.0.1\r\nport=" + std::to_string(port) +
                    "\r\nesmtp=1\r\nauthid=user\r\nauthpass=pa'ss\r\nssl=0\r\ndebug=0\r\nto=admin@example.test\r\n"));
    struct stat info {};
    ASSERT_EQ(::stat(ini.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "the password readable by others";
    EXPECT_EQ(Stored("SmtpSendaddr"), 2u);

    // The mail sender, run in the program folder, reads it and logs in.
    testsupport::Process::Options options;
    options.cwd = programFolder();
    testsupport::Process sender({testsupport::BinPath("orqnote"), "to@example.test", "-subject=notice", "-message=hello"},
                                options);
    ASSERT_EQ(sender.wait(std::chrono::seconds(60)), 0) << sender.out() << sender.err();
    ASSERT_TRUE(testsupport::FileExists(sink_->MailPath(1))) << sender.out() << sender.err();
    auto from = testsupport::RunCommand(
        "/usr/bin/python3 -c \"import email,email.header,sys; m=email.message_from_bytes(open(sys.argv[1],'rb')."
        "read()); print(str(email.header.make_header(email.header.decode_header(m['From']))))\" '" +
        sink_->MailPath(1) + "'");
    EXPECT_EQ(from.output, "管理者 通知 <notice@example.test>\n");
    EXPECT_EQ(sink_->Envelope(1), "FROM notice@example.test\nTO to@example.test\nAUTH user pa'ss\n");
}

}  // namespace
