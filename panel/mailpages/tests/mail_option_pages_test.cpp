// The SMTP and POP3 option pages, judged by the readers of what they write:
// the service's start table, the list-file reader, and a stand-in search
// program that records what it was started with.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <memory>

#include "common/list_file.h"
#include "mail_page_test.h"
#include "panel/framework/color_button.h"
#include "panel/framework/folder_view.h"
#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel/mailpages/mail_archive_page.h"
#include "panel/mailpages/pop3_option_pages.h"
#include "panel/mailpages/smtp_option_pages.h"
#include "platform/codepage/codepage.h"
#include "qt_test_support.h"
#include "service/child_start_table.h"

namespace {

using namespace panel;

class MailOptionPagesTest : public mailtest::MailPageTest {};

template <typename T = QWidget>
T* At(SettingsPage* page, int id) {
    T* control = Control<T>(page, id);
    EXPECT_NE(control, nullptr) << id;
    return control;
}

TEST_F(MailOptionPagesTest, AFreshSystemShowsEverythingOffAndEmpty) {
    auto smtp = Open<CSmtpSetDlg>();
    auto smtpCount = Open<Csmtpdlg00>();
    auto smtpDetail = Open<Csmtpdlg1>();
    auto smtpIp = Open<Csmtpdlg11>();
    auto archive = Open<Csmtpdlg12>();
    auto pop3 = Open<CPop3SetDlg>();
    auto pop3Count = Open<Cpop3dlg00>();
    auto pop3Ip = Open<Cpop3dlg10>();
    auto virus = Open<Cpop3dlg11>();

    EXPECT_FALSE(At<QCheckBox>(smtp.get(), kSmtpOnCheck)->isChecked());
    EXPECT_FALSE(At(smtp.get(), kSmtpLogCheck)->isEnabled());
    EXPECT_FALSE(At<QCheckBox>(pop3.get(), kPop3OnCheck)->isChecked());
    EXPECT_FALSE(At(pop3.get(), kPop3LogCheck)->isEnabled());
    EXPECT_EQ(At<QLineEdit>(smtpCount.get(), kSmtpConnectionsEdit)->text(), "0");
    EXPECT_EQ(At<QLineEdit>(pop3Count.get(), kPop3ConnectionsEdit)->text(), "0");
    EXPECT_FALSE(At<QCheckBox>(smtpDetail.get(), kSmtpSpamRejectCheck)->isChecked());
    EXPECT_EQ(smtpDetail->windowTitle().toStdString(), "VELQOR Server SMTP詳細設定");
    EXPECT_TRUE(At<QRadioButton>(smtpIp.get(), kIpv4OnlyRadio)->isChecked());
    EXPECT_TRUE(At<QRadioButton>(pop3Ip.get(), kIpv4OnlyRadio)->isChecked());
    EXPECT_TRUE(At<QRadioButton>(virus.get(), kPop3VirusHeaderOnlyRadio)->isChecked());
    EXPECT_FALSE(At<QCheckBox>(archive.get(), kMailBackupCheck)->isChecked());
    for (int id : {kArchiveFolderEdit, kArchiveBrowseButton, kSearchFolderLabel, kSearchFolderEdit, kSearchBrowseButton,
                   kStartSearchButton})
        EXPECT_FALSE(At(archive.get(), id)->isEnabled()) << id;
    EXPECT_EQ(At<QLineEdit>(archive.get(), kArchiveFolderEdit)->text(), "");
    EXPECT_EQ(At<QLineEdit>(archive.get(), kSearchFolderEdit)->text(), "");

    // The switches govern their dependants and leave their values alone.
    QTest::mouseClick(At<QCheckBox>(smtp.get(), kSmtpOnCheck), Qt::LeftButton);
    EXPECT_TRUE(At(smtp.get(), kSmtpLogCheck)->isEnabled());
    QTest::mouseClick(At<QCheckBox>(archive.get(), kMailBackupCheck), Qt::LeftButton);
    for (int id : {kArchiveFolderEdit, kArchiveBrowseButton, kSearchFolderLabel, kSearchFolderEdit, kSearchBrowseButton,
                   kStartSearchButton})
        EXPECT_TRUE(At(archive.get(), id)->isEnabled()) << id;
}

TEST_F(MailOptionPagesTest, SavedOptionsReachTheRelaysStartArguments) {
    const std::string folder = dir_ / "mail bak";
    {
        auto smtp = Open<CSmtpSetDlg>();
        auto smtpCount = Open<Csmtpdlg00>();
        auto smtpDetail = Open<Csmtpdlg1>();
        auto smtpIp = Open<Csmtpdlg11>();
        auto archive = Open<Csmtpdlg12>();
        auto pop3 = Open<CPop3SetDlg>();
        auto virus = Open<Cpop3dlg11>();
        At<QCheckBox>(smtp.get(), kSmtpOnCheck)->click();
        At<QCheckBox>(smtp.get(), kSmtpLogCheck)->click();
        At<QLineEdit>(smtpCount.get(), kSmtpConnectionsEdit)->setText("100");
        At<QRadioButton>(smtpIp.get(), kIpBothRadio)->click();  // "併用"
        At<QCheckBox>(smtpDetail.get(), kSmtpSpamRejectCheck)->click();
        At<QCheckBox>(archive.get(), kMailBackupCheck)->click();
        At<QLineEdit>(archive.get(), kArchiveFolderEdit)->setText(QString::fromStdString(folder));  // no final "/"
        At<QCheckBox>(pop3.get(), kPop3OnCheck)->click();
        At<QRadioButton>(virus.get(), kPop3VirusHeaderAndBodyRadio)->click();  // "ヘッダ+本文添付"
        for (SettingsPage* page : std::initializer_list<SettingsPage*>{
                 smtp.get(), smtpDetail.get(), smtpCount.get(), smtpIp.get(), archive.get(), pop3.get(), virus.get()})
            ASSERT_TRUE(page->SaveSettings());
        EXPECT_EQ(At<QLineEdit>(archive.get(), kArchiveFolderEdit)->text().toStdString(), folder + "/");
    }
    auto smtpArgs = StartArgs("orqsprx");
    for (const std::string& arg : std::vector<std::string>{"-c=100", "-i=2", "-b=" + folder + "/", "-j=1", "-w"})
        EXPECT_TRUE(Has(smtpArgs, arg)) << arg;
    auto pop3Args = StartArgs("orqpprx");
    EXPECT_TRUE(Has(pop3Args, "-d=1"));
    EXPECT_FALSE(Has(pop3Args, "-w"));

    // Reopened, the pages show what was stored.
    auto archive = Open<Csmtpdlg12>();
    EXPECT_TRUE(At<QCheckBox>(archive.get(), kMailBackupCheck)->isChecked());
    EXPECT_EQ(At<QLineEdit>(archive.get(), kArchiveFolderEdit)->text().toStdString(), folder + "/");
    auto virus = Open<Cpop3dlg11>();
    EXPECT_TRUE(At<QRadioButton>(virus.get(), kPop3VirusHeaderAndBodyRadio)->isChecked());
}

TEST_F(MailOptionPagesTest, ConnectionCountsOutsideTheirRangeAreRefusedAndNothingIsWritten) {
    struct Case {
        bool smtp;
        const char* typed;
        const char* message;  // empty: taken
    };
    const Case cases[] = {
        {true, "65535", ""},
        {true, "65536", "0 から 65535 までの整数を入力してください。"},
        {true, "-1", "0 から 65535 までの整数を入力してください。"},
        {true, "ten", "整数を入力してください。"},
        {false, "65535", ""},
        {false, "65536", "0 から 65535 までの整数を入力してください。"},
        {false, "-1", "正の整数を入力してください。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.smtp ? "smtp " : "pop3 ") + c.typed);
        const char* name = c.smtp ? "smtpmaxconn" : "pop3maxconn";
        ASSERT_EQ(RegWriteDword(kProductSettingsKey, name, 7), 0);
        std::unique_ptr<SettingsPage> page;
        if (c.smtp)
            page = Open<Csmtpdlg00>();
        else
            page = Open<Cpop3dlg00>();
        At<QLineEdit>(page.get(), c.smtp ? kSmtpConnectionsEdit : kPop3ConnectionsEdit)->setText(c.typed);
        paneltest::BoxAnswerer boxes;
        bool saved = page->SaveSettings();
        if (*c.message) {
            EXPECT_FALSE(saved);
            ASSERT_EQ(boxes.texts.size(), 1u);
            EXPECT_EQ(boxes.texts[0], c.message);
            EXPECT_EQ(RegReadDword(kProductSettingsKey, name, 0), 7u);
        } else {
            EXPECT_TRUE(saved);
            EXPECT_TRUE(boxes.texts.empty());
            EXPECT_EQ(RegReadDword(kProductSettingsKey, name, 0), 65535u);
        }
    }
}

TEST_F(MailOptionPagesTest, AStoredChoiceNoButtonStandsForIsKeptUntilOneIsTicked) {
    for (const char* name : {"smtpipverstion", "pop3ipverstion", "pop3virusbody"})
        ASSERT_EQ(RegWriteDword(kProductSettingsKey, name, 7), 0);
    auto smtpIp = Open<Csmtpdlg11>();
    auto pop3Ip = Open<Cpop3dlg10>();
    auto virus = Open<Cpop3dlg11>();
    for (int id : {kIpv4OnlyRadio, kIpv6OnlyRadio, kIpBothRadio})
        EXPECT_FALSE(At<QRadioButton>(smtpIp.get(), id)->isChecked());
    for (int id : {kPop3VirusHeaderOnlyRadio, kPop3VirusHeaderAndBodyRadio})
        EXPECT_FALSE(At<QRadioButton>(virus.get(), id)->isChecked());
    ASSERT_TRUE(smtpIp->SaveSettings());
    ASSERT_TRUE(virus->SaveSettings());
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "smtpipverstion", 0), 7u);
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "pop3virusbody", 0), 7u);
    At<QRadioButton>(pop3Ip.get(), kIpv6OnlyRadio)->click();
    ASSERT_TRUE(pop3Ip->SaveSettings());
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "pop3ipverstion", 7), 1u);
}

TEST_F(MailOptionPagesTest, ListButtonsMakeTheMissingFilesWithTheirHeaderAndOpenThem) {
    ::setenv("LANG", "ja_JP.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    const std::string editor = Recorder("editor", dir_.path());
    ::setenv("VELQOR_EDITOR", editor.c_str(), 1);
    auto smtpDetail = Open<Csmtpdlg1>();
    auto blocklist = Open<Csmtpdlg10>();
    auto pop3Detail = Open<Cpop3dlg1>();
    EXPECT_EQ(pop3Detail->windowTitle().toStdString(), "VELQOR Server POP3詳細設定");
    testsupport::WriteFile(dataFolder() + "pop3-con.ini", "127.0.0.1\r\n");  // an existing file stays

    struct Case {
        SettingsPage* page;
        int button;
        const char* file;
        size_t lines;
        const char* line;  // one line of the header, for its text
    };
    const Case cases[] = {
        {smtpDetail.get(), kSmtpConnectListButton, "smtp-con.ini", 12, "'例）192.168.0.0～192.168.0.15以外のIPからの接続を禁止する場合。"},
        {blocklist.get(), kSmtpBlocklistSourcesButton, "smtp-conbl.db", 9,
         "'不正な中継に含まれたことのあるＩＰアドレスであるか判定を行う場合に設定します。"},
        {blocklist.get(), kSmtpBlocklistWhiteListButton, "smtp-conwl.db", 9,
         "'このファイルへは、ＤＮＳＢＬでの問合せを無視させたいＩＰアドレスを記述して下さい。"},
        {pop3Detail.get(), kPop3ConnectListButton, "pop3-con.ini", 1, "127.0.0.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::filesystem::remove(editor + ".args");
        QTest::mouseClick(At<ColorButton>(c.page, c.button), Qt::LeftButton);
        const std::string path = dataFolder() + c.file;
        EXPECT_EQ(RecordedArguments(editor), std::vector<std::string>{path});
        std::string text = platform::Cp932ToUtf8(testsupport::ReadFile(path));
        size_t lines = 0;
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
        EXPECT_EQ(lines, c.lines);
        EXPECT_NE(text.find(std::string(c.line) + "\r\n"), std::string::npos);
        auto active = common::ReadListFile(path, {});
        ASSERT_TRUE(active.has_value());
        EXPECT_EQ(active->size(), c.lines == 1 ? 1u : 0u);  // a new file holds comments only
    }
}

TEST_F(MailOptionPagesTest, FolderButtonsShowTheChosenFolderAndSaveItAsChosen) {
    const std::string t = dir_.path();
    testsupport::MakeDirs(t + "/mail/archive");
    testsupport::MakeDirs(t + "/tools");
    auto archive = Open<Csmtpdlg12>();
    At<QCheckBox>(archive.get(), kMailBackupCheck)->click();
    std::string pick;
    archive->runPicker = [&](CFolderView2& picker) {
        if (pick.empty()) return picker.reject();
        picker.tree()->setCurrentItem(picker.ShowPath(QString::fromStdString(pick)));
        picker.OnOK();
    };
    pick = t + "/mail/archive/";
    QTest::mouseClick(At<ColorButton>(archive.get(), kArchiveBrowseButton), Qt::LeftButton);
    pick = t + "/tools/";
    QTest::mouseClick(At<ColorButton>(archive.get(), kSearchBrowseButton), Qt::LeftButton);
    pick.clear();  // cancelled: nothing changes
    QTest::mouseClick(At<ColorButton>(archive.get(), kArchiveBrowseButton), Qt::LeftButton);
    EXPECT_EQ(At<QLineEdit>(archive.get(), kArchiveFolderEdit)->text().toStdString(), t + "/mail/archive/");
    EXPECT_EQ(At<QLineEdit>(archive.get(), kSearchFolderEdit)->text().toStdString(), t + "/tools/");
    EXPECT_EQ(Text("smtpbackupfolder"), "(none)");  // not before the window saves
    ASSERT_TRUE(archive->SaveSettings());
    EXPECT_EQ(Text("smtpbackupfolder"), t + "/mail/archive/");
    EXPECT_EQ(Text("orsearchfolder"), t + "/tools/");
}

TEST_F(MailOptionPagesTest, TheSearchProgramGetsTheArchiveFolderAsOneArgument) {
    const std::string tools = programFolder() + "/search tools";
    testsupport::MakeDirs(tools);
    const std::string program = Recorder("orsearch", tools);
    const std::string named = Recorder("finder.sh", tools);
    ASSERT_EQ(RegWriteString(kProductSettingsKey, "orsearchfolder", "/stored/elsewhere/"), 0);
    auto archive = Open<Csmtpdlg12>();
    At<QCheckBox>(archive.get(), kMailBackupCheck)->click();
    struct Case {
        std::string searchFolder;
        std::string archiveFolder;
        std::string recorder;
        std::string argument;
    };
    const Case cases[] = {
        {tools + "/", "/srv/mail bak/", program, "-f=/srv/mail bak/"},
        {tools, "/srv/mail bak", program, "-f=/srv/mail bak/"},  // unsaved edits, no final "/"
        {named, "/srv/mail'bak\"/", named, "-f=/srv/mail'bak\"/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.searchFolder);
        std::filesystem::remove(c.recorder + ".args");
        At<QLineEdit>(archive.get(), kSearchFolderEdit)->setText(QString::fromStdString(c.searchFolder));
        At<QLineEdit>(archive.get(), kArchiveFolderEdit)->setText(QString::fromStdString(c.archiveFolder));
        QTest::mouseClick(At<ColorButton>(archive.get(), kStartSearchButton), Qt::LeftButton);
        EXPECT_EQ(RecordedArguments(c.recorder), std::vector<std::string>{c.argument});
    }
    EXPECT_EQ(Text("orsearchfolder"), "/stored/elsewhere/");
    EXPECT_EQ(SearchProgramPath(""), "orsearch");
    EXPECT_EQ(SearchProgramPath("/opt/search"), "/opt/search/orsearch");
}

}  // namespace
