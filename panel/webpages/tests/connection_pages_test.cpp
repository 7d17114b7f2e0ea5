// The connection-list pages driven as an administrator would, their files
// read back by the engine's own reader.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "common/connect_table.h"
#include "panel/framework/look.h"
#include "panel/webpages/connection_pages.h"
#include "qt_test_support.h"
#include "web_page_test.h"

namespace {

using namespace panel;

// "接続先名称" as the file holds it.
const std::string kDefaultName = "\x90\xda\x91\xb1\x90\xe6\x96\xbc\x8f\xcc";

class ConnectionPagesTest : public webtest::WebPageTest {
protected:
    static QString Text(QWidget* page, int id) { return Control<QLineEdit>(page, id)->text(); }
    static void Add(QWidget* page) { Control<QPushButton>(page, kAddEntryButton)->click(); }
    static std::vector<QStringList> Rows(ConnectionListPage& page) {
        std::vector<QStringList> rows;
        QTreeWidget* list = page.List();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QStringList row;
            for (int c = 0; c < list->columnCount(); ++c) row << list->topLevelItem(i)->text(c);
            rows.push_back(row);
        }
        return rows;
    }
    bool Exists(const std::string& name) { return testsupport::FileExists(dataFolder() + name); }
    void Write(const std::string& name, const std::string& bytes) { testsupport::WriteFile(dataFolder() + name, bytes); }
};

TEST_F(ConnectionPagesTest, HttpFileLoadsFieldsKeepsMarksAndPortsOfLinesWithoutValue) {
    Write("http.ini",
          "'upstream proxies\r\n"
          "127.0.0.1 8080=,10.0.0.5 3128,office\r\n"
          "127.0.0.1 8081=,10.0.0.6 3128*,tunnel, 2F\r\n"
          "127.0.0.1 8082\r\n");
    auto page = Open<Chttp1dlg>();
    EXPECT_EQ(page->windowTitle(), QString::fromUtf8("VELQOR Server HTTP接続情報設定"));
    auto rows = Rows(*page);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (QStringList{"office", "127.0.0.1", "8080", "", "10.0.0.5", "3128"}));
    EXPECT_EQ(rows[1], (QStringList{"tunnel, 2F", "127.0.0.1", "8081", "", "10.0.0.6", "3128"}));
    EXPECT_EQ(rows[2], (QStringList{"", "127.0.0.1", "8082", "", "", ""}));

    // A new row goes to the top; the others keep their marks and order, the
    // line without "=" its port, and the file before the save is the
    // previous copy.
    std::string before = File("http.ini");
    Type(page.get(), kHttpListenPortEdit, "9000");
    Add(page.get());
    ASSERT_TRUE(page->SaveSettings());
    EXPECT_EQ(File("http.ini"), "127.0.0.1 9000=, ," + kDefaultName +
                                    "\r\n"
                                    "127.0.0.1 8080=,10.0.0.5 3128,office\r\n"
                                    "127.0.0.1 8081=,10.0.0.6 3128*,tunnel, 2F\r\n"
                                    "127.0.0.1 8082=, ,\r\n");
    EXPECT_EQ(File("http-old.ini"), before);
    auto line = common::GetConnectTable(dataFolder() + "http.ini", "127.0.0.1", 9000, nullptr);
    ASSERT_TRUE(line.entry);
    EXPECT_EQ(line.entry->server, "");
    EXPECT_EQ(line.entry->name, kDefaultName);
}

// Apply rewrites only a list that changed: a hand-written file keeps its
// comments and bytes, and its previous copy is not made.
TEST_F(ConnectionPagesTest, UnchangedListsLeaveTheirFilesAloneAndAddedRowsKeepTheOthers) {
    const std::string socks =
        "' SOCKS listeners\r\n"
        "127.0.0.1 1080=, ,first\r\n"
        "\"second is for the lab\r\n"
        "127.0.0.1 1081=10.0.0.1, ,second\r\n"
        "127.0.0.1 1082=,hidden.example 99,third\r\n";
    const std::string ftp = "127.0.0.1 8021=,ftp.example.jp 21*,FTP\r\n";
    Write("socks.ini", socks);
    Write("ftp.ini", ftp);
    auto socksPage = Open<Csocksdlg>();
    auto ftpPage = Open<Cftpdlg>();
    auto rows = Rows(*socksPage);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (QStringList{"first", "127.0.0.1", "1080", ""}));
    EXPECT_EQ(rows[2], (QStringList{"third", "127.0.0.1", "1082", ""}));
    EXPECT_EQ(Rows(*ftpPage)[0], (QStringList{"FTP", "127.0.0.1", "8021", "", "ftp.example.jp", "21"}));

    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(socksPage->SaveSettings());
        ASSERT_TRUE(ftpPage->SaveSettings());
    }
    EXPECT_EQ(File("socks.ini"), socks);
    EXPECT_EQ(File("ftp.ini"), ftp);
    EXPECT_FALSE(Exists("socks-old.ini"));
    EXPECT_FALSE(Exists("ftp-old.ini"));

    Type(socksPage.get(), kSocksNameEdit, "new");
    Type(socksPage.get(), kSocksListenPortEdit, "1090");
    Add(socksPage.get());
    Type(ftpPage.get(), kFtpListenPortEdit, "8022");
    Add(ftpPage.get());
    ASSERT_TRUE(socksPage->SaveSettings());
    ASSERT_TRUE(ftpPage->SaveSettings());
    EXPECT_EQ(File("socks.ini"),
              "127.0.0.1 1090=, ,new\r\n"
              "127.0.0.1 1080=, ,first\r\n"
              "127.0.0.1 1081=10.0.0.1, ,second\r\n"
              "127.0.0.1 1082=,hidden.example 99,third\r\n");
    EXPECT_EQ(File("ftp.ini"), "127.0.0.1 8022=,xxx.xxxx.xxx.xxx 21," + kDefaultName + "\r\n" + ftp);
    EXPECT_EQ(File("socks-old.ini"), socks);
    EXPECT_EQ(File("ftp-old.ini"), ftp);

    // Removing every row leaves an empty file.
    socksPage->List()->selectAll();
    socksPage->DeleteSelectedEntry();
    ASSERT_TRUE(socksPage->SaveSettings());
    EXPECT_EQ(File("socks.ini"), "");
}

TEST_F(ConnectionPagesTest, AddRefusesDuplicatesAndRowsThatWouldReadBackDifferently) {
    auto page = Open<Chttp1dlg>();
    // The upstream port follows the upstream proxy edit as it is typed.
    EXPECT_FALSE(Control<QLineEdit>(page.get(), kHttpUpstreamPortEdit)->isEnabled());
    Type(page.get(), kHttpUpstreamEdit, "proxy");
    EXPECT_TRUE(Control<QLineEdit>(page.get(), kHttpUpstreamPortEdit)->isEnabled());
    Type(page.get(), kHttpUpstreamEdit, "");
    EXPECT_FALSE(Control<QLineEdit>(page.get(), kHttpUpstreamPortEdit)->isEnabled());
    paneltest::BoxAnswerer boxes;
    Add(page.get());
    ASSERT_EQ(Rows(*page).size(), 1u);
    Add(page.get());
    Type(page.get(), kHttpListenIpEdit, "127.0.0.01");
    Add(page.get());
    Type(page.get(), kHttpListenIpEdit, "127.0.0.1");
    Type(page.get(), kHttpListenPortEdit, "8081");
    Add(page.get());
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], "同一の’リッスンＩＰ＆ポート'の組合せが既に登録されています。\r\n"
                              "追加を行う場合は、登録済みの設定から削除を行う必要があります。");
    EXPECT_EQ(Rows(*page).size(), 3u);

    struct Case {
        int id;
        const char* text;
        const char* field;
    } cases[] = {
        {kHttpListenIpEdit, " 127.0.0.1", "受信IP"},
        {kHttpListenIpEdit, "'127.0.0.1", "受信IP"},
        {kHttpListenIpEdit, "", "受信IP"},
        {kHttpListenPortEdit, "70000", "受信ポート"},
        {kHttpListenPortEdit, "0", "受信ポート"},
        {kHttpUpstreamPortEdit, "0", "上位プロキシポート"},
        {kHttpListenIpEdit, "１２７．０．０．１", "受信IP"},
        {kHttpUpstreamEdit, "ｐｒｏｘｙ", "上位プロキシIP"},
        {kHttpSendIpEdit, "10.0.0.1/8", "送信時IP"},
        {kHttpUpstreamEdit, "proxy host", "上位プロキシIP"},
        {kHttpUpstreamEdit, "proxy,host", "上位プロキシIP"},
        {kHttpUpstreamPortEdit, "65536", "上位プロキシポート"},
        {kHttpSendIpEdit, "10.0.0.1,", "送信時IP"},
        {kHttpNameEdit, "名前\u2600", "接続先名称"},  // no such character in the file's code page
    };
    for (const Case& c : cases) {
        Type(page.get(), kHttpNameEdit, "n");
        Type(page.get(), kHttpListenIpEdit, "127.0.0.1");
        Type(page.get(), kHttpListenPortEdit, "9999");
        Type(page.get(), kHttpUpstreamEdit, "proxy");
        Type(page.get(), kHttpUpstreamPortEdit, "3128");
        Type(page.get(), kHttpSendIpEdit, "");
        Type(page.get(), c.id, c.text);
        boxes.texts.clear();
        Add(page.get());
        ASSERT_EQ(boxes.texts.size(), 1u) << c.text;
        EXPECT_NE(boxes.texts[0].find(std::string("「") + c.field + "」"), std::string::npos) << boxes.texts[0];
        EXPECT_EQ(Rows(*page).size(), 3u) << c.text;
    }
    // A name may hold commas and blanks; a port that is not a number gets
    // the framework's message and 0.
    Type(page.get(), kHttpNameEdit, "Office, 2F east");
    Type(page.get(), kHttpListenPortEdit, "9999");
    Type(page.get(), kHttpSendIpEdit, "");
    boxes.texts.clear();
    Add(page.get());
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_EQ(Rows(*page)[0], (QStringList{"Office, 2F east", "127.0.0.1", "9999", "", "proxy", "3128"}));

    // The SOCKS page takes no port beyond 65535 either.
    auto socks = Open<Csocksdlg>();
    Type(socks.get(), kSocksListenPortEdit, "70000");
    boxes.texts.clear();
    Add(socks.get());
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_TRUE(Rows(*socks).empty());
}

TEST_F(ConnectionPagesTest, SortClicksKeysAndTheDeleteCommand) {
    Write("ftp.ini",
          "127.0.0.1 821=,a.example 21,A\r\n"
          "127.0.0.1 8021=,b.example 21,B\r\n"
          "127.0.0.1 9=,c.example 21,C\r\n");
    auto page = Open<Cftpdlg>();
    auto names = [&] {
        QString order;
        for (const QStringList& row : Rows(*page)) order += row[0];
        return order;
    };
    // Texts, not numbers: "8021" < "821" < "9". The direction alternates
    // (it is kept per page class across pages, so the first click's
    // direction depends on earlier clicks).
    window_.resize(800, 600);
    page->setGeometry(0, 0, 800, 600);
    page->show();
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    QHeaderView* header = page->List()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(2) + 5, 5));
    QString first = names();
    page->SortByColumn(2);
    QString second = names();
    EXPECT_TRUE((first == "CAB" && second == "BAC") || (first == "BAC" && second == "CAB")) << first.toStdString();

    // A sort keeps the selected row selected.
    page->List()->clearSelection();
    page->List()->topLevelItem(1)->setSelected(true);
    QString selectedName = page->List()->topLevelItem(1)->text(0);
    page->SortByColumn(2);
    ASSERT_EQ(page->List()->selectedItems().size(), 1);
    EXPECT_EQ(page->List()->selectedItems()[0]->text(0), selectedName);
    page->List()->clearSelection();

    // With "BAC": a click on B fills the fields, Down shows A, Delete
    // removes the selected row.
    if (names() != "BAC") page->SortByColumn(2);
    ASSERT_EQ(names(), "BAC");
    QTreeWidget* list = page->List();
    list->setFocus();
    QRect first_row = list->visualItemRect(list->topLevelItem(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first_row.center());
    EXPECT_EQ(Text(page.get(), kFtpNameEdit), "B");
    EXPECT_EQ(Text(page.get(), kFtpListenPortEdit), "8021");
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(Text(page.get(), kFtpNameEdit), "A");
    EXPECT_EQ(Text(page.get(), kFtpServerEdit), "a.example");
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(names(), "BC");

    // The delete command of menu 155 reaches the window; the window calls
    // DeleteSelectedEntry.
    list->topLevelItem(0)->setSelected(true);
    page->DeleteSelectedEntry();
    EXPECT_EQ(names(), "C");
    list->clearSelection();
    list->setCurrentItem(nullptr);
    page->List()->clear();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Text(page.get(), kFtpNameEdit), "");
    EXPECT_EQ(Text(page.get(), kFtpListenPortEdit), "0");
    EXPECT_EQ(Text(page.get(), kFtpServerPortEdit), "0");
}

// Rows of the FTP and SOCKS pages come back field by field from the
// engine's lookup, also with an empty host and names with blanks and
// commas.
TEST_F(ConnectionPagesTest, FtpAndSocksRowsComeBackFromTheEnginesLookup) {
    auto ftp = Open<Cftpdlg>();
    auto socks = Open<Csocksdlg>();
    struct FtpRow {
        const char* name;
        const char* ip;
        const char* port;
        const char* publicIp;
        const char* host;
        const char* hostPort;
    } ftpRows[] = {
        {"FTP, main", "127.0.0.1", "2121", "203.0.113.5", "ftp.example.jp", "21"},
        {"no host", "127.0.0.1", "2122", "", "", "21"},
        {"", "::1", "2123", "", "10.0.0.9", "2021"},
    };
    for (const FtpRow& r : ftpRows) {
        Type(ftp.get(), kFtpNameEdit, r.name);
        Type(ftp.get(), kFtpListenIpEdit, r.ip);
        Type(ftp.get(), kFtpListenPortEdit, r.port);
        Type(ftp.get(), kFtpPublicIpEdit, r.publicIp);
        Type(ftp.get(), kFtpServerEdit, r.host);
        Type(ftp.get(), kFtpServerPortEdit, r.hostPort);
        Add(ftp.get());
    }
    Type(socks.get(), kSocksNameEdit, "lab ,east");
    Type(socks.get(), kSocksListenPortEdit, "1081");
    Type(socks.get(), kSocksSendIpEdit, "10.0.0.1");
    Add(socks.get());
    ASSERT_TRUE(ftp->SaveSettings());
    ASSERT_TRUE(socks->SaveSettings());
    for (const FtpRow& r : ftpRows) {
        auto hit = common::GetConnectTable(dataFolder() + "ftp.ini", r.ip, std::stoi(r.port), nullptr);
        ASSERT_TRUE(hit.entry) << r.port;
        EXPECT_EQ(hit.entry->name, r.name);
        EXPECT_EQ(hit.entry->sendAddress, r.publicIp);
        EXPECT_EQ(hit.entry->server, r.host);
        EXPECT_EQ(hit.entry->serverPort, std::string(r.host).empty() ? "" : r.hostPort);
    }
    auto hit = common::GetConnectTable(dataFolder() + "socks.ini", "127.0.0.1", 1081, nullptr);
    ASSERT_TRUE(hit.entry);
    EXPECT_EQ(hit.entry->name, "lab ,east");
    EXPECT_EQ(hit.entry->sendAddress, "10.0.0.1");
    EXPECT_EQ(hit.entry->server, "");
}

}  // namespace
