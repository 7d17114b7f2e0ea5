// The entry fields of the connection-list pages: their checks, the rules
// that keep TLS, STARTTLS and the tunnel consistent, filling from a row,
// the file pickers, sorting and deleting.
#include <gtest/gtest.h>

#include <QHeaderView>

#include "mail_list_support.h"

namespace {

using namespace panel;
using mailtest::Entry;

class MailConnectionPageTest : public mailtest::MailListTest {};

const std::string kPortRange = "1 から 65535 までの整数を入力してください。";

TEST_F(MailConnectionPageTest, PortsOutsideWhatTheEngineListensOnAreRefusedOnBothPages) {
    struct Case {
        bool smtp;
        bool listen;  // else the destination port
        const char* typed;
        std::string message;  // empty: added
        const char* shown;    // the port cell of the row added
    };
    const Case cases[] = {
        {true, true, "70000", kPortRange, ""},
        {true, true, "0", kPortRange, ""},
        {false, false, "0", kPortRange, ""},
        {true, true, "-1", kPortRange, ""},
        {false, true, "70000", kPortRange, ""},
        {false, true, "-1", kPortRange, ""},
        {false, false, "70000", kPortRange, ""},
        {true, false, "x25", "正の整数を入力してください。", ""},
        {false, true, "", "正の整数を入力してください。", ""},
        {true, true, " 25abc", "", "25"},
        {false, false, "65535", "", "65535"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.smtp ? "smtp " : "pop3 ") + (c.listen ? "listen " : "destination ") + c.typed);
        std::unique_ptr<MailConnectionPage> page;
        if (c.smtp)
            page = Open<Csmtpdlg>();
        else
            page = Open<Cpop3dlg>();
        Entry entry;
        (c.listen ? entry.listenPort : entry.hostPort) = c.typed;
        auto texts = Add(page.get(), entry);
        if (c.message.empty()) {
            EXPECT_TRUE(texts.empty());
            ASSERT_EQ(page->list()->topLevelItemCount(), 1);
            EXPECT_EQ(Column(page.get(), c.listen ? 2 : 9)[0], c.shown);
        } else {
            ASSERT_FALSE(texts.empty());
            EXPECT_EQ(texts[0], c.message);
            EXPECT_EQ(page->list()->topLevelItemCount(), 0);
            const auto& ids = IdsOf(page.get());
            EXPECT_EQ(Edit(page.get(), c.listen ? ids.listenPort : ids.hostPort)->selectedText(),
                      Edit(page.get(), c.listen ? ids.listenPort : ids.hostPort)->text());
        }
    }
}

TEST_F(MailConnectionPageTest, ValuesTheFileWouldReadBackOtherwiseAreRefusedAtAdd) {
    struct Case {
        const char* what;
        Entry entry;
        std::string message;
    };
    const std::string certMessage = "「証明書」には、'='、タブ、改行を含まない 260 文字までのパスを指定してください。";
    auto with = [](auto change) {
        Entry e;
        e.clientStartTls = true;
        e.certificate = "/srv/cert.pem";
        e.key = "/srv/key.pem";
        change(e);
        return e;
    };
    const Case cases[] = {
        {"= in certificate", with([](Entry& e) { e.certificate = "/srv/a=b.pem"; }), certMessage},
        {"TAB in certificate", with([](Entry& e) { e.certificate = "/srv/a\tb.pem"; }), certMessage},
        {"long key", with([](Entry& e) { e.key = "/" + std::string(260, 'k'); }),
         "「秘密鍵」には、'='、タブ、改行を含まない 260 文字までのパスを指定してください。"},
        {"blank in host", with([](Entry& e) { e.host = "mail example"; }),
         "「接続先」の値は接続情報に書くと別の値として読まれるため登録できません。"},
        {"comma in host", with([](Entry& e) { e.host = "mail,example"; }),
         "「接続先」の値は接続情報に書くと別の値として読まれるため登録できません。"},
        {"quote before listen IP", with([](Entry& e) { e.listenIp = "'127.0.0.1"; }),
         "「受信IP」の値は接続情報に書くと別の値として読まれるため登録できません。"},
        {"blank before listen IP", with([](Entry& e) { e.listenIp = " 127.0.0.1"; }),
         "「受信IP」の値は接続情報に書くと別の値として読まれるため登録できません。"},
        {"comma in connect-from IP", with([](Entry& e) { e.sendIp = "127.0.0.1,2"; }),
         "「接続時IP」の値は接続情報に書くと別の値として読まれるため登録できません。"},
        {"path the file's code page lacks", with([](Entry& e) { e.key = "/srv/\xF0\x9F\x94\x91.pem"; }),
         "「秘密鍵」には、'='、タブ、改行を含まない 260 文字までのパスを指定してください。"},
        {"a line the engine would cut before the name", with([](Entry& e) { e.host = std::string(1000, 'h'); }),
         "「接続先」の値は接続情報に書くと別の値として読まれるため登録できません。"},
        {"full-width listen IP", with([](Entry& e) { e.listenIp = "１２７．０．０．１"; }),
         "「受信IP」には IPv4 アドレス、IPv6 アドレスまたはホスト名を半角で入力してください。"},
        {"full-width host", with([](Entry& e) { e.host = "ｍａｉｌ.example.jp"; }),
         "「接続先」には IPv4 アドレス、IPv6 アドレスまたはホスト名を半角で入力してください。"},
        {"connect-from IP with a slash", with([](Entry& e) { e.sendIp = "10.0.0.0/8"; }),
         "「接続時IP」には IPv4 アドレス、IPv6 アドレスまたはホスト名を半角で入力してください。"},
        {"IPv6 listen IP and a host name with a hyphen",
         with([](Entry& e) {
             e.clientStartTls = false;
             e.certificate = e.key = "";
             e.listenIp = "::1";
             e.host = "mail-1.example.jp";
         }),
         ""},
        {"a long name, which only the log shows", with([](Entry& e) { e.name = std::string(3000, 'n'); }), ""},
        {"260 characters, a blank, a + and Japanese letters",
         with([](Entry& e) { e.certificate = "/srv/証明書 a+b" + std::string(260 - 24, 'c'); }), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto page = Open<Csmtpdlg>();
        auto texts = Add(page.get(), c.entry);
        if (c.message.empty()) {
            EXPECT_TRUE(texts.empty());
            EXPECT_EQ(page->list()->topLevelItemCount(), 1);
        } else {
            EXPECT_EQ(texts, std::vector<std::string>{c.message});
            EXPECT_EQ(page->list()->topLevelItemCount(), 0);
        }
    }
}

TEST_F(MailConnectionPageTest, TheSameListenerTwiceIsRefusedAndTheFieldsStay) {
    auto page = Open<Cpop3dlg>();
    paneltest::BoxAnswerer boxes;
    auto* add = Control<ColorButton>(page.get(), kAddEntryButton);
    QTest::mouseClick(add, Qt::LeftButton);
    QTest::mouseClick(add, Qt::LeftButton);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0],
              "同一の’リッスンＩＰ＆ポート'の組合せが既に登録されています。\r\n"
              "追加を行う場合は、登録済みの設定から削除を行う必要があります。");
    EXPECT_EQ(page->list()->topLevelItemCount(), 1);
    EXPECT_EQ(Edit(page.get(), mailtest::kPop3Ids.listenPort)->text(), "8110");
    // The IP test is exact text, the port test numeric.
    Edit(page.get(), mailtest::kPop3Ids.listenIp)->setText("127.000.0.1");
    QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_EQ(page->list()->topLevelItemCount(), 2);
    Edit(page.get(), mailtest::kPop3Ids.listenPort)->setText("08110");
    QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_EQ(boxes.texts.size(), 2u);
}

TEST_F(MailConnectionPageTest, BoxesKeepOneChoiceASideAndTheTunnelExcludesThemAll) {
    auto page = Open<Csmtpdlg>();
    const auto& ids = mailtest::kSmtpIds;
    auto enabled = [&](int id) { return FindControl(page.get(), id)->isEnabled(); };
    // At start the certificate controls are off and empty.
    for (int id : {kMailCertificateEdit, kMailCertificateBrowse, kMailKeyEdit, kMailKeyBrowse})
        EXPECT_FALSE(enabled(id)) << id;
    EXPECT_TRUE(enabled(ids.listenIp));
    EXPECT_TRUE(FindControl(page.get(), ids.sendIp)->isVisibleTo(page.get()));

    QTest::mouseClick(Box(page.get(), ids.clientTls), Qt::LeftButton);
    for (int id : {kMailCertificateEdit, kMailCertificateBrowse, kMailKeyEdit, kMailKeyBrowse})
        EXPECT_TRUE(enabled(id)) << id;
    EXPECT_FALSE(enabled(ids.clientStartTls));
    EXPECT_FALSE(enabled(kMailTunnelCheck));
    Edit(page.get(), kMailCertificateEdit)->setText("/srv/cert.pem");
    Edit(page.get(), kMailKeyEdit)->setText("/srv/key.pem");
    QTest::mouseClick(Box(page.get(), ids.clientTls), Qt::LeftButton);  // off again: paths emptied
    EXPECT_EQ(Edit(page.get(), kMailCertificateEdit)->text(), "");
    EXPECT_EQ(Edit(page.get(), kMailKeyEdit)->text(), "");
    EXPECT_FALSE(enabled(kMailCertificateEdit));
    EXPECT_TRUE(enabled(kMailTunnelCheck));

    QTest::mouseClick(Box(page.get(), ids.serverStartTls), Qt::LeftButton);
    EXPECT_FALSE(enabled(ids.serverTls));
    EXPECT_FALSE(enabled(kMailTunnelCheck));
    QTest::mouseClick(Box(page.get(), ids.serverStartTls), Qt::LeftButton);
    QTest::mouseClick(Box(page.get(), kMailTunnelCheck), Qt::LeftButton);
    for (int id :
         {ids.clientTls, ids.clientStartTls, ids.serverTls, ids.serverStartTls, kMailCertificateLabel, kMailKeyLabel})
        EXPECT_FALSE(enabled(id)) << id;

    // IPv6 addresses take no encryption on their side.
    QTest::mouseClick(Box(page.get(), kMailTunnelCheck), Qt::LeftButton);
    Edit(page.get(), ids.listenIp)->setText("::1");
    paneltest::BoxAnswerer boxes;
    QTest::mouseClick(Box(page.get(), ids.clientStartTls), Qt::LeftButton);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{"IPv6アドレスの暗号化は設定できません。"});
    EXPECT_FALSE(Box(page.get(), ids.clientStartTls)->isChecked());
    Edit(page.get(), ids.host)->setText("fe80::1");
    QTest::mouseClick(Box(page.get(), ids.serverTls), Qt::LeftButton);
    EXPECT_FALSE(Box(page.get(), ids.serverTls)->isChecked());
    EXPECT_EQ(boxes.texts.size(), 2u);
}

TEST_F(MailConnectionPageTest, ARowFillsTheFieldsOnClickAndArrowKeys) {
    testsupport::WriteFile(dataFolder() + "smtp.ini",
                           "127.0.0.1 8025-/srv/c.pem\t/srv/k.pem=,a.example 25,first\r\n"
                           "127.0.0.1 8026=10.0.0.1,b.example 587-,second\r\n");
    auto page = Open<Csmtpdlg>();
    const auto& ids = mailtest::kSmtpIds;
    window_.resize(900, 700);
    page->setGeometry(0, 0, 900, 700);
    page->show();
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    QTreeWidget* list = page->list();
    list->setFocus();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    EXPECT_EQ(Edit(page.get(), ids.name)->text(), "first");
    EXPECT_TRUE(Box(page.get(), ids.clientStartTls)->isChecked());
    EXPECT_EQ(Edit(page.get(), kMailCertificateEdit)->text(), "/srv/c.pem");  // STARTTLS keeps the paths
    EXPECT_TRUE(FindControl(page.get(), kMailCertificateEdit)->isEnabled());
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(Edit(page.get(), ids.name)->text(), "second");
    EXPECT_EQ(Edit(page.get(), ids.sendIp)->text(), "10.0.0.1");
    EXPECT_EQ(Edit(page.get(), ids.hostPort)->text(), "587");
    EXPECT_TRUE(Box(page.get(), ids.serverStartTls)->isChecked());
    EXPECT_EQ(Edit(page.get(), kMailCertificateEdit)->text(), "");  // no client flag: paths emptied
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Up);  // the top row itself
    EXPECT_EQ(Edit(page.get(), ids.name)->text(), "first");

    // Delete removes the selected rows; the fields keep what they show.
    list->topLevelItem(0)->setSelected(true);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(Column(page.get(), 0), std::vector<std::string>{"second"});
    EXPECT_EQ(Edit(page.get(), ids.name)->text(), "first");
}

TEST_F(MailConnectionPageTest, PickedFilesFillTheirFieldsUnlessTheFileCannotCarryThem) {
    auto page = Open<Cpop3dlg>();
    QTest::mouseClick(Box(page.get(), mailtest::kPop3Ids.clientTls), Qt::LeftButton);
    std::vector<std::string> titles;
    QString chosen;
    page->runFilePicker = [&](const QString& title) {
        titles.push_back(title.toStdString());
        return chosen;
    };
    chosen = "/srv/tls/cert.pem";
    QTest::mouseClick(Control<ColorButton>(page.get(), kMailCertificateBrowse), Qt::LeftButton);
    chosen = "/srv/tls/key.pem";
    QTest::mouseClick(Control<ColorButton>(page.get(), kMailKeyBrowse), Qt::LeftButton);
    chosen = "";  // cancelled
    QTest::mouseClick(Control<ColorButton>(page.get(), kMailKeyBrowse), Qt::LeftButton);
    paneltest::BoxAnswerer boxes;
    chosen = "/srv/tls/a=b.pem";
    QTest::mouseClick(Control<ColorButton>(page.get(), kMailCertificateBrowse), Qt::LeftButton);
    EXPECT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(titles, (std::vector<std::string>{"証明書", "秘密鍵", "秘密鍵", "証明書"}));
    EXPECT_EQ(Edit(page.get(), kMailCertificateEdit)->text(), "/srv/tls/cert.pem");
    EXPECT_EQ(Edit(page.get(), kMailKeyEdit)->text(), "/srv/tls/key.pem");
}

TEST_F(MailConnectionPageTest, HeaderClicksSortDescendingFirstAndEachPageClassKeepsItsDirections) {
    testsupport::WriteFile(dataFolder() + "smtp.ini",
                           "127.0.0.1 8026=,b 25,B\r\n127.0.0.1 8025=,a 25,a\r\n127.0.0.1 8027=,c 25,C\r\n");
    testsupport::WriteFile(dataFolder() + "pop3.ini", "127.0.0.1 8110=,b 110,B\r\n127.0.0.1 8111=,a 110,a\r\n");
    auto smtp = Open<Csmtpdlg>();
    auto header = [](MailConnectionPage* page) { return page->list()->header(); };
    emit header(smtp.get())->sectionClicked(0);
    EXPECT_EQ(Column(smtp.get(), 0), (std::vector<std::string>{"a", "C", "B"}));  // code units: 'a' > 'C'
    smtp = Open<Csmtpdlg>();  // a new page of the class goes on with its directions
    emit header(smtp.get())->sectionClicked(0);
    EXPECT_EQ(Column(smtp.get(), 0), (std::vector<std::string>{"B", "C", "a"}));
    auto pop3 = Open<Cpop3dlg>();
    emit header(pop3.get())->sectionClicked(0);
    EXPECT_EQ(Column(pop3.get(), 0), (std::vector<std::string>{"a", "B"}));
    ASSERT_TRUE(pop3->SaveSettings());
    EXPECT_EQ(File("pop3.ini"), "127.0.0.1 8111=,a 110,a\r\n127.0.0.1 8110=,b 110,B\r\n");
}

}  // namespace
