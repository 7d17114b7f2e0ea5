// The archiving and spam pages end to end: what they save starts the real
// orqsvt, orqspam and SMTP relay with the service's options; swaks sends
// through the relay to an aiosmtpd sink that asks every sender, the
// password mail's included, for AUTH PLAIN.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "common/secret_arguments.h"
#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel/mailpages/archive_zip_pages.h"
#include "panel/mailpages/spam_check_pages.h"
#include "panel_test_support.h"
#include "platform/codepage/codepage.h"
#include "service/child_start_table.h"
#include "smtp_peer.h"

namespace {

using namespace panel;

class MailFilterRoadTest : public paneltest::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, kProductSettingsKey), 0);
        testsupport::MakeDirs(dataFolder());
        if (const char* lang = std::getenv("LANG")) lang_ = lang;
        std::string editor = Recorder("editor", dir_.path());
        ::setenv("VELQOR_EDITOR", editor.c_str(), 1);
    }
    // A button's new list file as a Japanese administrator gets it.
    void ClickAsJapaneseUser(QWidget* page, int id) {
        ::setenv("LANG", "ja_JP.UTF-8", 1);
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_MESSAGES");
        Click(page, id);
        ::setenv("LANG", lang_.c_str(), 1);
    }
    void TearDown() override {
        for (auto& process : processes_) process->terminate(15);
        ::unsetenv("VELQOR_EDITOR");
        ::setenv("LANG", lang_.c_str(), 1);
    }
    template <typename Page>
    std::unique_ptr<Page> Open() {
        auto page = std::make_unique<Page>();
        page->Create(&window_);
        return page;
    }
    static void Type(QWidget* page, int id, const std::string& text) {
        Control<QLineEdit>(page, id)->setText(QString::fromStdString(text));
    }
    static void Click(QWidget* page, int id) { Control<QAbstractButton>(page, id)->click(); }
    testsupport::Process& Start(const std::string& program, const std::vector<std::string>& args) {
        std::vector<std::string> argv{testsupport::BinPath(program)};
        argv.insert(argv.end(), args.begin(), args.end());
        testsupport::Process::Options options;
        options.env = {{"VELQOR_TEST_DATA_ROOT", dataRoot()}, {"VELQOR_PIPE_DIR", pipeDir()}};
        processes_.push_back(std::make_unique<testsupport::Process>(argv, options));
        return *processes_.back();
    }
    void Append(const std::string& file, const std::string& line) {
        testsupport::WriteFile(dataFolder() + file, testsupport::ReadFile(dataFolder() + file) + line + "\r\n");
    }

    QWidget window_;
    std::string lang_;
    std::vector<std::unique_ptr<testsupport::Process>> processes_;
};

TEST_F(MailFilterRoadTest, SavedPagesArchiveAndMarkMailThroughTheRealServers) {
    const int relayPort = testsupport::FreeTcpPort();
    testsupport::SmtpPeer sink({"--auth", "sender-id:pass word"});
    const int sinkPort = sink.port();
    ASSERT_NE(sinkPort, 0) << sink.err();

    RegWriteDword(kProductSettingsKey, "smtp", 1);
    auto zip = Open<Csorvant>();
    auto log = Open<Csorvant01>();
    auto spam = Open<CSpamCheckSetDlg>();
    auto checks = Open<CSpamCheckSetDlg0>();
    Click(zip.get(), kZipEachAttachmentRadio);
    Type(zip.get(), kPasswordMailSmtpEdit, "127.0.0.1");
    Type(zip.get(), kPasswordMailPortEdit, std::to_string(sinkPort));
    Click(zip.get(), kPasswordMailAuthCheck);
    Type(zip.get(), kPasswordMailAuthIdEdit, "sender-id");
    Type(zip.get(), kPasswordMailAuthPasswordEdit, "pass word");
    Click(log.get(), kZipLogCheck);
    Type(spam.get(), kSpamTagEdit, "[迷惑]");
    Click(checks.get(), kSpamDateCheck);
    for (SettingsPage* page : std::initializer_list<SettingsPage*>{zip.get(), log.get(), spam.get(), checks.get()})
        ASSERT_TRUE(page->SaveSettings());
    // The lists as the buttons make them, with one row each added by hand.
    ClickAsJapaneseUser(log.get(), kZipListenListButton);
    ClickAsJapaneseUser(checks.get(), kSpamKeywordButton);
    ASSERT_TRUE(testsupport::FileExists(dataFolder() + "smtp-zip.db"));
    Append("smtp-zip.db", "127.0.0.1:" + std::to_string(relayPort));
    Append("spamkeyword.db", "*bargain*");
    testsupport::WriteFile(dataFolder() + "smtp.ini", "127.0.0.1 " + std::to_string(relayPort) + "=,127.0.0.1 " +
                                                          std::to_string(sinkPort) + ",sink\r\n");

    for (const auto& step : service::BuildChildStartTable({"VELQOR_TEST_DATA_ROOT", false, false}))
        if (step.program == "orqspam" || step.program == "orqsvt" || step.program == "orqsprx") {
            // The passwords reach the archiver through a file, as the service hands them over.
            if (!step.secretFile.empty()) {
                ASSERT_TRUE(common::WriteSecretArguments(step.secretFile, step.secretArgs));
            }
            Start(step.program, step.args);
        }
    ASSERT_TRUE(testsupport::WaitForTcpPort(relayPort));
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return testsupport::FileExists(pipeDir() + "/orqspam") && testsupport::FileExists(pipeDir() + "/orqsvt");
    }));

    std::string pdf = "%PDF-1.4\n";
    for (int i = 0; i < 3000; ++i) pdf += static_cast<char>(i * 13);
    testsupport::WriteFile(dir_ / "offer.pdf", pdf);
    auto swaks = [&](const std::string& extra) {
        return testsupport::RunCommand("/usr/bin/swaks --server 127.0.0.1:" + std::to_string(relayPort) +
                                       " --from sender@example.org --to first@example.net --timeout 20"
                                       " --auth PLAIN --auth-user sender-id --auth-password 'pass word' " + extra);
    };
    auto sent = swaks("--header 'Subject: offer' --body 'see the attachment' --attach-type application/pdf "
                      "--attach-name offer.pdf --attach @" + (dir_ / "offer.pdf"));
    ASSERT_EQ(sent.exitCode, 0) << sent.output;
    ASSERT_TRUE(sink.Received(2, std::chrono::seconds(30))) << sent.output;
    int archived = sink.Mail(1).find("X-Sorvant: yes") != std::string::npos ? 1 : 2;
    int password = 3 - archived;
    EXPECT_NE(sink.Envelope(password).find("AUTH sender-id pass word\n"), std::string::npos)
        << "the password mail goes out with the page's account";
    testsupport::WriteFile(dir_ / "archived.eml", sink.Mail(archived));
    testsupport::WriteFile(dir_ / "password.eml", sink.Mail(password));
    auto opened = testsupport::RunCommand(
        "cd '" + dir_.path() + "' && /usr/bin/python3 -c \"import email,sys,re,subprocess; "
        "m=email.message_from_binary_file(open('archived.eml','rb')); "
        "z=[p for p in m.walk() if p.get_content_type()=='application/x-zip-compressed'][0]; "
        "open('a.zip','wb').write(z.get_payload(decode=True)); "
        "t=open('password.eml','rb').read().decode('iso2022_jp'); "
        "pw=re.search(\\\"'([^'\\\\r\\\\n]+)'\\\", t).group(1); "
        "sys.exit(subprocess.call(['unzip','-P',pw,'-p','a.zip'], stdout=open('back.pdf','wb')))\"");
    ASSERT_EQ(opened.exitCode, 0) << opened.output << sink.Mail(password);
    EXPECT_EQ(testsupport::ReadFile(dir_ / "back.pdf"), pdf);

    // A keyword of the list the button made marks the subject with the tag,
    // which a mail reader decodes (followed by the blank that separates an
    // encoded word from the text after it).
    sent = swaks("--header 'Subject: news' --body 'a bargain for you'");
    ASSERT_EQ(sent.exitCode, 0) << sent.output;
    ASSERT_TRUE(sink.Received(3)) << sent.output;
    testsupport::WriteFile(dir_ / "marked.eml", sink.Mail(3));
    auto subject = testsupport::RunCommand(
        "/usr/bin/python3 -c \"import email,email.header,sys; m=email.message_from_binary_file(open(sys.argv[1],'rb'));"
        " print(str(email.header.make_header(email.header.decode_header(m['Subject']))))\" '" +
        (dir_ / "marked.eml") + "'");
    EXPECT_EQ(subject.output, "[迷惑] news\n") << sink.Mail(3);
}

}  // namespace
