// The anti-virus pages and the folder tree, read back by the readers of
// what they write: the service's start table and the folder watcher's
// white-list test.
#include "panel/antivirus/antivirus_pages.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>

#include "common/folder_white_list.h"
#include "page_test_support.h"
#include "panel/framework/folder_view.h"
#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "service/child_control.h"

namespace {

using namespace panel;

class AntiVirusPagesTest : public paneltest::PageTest {
protected:
    static std::string DrivePath() { return Text("drivepath"); }
    // The watchers start only beside an installed scan server.
    static std::vector<std::string> StartArgs(const std::string& program) { return PageTest::StartArgs(program, true); }
};

TEST_F(AntiVirusPagesTest, DefaultsShowAndSavedValuesReachTheWatchersStartArguments) {
    auto engine = Open<CAntiVirusSetDlg>();
    auto updater = Open<CAntiVirusSetDlg0>();
    auto process = Open<CAntiVirusSetDlg1>();
    auto folder = Open<CAntiVirusSetDlg2>();
    EXPECT_FALSE(Control<QCheckBox>(engine.get(), kAntiVirusOnCheck)->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(engine.get(), kAntiVirusLogCheck)->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(engine.get(), kAntiVirusLogCheck)->isEnabled());
    EXPECT_EQ(Control<QLineEdit>(updater.get(), kUpdateIntervalEdit)->text(), "1");
    EXPECT_EQ(Control<QLineEdit>(updater.get(), kUpdateProxyPortEdit)->text(), "8080");
    EXPECT_FALSE(Control<QLineEdit>(updater.get(), kUpdateProxyServerEdit)->isEnabled());
    EXPECT_TRUE(Control<QCheckBox>(process.get(), kProcessWatchCheck)->isChecked());
    EXPECT_EQ(Control<QComboBox>(process.get(), kProcessIntervalCombo)->currentText(), "30");
    EXPECT_TRUE(Control<QCheckBox>(folder.get(), kFolderWatchCheck)->isChecked());
    EXPECT_EQ(Control<QLineEdit>(folder.get(), kFolderDrivesEdit)->text(), "/");

    Control<QComboBox>(process.get(), kProcessIntervalCombo)->setEditText("7");  // not in the list
    Control<QCheckBox>(process.get(), kProcessLogCheck)->setChecked(true);
    Control<QCheckBox>(folder.get(), kFolderLogCheck)->setChecked(true);
    Control<QLineEdit>(folder.get(), kFolderDrivesEdit)->setText("/srv/");  // Apply alone does not write it
    Control<QCheckBox>(updater.get(), kUpdateProxyCheck)->click();
    EXPECT_TRUE(Control<QLineEdit>(updater.get(), kUpdateProxyServerEdit)->isEnabled());
    Control<QLineEdit>(updater.get(), kUpdateProxyServerEdit)->setText("proxy.example");
    for (SettingsPage* page : std::initializer_list<SettingsPage*>{engine.get(), updater.get(), process.get(), folder.get()})
        ASSERT_TRUE(page->SaveSettings());

    EXPECT_EQ(StartArgs("orqmemo"), (std::vector<std::string>{"-t=7", "-e=VELQOR_TEST_DATA_ROOT", "-w"}));
    EXPECT_EQ(StartArgs("orqfile"), (std::vector<std::string>{"-d=/", "-e=VELQOR_TEST_DATA_ROOT", "-w"}));
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "Timeout", 0), 1u);
    EXPECT_EQ(RegReadDword(kProductSettingsKey, "ProxyServerUsed", 0), 1u);
    // The updater fetches through the proxy the page wrote, on the port it showed.
    EXPECT_EQ(service::UpdaterArguments(), (std::vector<std::string>{"-m=0", "-x=proxy.example:8080"}));
    EXPECT_EQ(DrivePath(), "(none)");

    // Unchecking the switch greys what it governs and keeps the values.
    Control<QCheckBox>(process.get(), kProcessWatchCheck)->click();
    EXPECT_FALSE(Control<QComboBox>(process.get(), kProcessIntervalCombo)->isEnabled());
    EXPECT_EQ(Control<QComboBox>(process.get(), kProcessIntervalCombo)->currentText(), "7");
}

TEST_F(AntiVirusPagesTest, WatchPlacesWritesTheTypedPlacesBeforeTheTreeAndShowsWhatItLeft) {
    auto folder = Open<CAntiVirusSetDlg2>();
    Control<QLineEdit>(folder.get(), kFolderDrivesEdit)->setText("/srv/data/;/");
    std::string seenByTree;
    folder->runDialog = [&](CFolderView& view) {
        seenByTree = DrivePath();
        view.OnOK();
    };
    folder->OnWatchPlaces();
    EXPECT_EQ(seenByTree, "/srv/data/;/");
    // The drive was a whole entry, so it stays checked and comes last.
    EXPECT_EQ(DrivePath(), "/srv/data/;/");
    EXPECT_EQ(Control<QLineEdit>(folder.get(), kFolderDrivesEdit)->text(), "/srv/data/;/");
}

TEST_F(AntiVirusPagesTest, FolderTreeWritesExclusionsTheWatcherHonoursAndKeepsWhatItNeverShowed) {
    const std::string t = dir_.path();
    testsupport::MakeDirs(t + "/x/deep/a/unseen");
    testsupport::MakeDirs(t + "/y");
    const std::string first = t.substr(0, t.find('/', 1) + 1);  // "/tmp/"
    const std::string list = common::FolderListPath(dataFolder(), t + "/");
    ASSERT_EQ(RegWriteString(kProductSettingsKey, "drivepath", "/srv/data/"), 0);
    {
        CFolderView view;
        QTreeWidgetItem* drive = view.tree()->topLevelItem(0);
        // "/" occurs inside "/srv/data/" but is not itself a watched place.
        EXPECT_EQ(drive->checkState(0), Qt::Unchecked);
        QTreeWidgetItem* x = view.ShowPath(QString::fromStdString(t + "/x/"));
        ASSERT_NE(x, nullptr);
        // Checking a folder checks the way up to the drive.
        x->setCheckState(0, Qt::Checked);
        EXPECT_EQ(drive->checkState(0), Qt::Checked);
    }
    ASSERT_EQ(RegWriteString(kProductSettingsKey, "drivepath", "/srv/data/;/"), 0);
    {
        CFolderView view;
        QTreeWidgetItem* x = view.ShowPath(QString::fromStdString(t + "/x/"));
        ASSERT_NE(x, nullptr);
        x->setCheckState(0, Qt::Unchecked);
        view.OnOK();
    }
    EXPECT_EQ(DrivePath(), "/srv/data/;/");
    EXPECT_TRUE(common::CheckWhiteFolder(dataFolder(), dataRoot(), t + "/x/file.txt").white);
    EXPECT_TRUE(common::CheckWhiteFolder(dataFolder(), dataRoot(), t + "/x/deep/a/unseen/f").white);
    EXPECT_FALSE(common::CheckWhiteFolder(dataFolder(), dataRoot(), t + "/y/file.txt").white);
    EXPECT_EQ(common::FolderListPath(dataFolder(), first), list);

    // An exclusion deeper than the tree ever showed survives a reopen and OK.
    std::vector<std::string> lines = common::ReadFolderList(list);
    lines.push_back(t + "/x/deep/a/unseen/");
    ASSERT_TRUE(common::SaveFolderList(dataFolder(), first, lines, false));
    {
        CFolderView view;
        QTreeWidgetItem* x = view.ShowPath(QString::fromStdString(t + "/x/"));
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->checkState(0), Qt::Unchecked);  // its own line shows
        x->setCheckState(0, Qt::Checked);            // watched again
        view.OnOK();
    }
    lines = common::ReadFolderList(list);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), t + "/x/"), 0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), t + "/x/deep/a/unseen/"), 1);
}

TEST_F(AntiVirusPagesTest, FolderPickerGivesTheSelectedFolder) {
    const std::string t = dir_.path();
    testsupport::MakeDirs(t + "/mail/archive");
    CFolderView2 picker;
    QTreeWidgetItem* item = picker.ShowPath(QString::fromStdString(t + "/mail/archive/"));
    ASSERT_NE(item, nullptr);
    picker.tree()->setCurrentItem(item);
    picker.OnOK();
    EXPECT_EQ(picker.result.toStdString(), t + "/mail/archive/");
}

}  // namespace
