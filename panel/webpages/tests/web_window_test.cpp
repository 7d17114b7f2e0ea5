// The web proxy pages in the real settings window: registered in their
// slots, saved by Apply in the window's order, and the delete command of
// menu 155 reaching the connection list that is shown.
#include <gtest/gtest.h>

#include <QTreeWidget>

#include "panel/shell/look.h"
#include "panel/shell/registry_ops.h"
#include "panel/shell/settings_window.h"
#include "panel/webpages/connection_pages.h"
#include "panel/webpages/http_detail_page.h"
#include "panel/webpages/option_pages.h"
#include "panel/webpages/web_pages.h"
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

}  // namespace
