#include "panel/framework/settings_window.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "panel/framework/color_button.h"
#include "panel/framework/look.h"
#include "panel/framework/settings_page.h"
#include "panel_test_support.h"
#include "qt_test_support.h"

namespace {

using namespace panel;
using paneltest::BoxAnswerer;

struct Log {
    std::vector<std::string> saves;
    std::vector<std::string> deletes;
};

// A page that records the window's calls.
class RecordingPage : public SettingsPage {
public:
    RecordingPage(PageSlot slot, int templateId, Log& log) : SettingsPage(templateId), slot_(slot), log_(log) {}
    bool SaveSettings() override {
        log_.saves.push_back(Pages()[slot_].className);
        return true;
    }
    void DeleteSelectedEntry() override { log_.deletes.push_back(Pages()[slot_].className); }

private:
    PageSlot slot_;
    Log& log_;
};

// A page with one number field of the range 0 to 65535, as the FTP
// connections page has (with its id), and a value after it.
constexpr int kConnectionsEdit = 1196;
class NumberPage : public RecordingPage {
public:
    using RecordingPage::RecordingPage;
    bool SaveSettings() override {
        if (!FieldsFromControls()) return false;
        WriteDword("ftpmaxconn", static_cast<uint32_t>(connections_));
        WriteDword("ftpafter", 1);
        ControlsFromFields();
        return RecordingPage::SaveSettings();
    }
    int connections_ = 0;

protected:
    void BuildTemplate() override {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(WithId(new QLineEdit(this), kConnectionsEdit));
    }
    void OnInitDialog() override {
        BindNumber(kConnectionsEdit, connections_, NumberKind::Signed, Range{0, 65535});
        connections_ = 10;
        ControlsFromFields();
    }
};

class SettingsWindowTest : public paneltest::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        for (const char* program : {"orqhprx", "orqfprx", "orqsprx", "orqpprx", "orqcprx", "orqspam", "orqsvt", "orqavs"})
            testsupport::WriteFile(programFolder() + "/" + program, "");
    }
    std::unique_ptr<SettingsWindow> Open(PageSlot numberPage = static_cast<PageSlot>(-1)) {
        auto window = std::make_unique<SettingsWindow>([&, numberPage](PageSlot slot, int templateId) {
            if (slot == numberPage) return std::unique_ptr<SettingsPage>(new NumberPage(slot, templateId, log_));
            return std::unique_ptr<SettingsPage>(new RecordingPage(slot, templateId, log_));
        });
        window->OnInitDialog();
        window->fromTray = true;
        window->show();
        return window;
    }
    // A window opened from the tray or at the first start, nothing saved yet.
    std::unique_ptr<SettingsWindow> OpenAfresh(bool fromTray) {
        log_.saves.clear();
        auto window = Open();
        window->fromTray = fromTray;
        return window;
    }
    static void Click(SettingsWindow& window, int id) {
        auto* button = Control<QPushButton>(&window, id);
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
    static std::vector<std::string> AllClassNames(size_t upTo = 45) {
        std::vector<std::string> names;
        for (size_t i = 0; i < upTo; ++i) names.push_back(Pages()[SaveOrder()[i]].className);
        return names;
    }
    // Every tree item as "parent/child" labels, in order.
    static std::vector<std::string> TreePaths(QTreeWidget* tree) {
        std::vector<std::string> paths;
        std::function<void(QTreeWidgetItem*, std::string)> walk = [&](QTreeWidgetItem* item, std::string prefix) {
            std::string path = prefix + item->text(0).toStdString();
            paths.push_back(path);
            for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), path + "/");
        };
        for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i), "");
        return paths;
    }
    static QTreeWidgetItem* Item(QTreeWidget* tree, const std::string& path) {
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            std::string full = (*it)->text(0).toStdString();
            for (auto* p = (*it)->parent(); p; p = p->parent()) full = p->text(0).toStdString() + "/" + full;
            if (full == path) return *it;
        }
        return nullptr;
    }

    Log log_;
};

// Opened from the tray, OK is followed by the tray's restart question;
// opened otherwise, the window says itself that the settings act once the
// service restarts.
const std::string kAppliedUntilRestart = "適用しました。\r\n設定はサービスを再起動すると有効になります。";

TEST_F(SettingsWindowTest, OkSavesEveryPageOnceInOrderAndCloses) {
    for (bool fromTray : {true, false}) {
        auto window = OpenAfresh(fromTray);
        BoxAnswerer boxes;
        Click(*window, kOkButton);
        EXPECT_EQ(log_.saves, AllClassNames());
        EXPECT_EQ(log_.saves.size(), 45u);
        EXPECT_EQ(boxes.texts, fromTray ? std::vector<std::string>{} : std::vector<std::string>{kAppliedUntilRestart});
        EXPECT_EQ(window->result(), QDialog::Accepted);
        EXPECT_FALSE(window->isVisible());
    }
}

TEST_F(SettingsWindowTest, ApplySavesEveryPageSaysSoAndStaysCancelSavesNothing) {
    for (bool fromTray : {true, false}) {
        auto window = OpenAfresh(fromTray);
        BoxAnswerer boxes;
        Click(*window, kApplyButton);
        EXPECT_EQ(log_.saves, AllClassNames());
        EXPECT_EQ(boxes.texts, std::vector<std::string>{fromTray ? "適用しました。" : kAppliedUntilRestart});
        EXPECT_EQ(boxes.icons, std::vector<QMessageBox::Icon>{QMessageBox::Information});
        EXPECT_TRUE(window->isVisible());
        Click(*window, kCancelButton);
        EXPECT_EQ(log_.saves.size(), 45u) << "Cancel saved nothing";
        EXPECT_EQ(window->result(), QDialog::Rejected);
        EXPECT_FALSE(window->isVisible());
    }
}

TEST_F(SettingsWindowTest, RefusedInputStopsTheSaveAndShowsItsPage) {
    RegEnsureKey(RegRoot::LocalMachine, kProductSettingsKey);
    auto window = Open(kCftpdlg00);
    auto* edit = Control<QLineEdit>(window->Page(kCftpdlg00), kConnectionsEdit);
    ASSERT_NE(edit, nullptr);
    struct Case {
        const char* typed;
        const char* message;
    } cases[] = {{"70000", "0 から 65535 までの整数を入力してください。"}, {"12a", "整数を入力してください。"}};
    for (const Case& c : cases) {
        for (int button : {kApplyButton, kOkButton}) {
            SCOPED_TRACE(std::string(c.typed) + " / " + std::to_string(button));
            log_.saves.clear();
            edit->setText(c.typed);
            BoxAnswerer boxes;
            Click(*window, button);
            // One message, the framework's; no "applied"; no page saved,
            // neither before it in the order nor after it.
            EXPECT_EQ(boxes.texts, std::vector<std::string>{c.message});
            EXPECT_TRUE(log_.saves.empty());
            EXPECT_EQ(window->ShownPage(), window->Page(kCftpdlg00));
            EXPECT_TRUE(window->isVisible());
            EXPECT_EQ(RegReadDword(kProductSettingsKey, "ftpmaxconn", 7), 7u) << "the refused number is not stored";
            EXPECT_EQ(RegReadDword(kProductSettingsKey, "ftpafter", 7), 7u);
        }
    }
    edit->setText(" 65535 ");
    Click(*window, kOkButton);
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "ftpmaxconn", 7), 65535u);
    EXPECT_EQ(window->result(), QDialog::Accepted);
}

TEST_F(SettingsWindowTest, AFailedWriteIsNamedOnceAndOkKeepsTheWindow) {
    // No product key: every write of the page fails.
    auto window = Open(kCftpdlg00);
    BoxAnswerer boxes;
    Click(*window, kApplyButton);
    EXPECT_EQ(log_.saves.size(), 45u) << "the other pages are still saved";
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0].find("ftpmaxconn"), std::string::npos) << boxes.texts[0];
    EXPECT_NE(boxes.texts[0].find("エラー 2"), std::string::npos) << boxes.texts[0];
    Click(*window, kOkButton);
    EXPECT_EQ(boxes.texts.size(), 2u);
    EXPECT_TRUE(window->isVisible());
    RegEnsureKey(RegRoot::LocalMachine, kProductSettingsKey);
    Click(*window, kOkButton);
    EXPECT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(window->result(), QDialog::Accepted);
}

TEST_F(SettingsWindowTest, TreeShowsTheSectionsOfTheProgramsPresent) {
    struct Case {
        std::vector<std::string> programs;
        std::vector<std::string> sections;
        PageSlot firstPage;  // -1: none shown
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        {{"orqhprx", "orqsprx"}, {"HTTPプロキシ", "SMTPプロキシ"}, kHttpSetDlg,
         {"HTTPプロキシ/認証情報/LDAP認証設定", "SMTPプロキシ/アーカイブ"}, {"SMTPプロキシ/誤送信防止"}},
        {{"orqsvt", "orqpprx"}, {"POP3プロキシ"}, kPop3SetDlg, {"POP3プロキシ/ＩＰバージョン"},
         {"POP3プロキシ/ウィルス発見時"}},
        {{"orqsprx", "orqsvt"}, {"SMTPプロキシ"}, kSmtpSetDlg,
         {"SMTPプロキシ/誤送信防止/送信先情報制御", "SMTPプロキシ/誤送信防止/添付暗号化", "SMTPプロキシ/アーカイブ"}, {}},
        {{"orqavs", "orqpprx", "orqspam"}, {"POP3プロキシ", "アンチスパム", "アンチウイルス"}, kPop3SetDlg,
         {"POP3プロキシ/ウィルス発見時", "アンチウイルス/ウィルス発見時"}, {}},
        {{"orqavs"}, {"アンチウイルス"}, kAntiVirusSetDlg, {"アンチウイルス/リアルタイム監視"}, {}},
        {{}, {}, static_cast<PageSlot>(-1), {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sections.empty() ? "none" : c.sections[0]);
        testsupport::RunCommand("rm -f '" + programFolder() + "'/*");
        for (const auto& program : c.programs) testsupport::WriteFile(programFolder() + "/" + program, "");
        auto window = Open();
        std::vector<std::string> sections;
        for (int i = 0; i < window->Tree()->topLevelItemCount(); ++i)
            sections.push_back(window->Tree()->topLevelItem(i)->text(0).toStdString());
        EXPECT_EQ(sections, c.sections);
        EXPECT_EQ(window->ShownPage(), c.firstPage < 0 ? nullptr : window->Page(c.firstPage));
        auto paths = TreePaths(window->Tree());
        for (const auto& path : c.present) EXPECT_NE(std::find(paths.begin(), paths.end(), path), paths.end()) << path;
        for (const auto& path : c.absent) EXPECT_EQ(std::find(paths.begin(), paths.end(), path), paths.end()) << path;
        EXPECT_TRUE(window->Tree()->selectedItems().isEmpty());
        // Pages without a tree item are saved all the same.
        BoxAnswerer boxes;
        log_.saves.clear();
        Click(*window, kOkButton);
        EXPECT_EQ(log_.saves.size(), 45u);
    }
}

TEST_F(SettingsWindowTest, SelectionTogglesTheItemAndShowsItsPage) {
    auto window = Open();
    QTreeWidget* tree = window->Tree();
    QTreeWidgetItem* ftp = Item(tree, "FTPプロキシ");
    ASSERT_NE(ftp, nullptr);
    tree->setCurrentItem(ftp);
    EXPECT_TRUE(ftp->isExpanded());
    EXPECT_EQ(window->ShownPage(), window->Page(kFtpSetupDlg));
    tree->setCurrentItem(Item(tree, "FTPプロキシ/ポート範囲"));
    EXPECT_EQ(window->ShownPage(), window->Page(kCftpdlg11));
    EXPECT_TRUE(window->Page(kCftpdlg11)->isVisible());
    EXPECT_FALSE(window->Page(kFtpSetupDlg)->isVisible());
    tree->setCurrentItem(ftp);
    EXPECT_FALSE(ftp->isExpanded()) << "selected again, the section closes";

    // One LDAP page under both proxies.
    tree->setCurrentItem(Item(tree, "HTTPプロキシ/認証情報/LDAP認証設定"));
    EXPECT_EQ(window->ShownPage(), window->Page(kLDAPDlg));
    tree->setCurrentItem(Item(tree, "SOCKSプロキシ/認証情報/LDAP認証設定"));
    EXPECT_EQ(window->ShownPage(), window->Page(kLDAPDlg));
}

TEST_F(SettingsWindowTest, DeleteCommandReachesOnlyTheShownListPage) {
    auto window = Open();
    QTreeWidget* tree = window->Tree();
    struct Case {
        const char* item;
        std::vector<std::string> deletes;
    } cases[] = {
        {"HTTPプロキシ/ＩＰバージョン", {}},
        {"HTTPプロキシ/接続情報", {"Chttp1dlg"}},
        {"SOCKSプロキシ/認証情報/ユーザ情報", {"Csocks2dlg"}},
        {"SMTPプロキシ", {}},
    };
    for (const Case& c : cases) {
        log_.deletes.clear();
        tree->setCurrentItem(Item(tree, c.item));
        Click(*window, kDeleteEntryButton);  // the hidden button
        EXPECT_EQ(log_.deletes, c.deletes) << c.item;
        log_.deletes.clear();
        // The list's menu command, sent by whichever page.
        emit window->Page(kCpop3dlg)->DeleteEntryCommand();
        EXPECT_EQ(log_.deletes, c.deletes) << c.item;
    }
}

TEST_F(SettingsWindowTest, WindowLooksAsItsTemplateSays) {
    auto window = Open();
    EXPECT_EQ(window->windowTitle(), "VELQOR Server V2");
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(0x6F, 0x8D, 0xDF));
    auto* ok = Control<ColorButton>(window.get(), kOkButton);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->FaceColor, 0xFFC5B0u);
    for (int id : {kTopBannerPicture, kPageTree, kPageFrame, kBottomBannerPicture, kHelpPicture, kOkButton,
                   kCancelButton, kApplyButton})
        EXPECT_TRUE(FindControl(window.get(), id)->isVisible()) << id;
    for (int id : {kHelpButton, kDeleteEntryButton}) EXPECT_FALSE(FindControl(window.get(), id)->isVisible()) << id;
}

}  // namespace
