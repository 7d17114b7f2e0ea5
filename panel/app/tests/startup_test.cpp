#include "panel/app/startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "panel/app/running_programs.h"
#include "panel/framework/look.h"
#include "panel/framework/settings_window.h"
#include "panel_test_support.h"
#include "platform/pipe/named_mutex.h"
#include "qt_test_support.h"

namespace {

using namespace panel;
using paneltest::BoxAnswerer;
using paneltest::WindowCloser;

constexpr char kKey[] = "SOFTWARE\\TAVRISK\\VELQOR_SERVER";
constexpr char kMutexName[] = "Tavrisk VELQOR Server V2";

class StartupTest : public paneltest::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        ::setenv("ALLUSERSPROFILE", dataRoot().c_str(), 1);
        program_ = programFolder() + "/velqorctl";
        seams_.runTrayWindow = [this] { ++trayRuns_; };
        seams_.startUpdateCheck = [this] { ++updateChecks_; };
        seams_.runScanWindow = [this](const std::string& target) { scanTargets_.push_back(target); };
    }
    void TearDown() override { (void)!::chdir("/"); }
    int Run(std::vector<std::string> arguments = {}) { return RunPanel(program_, arguments, seams_); }
    uint32_t SetupValue() { return RegReadDword(kKey, "setup", 0); }

    std::string program_;
    StartupSeams seams_;
    int trayRuns_ = 0;
    int updateChecks_ = 0;
    std::vector<std::string> scanTargets_;
};

TEST_F(StartupTest, WorkenvOfTheOlderProductNamesTheDataRoot) {
    const std::string oldRoot = dir_ / "old root";
    testsupport::MakeDirs(oldRoot);
    ::setenv("VELQOR_T_OLD_ROOT", oldRoot.c_str(), 1);
    RegEnsureKey(RegRoot::LocalMachine, kKey);
    RegWriteString(kKey, "workenv", "AllUsersProfile");
    RegWriteDword(kKey, "setup", 1);
    RegEnsureKey(RegRoot::LocalMachine, "SOFTWARE\\QUESSAT\\MORVASK");
    RegWriteString("SOFTWARE\\QUESSAT\\MORVASK", "workenv", "VELQOR_T_OLD_ROOT");

    EXPECT_EQ(Run(), 0);
    std::string workenv;
    RegReadString(RegRoot::LocalMachine, kKey, "workenv", "", workenv, 512);
    EXPECT_EQ(workenv, "VELQOR_T_OLD_ROOT");
    EXPECT_EQ(State().dataRootVariable, "VELQOR_T_OLD_ROOT");
    EXPECT_TRUE(testsupport::FileExists(oldRoot + "/VELQOR"));
    EXPECT_FALSE(testsupport::FileExists(dataRoot() + "/VELQOR"));
    EXPECT_EQ(State().programFolder, programFolder());
    EXPECT_EQ(trayRuns_, 1);
    EXPECT_EQ(updateChecks_, 1);
}

TEST_F(StartupTest, MigrationYesStartsTheBackupToolAndEnds) {
    testsupport::MakeDirs(dataRoot() + "/PELLORA");
    std::string backup = Recorder("orqbackup");
    BoxAnswerer boxes(QMessageBox::Yes);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(RecordedArguments(backup), (std::vector<std::string>{"-v=12", "-o"}));
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[0], "旧バージョンの設定をそのまま引き継ぎますか？");
    EXPECT_EQ(boxes.texts[1].rfind("新バージョンの移行の際注意点\r\n１．", 0), 0u);
    EXPECT_EQ(SetupValue(), 0u);
    EXPECT_EQ(trayRuns_, 0);
}

TEST_F(StartupTest, FirstStartOpensTheSettingsWindowUntilOk) {
    struct Case {
        const char* what;
        bool olderFolder;
        QMessageBox::StandardButton answer;
        bool backupPresent;
        int closeWith;
        uint32_t setupAfter;
        size_t boxes;
    } cases[] = {
        {"no older installation, cancelled", false, QMessageBox::Ok, true, 2, 0, 0},
        {"migration refused, OK", true, QMessageBox::No, true, 1, 1, 2},
        {"backup tool missing", true, QMessageBox::Yes, false, 2, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::RunCommand("rm -rf '" + dataRoot() + "/PELLORA' '" + programFolder() + "/orqbackup'");
        if (c.olderFolder) testsupport::MakeDirs(dataRoot() + "/PELLORA");
        if (c.backupPresent) Recorder("orqbackup");
        if (testsupport::FileExists(registryDir() + "/HKEY_LOCAL_MACHINE.reg"))
            RegWriteDword(kKey, "setup", 0);
        trayRuns_ = 0;
        BoxAnswerer boxes(c.answer);
        WindowCloser closer(c.closeWith);
        EXPECT_EQ(Run(), 0);
        EXPECT_EQ(closer.opened, 1);
        ASSERT_EQ(boxes.texts.size(), c.boxes);
        // Opened at the first start, not from the tray: nothing offers the
        // restart, so OK says when the settings act.
        if (c.closeWith == 1) {
            EXPECT_EQ(boxes.texts.back(), "適用しました。\r\n設定はサービスを再起動すると有効になります。");
        }
        EXPECT_EQ(SetupValue(), c.setupAfter);
        EXPECT_EQ(trayRuns_, 1);
        EXPECT_FALSE(testsupport::FileExists(programFolder() + "/orqbackup.args")) << "the backup tool never ran";
    }
    // Set up once: neither the window nor the migration offer comes again.
    RegWriteDword(kKey, "setup", 1);
    BoxAnswerer boxes(QMessageBox::Yes);
    WindowCloser closer(2);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(closer.opened, 0);
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(StartupTest, ASecondCopyEndsAtOnceAndShowsNothing) {
    platform::NamedMutex first(kMutexName);
    ASSERT_TRUE(first.owned());
    BoxAnswerer boxes;
    WindowCloser closer(2);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(closer.opened, 0);
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_EQ(trayRuns_, 0);
    EXPECT_EQ(updateChecks_, 0);

    // The real program: with setup 0 it would open its window and wait.
    testsupport::Process::Options options;
    options.env = {{"VELQOR_REGISTRY_DIR", registryDir()}, {"VELQOR_PIPE_DIR", pipeDir()},
                   {"ALLUSERSPROFILE", dataRoot()},        {"QT_QPA_PLATFORM", "offscreen"},
                   {"XDG_RUNTIME_DIR", dir_.path()}};
    testsupport::Process second({testsupport::BinPath("velqorctl")}, options);
    EXPECT_EQ(second.wait(std::chrono::seconds(20)), 0);
    EXPECT_EQ(second.out(), "");
    EXPECT_EQ(second.err(), "");
}

TEST_F(StartupTest, AGuardThatCannotBeMadeIsExplained) {
    testsupport::WriteFile(dir_ / "not a folder", "");
    testsupport::Process::Options options;
    options.env = {{"VELQOR_REGISTRY_DIR", registryDir()}, {"VELQOR_PIPE_DIR", dir_ / "not a folder"},
                   {"ALLUSERSPROFILE", dataRoot()},        {"QT_QPA_PLATFORM", "offscreen"},
                   {"XDG_RUNTIME_DIR", dir_.path()}};
    testsupport::Process panel({testsupport::BinPath("velqorctl")}, options);
    EXPECT_EQ(panel.wait(std::chrono::seconds(20)), 1);
    EXPECT_NE(panel.err().find("Tavrisk VELQOR Server V2"), std::string::npos) << panel.err();
}

TEST_F(StartupTest, ScanModeOpensOnlyWhileTheScanServerRuns) {
    platform::NamedMutex trayApplication(kMutexName);  // scan mode takes no guard
    const std::string folder = dir_ / "scan me";
    const std::string file = folder + "/a.txt";
    testsupport::MakeDirs(folder);
    testsupport::WriteFile(file, "x");
    {
        BoxAnswerer boxes;
        EXPECT_EQ(Run({folder}), 0);
        EXPECT_EQ(boxes.texts, std::vector<std::string>{"ウィルススキャンエンジンが起動していません。\r\n"
                                                        "スキャンエンジンが起動されてから再度実行してください。"});
        EXPECT_TRUE(scanTargets_.empty());
    }
    testsupport::RunCommand("cp /bin/sleep '" + programFolder() + "/orqavs'");
    testsupport::Process scanner({programFolder() + "/orqavs", "30"}, {});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !IsProcessAbsent("orqavs.exe"); }));
    BoxAnswerer boxes;
    EXPECT_EQ(Run({folder, "ignored"}), 0);
    EXPECT_EQ(Run({file}), 0);
    EXPECT_EQ(scanTargets_, (std::vector<std::string>{folder + "/", file}));
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_TRUE(State().scanWindowOpen);
    EXPECT_EQ(trayRuns_, 0);
}

}  // namespace
