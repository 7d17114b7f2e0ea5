// The web proxy pages in the real settings window: registered in their
// slots, saved by Apply in the window's order (and not at all while a page
// refuses its input), the delete command of menu 155 reaching the
// connection list that is shown, Add on the connection pages, and how the
// pages read.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel/framework/settings_window.h"
#include "panel/mailpages/mail_archive_page.h"
#include "panel/mailpages/mail_filter_pages.h"
#include "panel/mailpages/mail_pages.h"
#include "panel/mailpages/notify_mail_page.h"
#include "panel/webpages/auth_pages.h"
#include "panel/webpages/connection_pages.h"
#include "panel/webpages/http_detail_page.h"
#include "panel/webpages/ldap_settings_page.h"
#include "panel/webpages/option_pages.h"
#include "panel/webpages/web_pages.h"
#include "qt_test_support.h"
#include "web_page_test.h"

namespace {

using namespace panel;

class WebWindowTest : public webtest::WebPageTest {
protected:
    void SetUp() override {
        WebPageTest::SetUp();
        for (const char* program : {"orqhprx", "orqfprx", "orqcprx"})
            testsupport::WriteFile(programFolder() + "/" + program, "");
        RegisterWebPages();
    }
    // The tree item of a page.
    static QTreeWidgetItem* ItemOf(SettingsWindow& window, PageSlot slot) {
        for (QTreeWidgetItemIterator it(window.Tree()); *it; ++it)
            if ((*it)->data(0, Qt::UserRole).toInt() == slot) return *it;
        return nullptr;
    }
};

TEST_F(WebWindowTest, ApplySavesEveryPageAndTheDeleteCommandReachesTheShownList) {
    const std::string http = "' kept as it is\r\n127.0.0.1 8080=, ,office\r\n";
    testsupport::WriteFile(dataFolder() + "http.ini", http);
    testsupport::WriteFile(dataFolder() + "socks.ini", "127.0.0.1 1080=, ,a\r\n127.0.0.1 1081=, ,b\r\n");
    SettingsWindow window;
    window.OnInitDialog();
    EXPECT_NE(dynamic_cast<Chttp1dlg*>(window.Page(kChttp1dlg)), nullptr);
    EXPECT_NE(dynamic_cast<Cftpdlg*>(window.Page(kCftpdlg)), nullptr);
    EXPECT_NE(dynamic_cast<Chttpdlg*>(window.Page(kChttpdlg)), nullptr);
    EXPECT_NE(dynamic_cast<CHttpSetDlg*>(window.Page(kHttpSetDlg)), nullptr);
    EXPECT_NE(dynamic_cast<Csocksdlg13*>(window.Page(kCsocksdlg13)), nullptr);
    EXPECT_NE(dynamic_cast<Chttpdlg00*>(window.Page(kChttpdlg00)), nullptr);
    auto* socks = dynamic_cast<Csocksdlg*>(window.Page(kCsocksdlg));
    ASSERT_NE(socks, nullptr);
    socks->List()->topLevelItem(0)->setSelected(true);

    // The command while another page is shown does nothing.
    emit socks->DeleteEntryCommand();
    EXPECT_EQ(socks->List()->topLevelItemCount(), 2);
    QTreeWidgetItem* item = ItemOf(window, kCsocksdlg);
    ASSERT_NE(item, nullptr);
    window.Tree()->setCurrentItem(item);
    ASSERT_EQ(window.ShownPage(), socks);
    emit socks->DeleteEntryCommand();
    EXPECT_EQ(socks->List()->topLevelItemCount(), 1);

    EXPECT_EQ(window.SaveAllPages(), SettingsWindow::SaveResult::Saved);
    EXPECT_EQ(testsupport::ReadFile(dataFolder() + "socks.ini"), "127.0.0.1 1081=, ,b\r\n");
    EXPECT_EQ(testsupport::ReadFile(dataFolder() + "http.ini"), http);
    EXPECT_FALSE(testsupport::FileExists(dataFolder() + "http-old.ini"));
    // The values of pages nobody touched are written as read.
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "http", 7), 0u);
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "sockstype", 7), 0u);
}

// On each connection page of the settings window, Add adds nothing while a
// field is refused: a port that is no number, a port outside 1 to 65535,
// an address typed with the input method on. The message names the field
// (the framework's message stands for a port that is no number).
TEST_F(WebWindowTest, AddAddsNoRowWhileAFieldIsRefusedOnEveryConnectionPage) {
    SettingsWindow window;
    window.OnInitDialog();
    window.show();
    struct Page {
        PageSlot slot;
        int name, listenIp, listenPort, address, hostPort;
    } pages[] = {
        {kChttp1dlg, kHttpNameEdit, kHttpListenIpEdit, kHttpListenPortEdit, kHttpSendIpEdit, 0},
        {kCftpdlg, kFtpNameEdit, kFtpListenIpEdit, kFtpListenPortEdit, kFtpPublicIpEdit, kFtpServerPortEdit},
        {kCsocksdlg, kSocksNameEdit, kSocksListenIpEdit, kSocksListenPortEdit, kSocksSendIpEdit, 0},
    };
    for (const Page& p : pages) {
        auto* page = dynamic_cast<ConnectionListPage*>(window.Page(p.slot));
        ASSERT_NE(page, nullptr);
        struct Case {
            int edit;
            const char* typed;
            const char* message;  // the start of the message, or the field it names
        } cases[] = {
            {p.listenPort, "abc", "正の整数を入力してください。"},
            {p.listenPort, "0", "「受信ポート」には 1 から 65535 までの整数を入力してください。"},
            {p.listenPort, "65536", "「受信ポート」には 1 から 65535 までの整数を入力してください。"},
            {p.hostPort, "0", "「接続先ポート」には 1 から 65535 までの整数を入力してください。"},
            {p.listenIp, "１２７．０．０．１", "「受信IP」には"},
            {p.listenIp, "127.0.0.1 ", "「受信IP」"},
            {p.address, "１０．０．０．１", "「"},
        };
        for (const Case& c : cases) {
            if (c.edit == 0) continue;
            SCOPED_TRACE(std::to_string(p.slot) + " " + c.typed);
            Type(page, p.name, "n");
            Type(page, p.listenIp, "127.0.0.2");
            Type(page, p.listenPort, "9001");
            Type(page, p.address, "");
            if (p.hostPort) Type(page, p.hostPort, "21");
            Type(page, c.edit, c.typed);
            paneltest::BoxAnswerer boxes;
            Click(page, kAddEntryButton);
            ASSERT_EQ(boxes.texts.size(), 1u);
            EXPECT_EQ(boxes.texts[0].rfind(c.message, 0), 0u) << boxes.texts[0];
            EXPECT_EQ(page->List()->topLevelItemCount(), 0);
        }
        // The same fields, corrected, add the row.
        Type(page, p.listenIp, "127.0.0.2");
        Type(page, p.listenPort, "9001");
        Type(page, p.address, "");
        if (p.hostPort) Type(page, p.hostPort, "21");
        paneltest::BoxAnswerer boxes;
        Click(page, kAddEntryButton);
        EXPECT_TRUE(boxes.texts.empty());
        EXPECT_EQ(page->List()->topLevelItemCount(), 1);
    }
}

// The colour of a static's text as the page draws it: the pixel that
// differs most from the page colour behind it, and its contrast to it.
double TextContrast(QWidget* control, QColor* text = nullptr) {
    const QImage image = control->grab().toImage();
    const QColor ground = FromColorRef(kPageColor);
    double most = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            const double ratio = ContrastRatio(pixel, ground);
            if (ratio > most) {
                most = ratio;
                if (text) *text = pixel;
            }
        }
    return most;
}

// What a first-time administrator reads on the pages: greyed labels that
// stay legible on the page colour (enabled ones keep their black), the
// mail keeping page's folder field with its label, and a long LDAP filter
// shown from its start.
TEST_F(WebWindowTest, LabelsAndFieldsReadAsTheAdministratorSeesThem) {
    const std::string filter = "(&(objectClass=inetOrgPerson)(memberOf=cn=proxy-users,ou=groups,dc=example,dc=test))";
    testsupport::WriteFile(dataFolder() + "http-ldap.ini", "schemafilter=" + filter + "\r\n");
    testsupport::WriteFile(programFolder() + "/orqsprx", "");
    RegisterMailPages();
    RegisterAuthPages();
    SettingsWindow window;
    window.OnInitDialog();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    SettingsPage* keeping = window.Page(kCsmtpdlg12);
    ASSERT_NE(keeping, nullptr);
    auto* folder = Control<QLineEdit>(keeping, kArchiveFolderEdit);
    ASSERT_NE(folder, nullptr);
    QLabel* folderLabel = nullptr;
    for (QLabel* label : keeping->findChildren<QLabel*>())
        if (label->buddy() == folder) folderLabel = label;
    ASSERT_NE(folderLabel, nullptr) << "the first folder field has a label";
    EXPECT_FALSE(folderLabel->text().isEmpty());

    // Mail keeping is off on a fresh store: its labels are greyed.
    window.Tree()->setCurrentItem(ItemOf(window, kCsmtpdlg12));
    ASSERT_EQ(window.ShownPage(), keeping);
    for (QWidget* label : {FindControl(keeping, kSearchFolderLabel), static_cast<QWidget*>(folderLabel)}) {
        ASSERT_FALSE(label->isEnabled());
        QColor text;
        EXPECT_GE(TextContrast(label, &text), 3.0) << text.name().toStdString();
        EXPECT_NE(text, QColor(Qt::black)) << "greyed, not black";
    }
    Click(keeping, kMailBackupCheck);
    ASSERT_TRUE(FindControl(keeping, kSearchFolderLabel)->isEnabled());
    QColor enabledText;
    TextContrast(FindControl(keeping, kSearchFolderLabel), &enabledText);
    EXPECT_EQ(enabledText, QColor(Qt::black));
    EXPECT_EQ(keeping->palette().color(QPalette::Window), FromColorRef(kPageColor));

    auto* scope = Control<QLineEdit>(window.Page(kLDAPDlg), kLdapScopeEdit);
    ASSERT_NE(scope, nullptr);
    EXPECT_EQ(scope->text().toStdString(), filter);
    EXPECT_EQ(scope->cursorPosition(), 0) << "the filter shows from its start";
}

// Apply checks every page before it writes any: a value refused on a late
// page leaves the store as it was and shows that page; once all pass, every
// value is written and the service starts the proxies by them.
TEST_F(WebWindowTest, ApplyWritesNothingWhileAnyPageRefusesAndShowsThatPage) {
    testsupport::WriteFile(programFolder() + "/orqavs", "");  // the notification page's section
    RegisterMailPages();
    RegisterMailFilterPages();
    SettingsWindow window;
    window.OnInitDialog();
    window.show();
    Click(window.Page(kHttpSetDlg), kHttpOnCheck);  // the HTTP proxy on
    const std::string storeBefore = testsupport::ReadFile(registryDir() + "/HKEY_LOCAL_MACHINE.reg");
    struct Case {
        PageSlot page;
        int edit;
        const char* typed;
        const char* fixed;
        const char* message;
    } cases[] = {
        {kCftpdlg00, kFtpConnectionsEdit, "70000", "20", "0 から 65535 までの整数を入力してください。"},
        {kSendDlg, kNotifyPortEdit, "abc", "2525", "整数を入力してください。"},
    };
    for (const Case& c : cases) Type(window.Page(c.page), c.edit, c.typed);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        paneltest::BoxAnswerer boxes;
        Click(&window, kApplyButton);
        EXPECT_EQ(boxes.texts, std::vector<std::string>{c.message});
        EXPECT_EQ(window.ShownPage(), window.Page(c.page));
        EXPECT_TRUE(window.Page(c.page)->isVisible());
        EXPECT_EQ(window.Tree()->currentItem(), ItemOf(window, c.page)) << "the tree shows where";
        EXPECT_EQ(testsupport::ReadFile(registryDir() + "/HKEY_LOCAL_MACHINE.reg"), storeBefore);
        EXPECT_EQ(StartArgs("orqhprx"), std::vector<std::string>{"(not started)"});
        Type(window.Page(c.page), c.edit, c.fixed);
    }
    paneltest::BoxAnswerer boxes;
    Click(&window, kApplyButton);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0].rfind("適用しました。", 0), 0u) << boxes.texts[0];
    EXPECT_EQ(Stored("http"), 1u);
    EXPECT_EQ(Stored("ftpmaxconn"), 20u);
    EXPECT_EQ(Stored("SmtpPort"), 2525u);
    EXPECT_NE(StartArgs("orqhprx"), std::vector<std::string>{"(not started)"});
}

}  // namespace
