// The connection files as the pages write them, read by the engine's own
// readers: the connection lookup and the TLS lookup of a listener.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/connect_table.h"
#include "engine/tls/tls.h"
#include "mail_list_support.h"
#include "panel/framework/settings_window.h"
#include "panel/mailpages/mail_pages.h"
#include "platform/codepage/codepage.h"

namespace {

using namespace panel;
using mailtest::Entry;

class MailConnectionFileTest : public mailtest::MailListTest {};

TEST_F(MailConnectionFileTest, WrittenLinesHaveTheFileShapeAndTheEngineReadsEveryField) {
    struct Case {
        Entry entry;
        std::string line;
        int tlsLookup;  // Query_SecureSocketLayer's result
        bool pathsFilled;
        std::string serverPort;  // field C as the engine reads it
    };
    auto listener = [](const char* name, const char* ip, const char* port) {
        Entry e;
        e.name = name;
        e.listenIp = ip;
        e.listenPort = port;
        return e;
    };
    Entry startTls = listener("starttls", "127.0.0.1", "18025");
    startTls.clientStartTls = true;
    startTls.certificate = "/etc/velqor/a+b.pem";
    startTls.key = "/etc/velqor/key.pem";
    Entry tlsEmpty = listener("tls", "127.0.0.2", "18465");
    tlsEmpty.clientTls = true;
    Entry serverTls = listener("out-tls", "127.0.0.3", "18026");
    serverTls.serverTls = true;
    serverTls.hostPort = "465";
    Entry serverStartTls = listener("out-starttls", "127.0.0.4", "18027");
    serverStartTls.serverStartTls = true;
    serverStartTls.hostPort = "587";
    serverStartTls.sendIp = "127.0.0.9";
    Entry tunnel = listener("tunnel", "127.0.0.5", "18028");
    tunnel.tunnel = true;
    Entry noHost = listener("nohost", "127.0.0.6", "18029");
    noHost.host = "";
    const Case cases[] = {
        {startTls, "127.0.0.1 18025-/etc/velqor/a+b.pem\t/etc/velqor/key.pem=,127.0.0.1 25,starttls", 0, true, "25"},
        {tlsEmpty, "127.0.0.2 18465+\t=,127.0.0.1 25,tls", 1, false, "25"},
        {serverTls, "127.0.0.3 18026=,127.0.0.1 465+,out-tls", 0, false, "465+"},
        {serverStartTls, "127.0.0.4 18027=127.0.0.9,127.0.0.1 587-,out-starttls", 0, false, "587-"},
        {tunnel, "127.0.0.5 18028=,127.0.0.1 25*,tunnel", 0, false, "25*"},
        {noHost, "127.0.0.6 18029=, 25,nohost", 0, false, "25"},
    };
    auto page = Open<Csmtpdlg>();
    for (const Case& c : cases) EXPECT_TRUE(Add(page.get(), c.entry).empty()) << c.line;
    ASSERT_TRUE(page->SaveSettings());

    // New rows go on top, so the file lists them last added first.
    std::string expected;
    for (auto it = std::rbegin(cases); it != std::rend(cases); ++it) expected += it->line + "\r\n";
    const std::string path = dataFolder() + "smtp.ini";
    EXPECT_EQ(File("smtp.ini"), expected);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const int port = std::stoi(c.entry.listenPort);
        auto lookup = common::GetConnectTable(path, c.entry.listenIp, port, nullptr);
        ASSERT_TRUE(lookup.entry.has_value());
        EXPECT_EQ(lookup.entry->name, c.entry.name);
        EXPECT_EQ(lookup.entry->sendAddress, c.entry.sendIp);
        EXPECT_EQ(lookup.entry->server, c.entry.host);
        EXPECT_EQ(lookup.entry->serverPort, c.serverPort);
        auto marks = common::ParseServerPort(lookup.entry->serverPort);
        EXPECT_EQ(marks.tls, c.entry.serverTls);
        EXPECT_EQ(marks.startTls, c.entry.serverStartTls);
        EXPECT_EQ(marks.tunnel, c.entry.tunnel);
        std::string certificate = "unset", key = "unset";
        EXPECT_EQ(engine::Query_SecureSocketLayer(path, c.entry.listenIp, port, certificate, key), c.tlsLookup);
        EXPECT_EQ(certificate, c.pathsFilled ? c.entry.certificate : "");
        EXPECT_EQ(key, c.pathsFilled ? c.entry.key : "");
    }
    EXPECT_FALSE(std::filesystem::exists(dataFolder() + "smtp-old.ini"));  // there was no file before

    // Read back by a new page, every row shows as it was entered.
    auto again = Open<Csmtpdlg>();
    EXPECT_EQ(Column(again.get(), 0),
              (std::vector<std::string>{"nohost", "tunnel", "out-starttls", "out-tls", "tls", "starttls"}));
    EXPECT_EQ(Column(again.get(), 4), (std::vector<std::string>{"", "", "", "", "", "*"}));
    EXPECT_EQ(Column(again.get(), 5), (std::vector<std::string>{"", "", "", "", "", "/etc/velqor/a+b.pem"}));
    EXPECT_EQ(Column(again.get(), 8), (std::vector<std::string>{"", "127.0.0.1", "127.0.0.1", "127.0.0.1",
                                                                "127.0.0.1", "127.0.0.1"}));
    EXPECT_EQ(Column(again.get(), 9), (std::vector<std::string>{"25", "25", "587", "465", "25", "25"}));
    EXPECT_EQ(Column(again.get(), 12), (std::vector<std::string>{"", "*", "", "", "", ""}));
}

TEST_F(MailConnectionFileTest, AHandWrittenFileIsLeftByteForByteUntilTheListChanges) {
    const std::string handWritten =
        "' SMTP listeners\r\n"
        "127.0.0.1 8025-/srv/tls/mail+cert.pem\t/srv/tls/mail.key=,mail.example 25,main\r\n"
        "\r\n"
        "\"old one\r\n"
        "127.0.0.1  8026=,backup.example 25+,backup\r\n"
        "127.0.0.1 8027=,x 25,long-" + std::string(3000, 'n') + "\r\n";
    testsupport::WriteFile(dataFolder() + "smtp.ini", handWritten);
    auto page = Open<Csmtpdlg>();
    // The "+" in the STARTTLS row's path stays in the path.
    EXPECT_EQ(Column(page.get(), 3), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(Column(page.get(), 4), (std::vector<std::string>{"*", "", ""}));
    EXPECT_EQ(Column(page.get(), 2), (std::vector<std::string>{"8025", " 8026", "8027"}));
    EXPECT_EQ(Column(page.get(), 5)[0], "/srv/tls/mail+cert.pem");
    EXPECT_EQ(Column(page.get(), 0)[2].size(), 3005u);  // read whole, one row

    ASSERT_TRUE(page->SaveSettings());
    EXPECT_EQ(File("smtp.ini"), handWritten);
    EXPECT_FALSE(std::filesystem::exists(dataFolder() + "smtp-old.ini"));

    // Once a row goes, the file is written from the list and the previous
    // copy keeps what it was.
    page->list()->topLevelItem(2)->setSelected(true);
    page->DeleteSelectedEntry();
    ASSERT_TRUE(page->SaveSettings());
    EXPECT_EQ(File("smtp.ini"),
              "127.0.0.1 8025-/srv/tls/mail+cert.pem\t/srv/tls/mail.key=,mail.example 25,main\r\n"
              "127.0.0.1  8026=,backup.example 25+,backup\r\n");
    EXPECT_EQ(File("smtp-old.ini"), handWritten);
    std::string certificate, key;
    EXPECT_EQ(engine::Query_SecureSocketLayer(dataFolder() + "smtp.ini", "127.0.0.1", 8025, certificate, key), 0);
    EXPECT_EQ(certificate, "/srv/tls/mail+cert.pem");
    EXPECT_EQ(key, "/srv/tls/mail.key");
}

TEST_F(MailConnectionFileTest, TheDefaultPop3EntryAndAnEmptyListHaveTheirShapes) {
    testsupport::WriteFile(dataFolder() + "pop3.ini", "' nothing yet\r\n");
    auto page = Open<Cpop3dlg>();
    paneltest::BoxAnswerer boxes;
    QTest::mouseClick(Control<ColorButton>(page.get(), kAddEntryButton), Qt::LeftButton);
    ASSERT_TRUE(page->SaveSettings());
    const std::string line = platform::Utf8ToCp932("127.0.0.1 8110=,xxx.xxxx.xxx.xxx 110,接続先名称\r\n");
    EXPECT_EQ(File("pop3.ini"), line);
    page->list()->selectAll();
    page->DeleteSelectedEntry();
    ASSERT_TRUE(page->SaveSettings());
    EXPECT_EQ(File("pop3.ini"), "");
    EXPECT_EQ(File("pop3-old.ini"), line);
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(MailConnectionFileTest, InTheSettingsWindowTheDeleteCommandAndApplyReachTheShownList) {
    for (const char* program : {"orqsprx", "orqpprx"}) testsupport::WriteFile(programFolder() + "/" + program, "");
    ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, kProductSettingsKey), 0);
    testsupport::WriteFile(dataFolder() + "smtp.ini", "127.0.0.1 8025=,a 25,a\r\n127.0.0.1 8026=,b 25,b\r\n");
    testsupport::WriteFile(dataFolder() + "pop3.ini", "' comment\r\n127.0.0.1 8110=,c 110,c\r\n");
    RegisterMailPages();
    SettingsWindow window;
    window.fromTray = true;
    window.OnInitDialog();
    auto* smtp = dynamic_cast<Csmtpdlg*>(window.Page(kCsmtpdlg));
    ASSERT_NE(smtp, nullptr);
    for (int i = 0; i < window.Tree()->topLevelItemCount(); ++i) {
        QTreeWidgetItem* section = window.Tree()->topLevelItem(i);
        for (int j = 0; j < section->childCount(); ++j)
            if (section->child(j)->data(0, Qt::UserRole).toInt() == kCsmtpdlg)
                window.Tree()->setCurrentItem(section->child(j));
    }
    ASSERT_EQ(window.ShownPage(), smtp);
    smtp->list()->topLevelItem(0)->setSelected(true);
    emit smtp->DeleteEntryCommand();  // the delete command of the list's menu
    paneltest::BoxAnswerer boxes;
    window.OnApply();
    EXPECT_EQ(boxes.texts, std::vector<std::string>{"適用しました。"});
    EXPECT_EQ(File("smtp.ini"), "127.0.0.1 8026=,b 25,b\r\n");
    EXPECT_EQ(File("pop3.ini"), "' comment\r\n127.0.0.1 8110=,c 110,c\r\n");  // unchanged, left alone
}

}  // namespace
