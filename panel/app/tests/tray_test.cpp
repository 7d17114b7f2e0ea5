#include "panel/app/tolvane_dlg.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QMenu>
#include <QThread>
#include <thread>

#include "panel/app/running_programs.h"
#include "panel/app/service_ops.h"
#include "panel/app/tray_icon_record.h"
#include "panel/framework/registry_ops.h"
#include "panel/framework/strings.h"
#include "panel_test_support.h"
#include "platform/registry/registry.h"
#include "platform/service/service.h"
#include "qt_test_support.h"
#include "service/service_unit.h"

namespace {

using namespace panel;
using paneltest::BoxAnswerer;
using paneltest::WindowCloser;

constexpr int kStart = 32774, kStop = 32775, kRegister = 32776, kDelete = 32777, kTest = 32773;

class TrayTest : public paneltest::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        testsupport::MakeDirs(units());
        testsupport::MakeDirs(systemctl());
        ::setenv("VELQOR_SYSTEMD_DIR", units().c_str(), 1);
        ::setenv("VELQOR_SYSTEMCTL", testsupport::SourcePath("platform/service/tests/fake-systemctl").c_str(), 1);
        ::setenv("FAKE_SYSTEMCTL_DIR", systemctl().c_str(), 1);
        options_.startUpdateCheck = [this] { ++updateChecks_; };
        options_.restartPollMs = 20;
        tray_ = std::make_unique<TolvaneDlg>(options_);
        tray_->OnInitDialog();
    }
    void TearDown() override { tray_.reset(); }

    std::string units() const { return dir_ / "units"; }
    std::string systemctl() const { return dir_ / "systemctl"; }
    std::string unitFile() const { return units() + "/velqorsv2.service"; }
    void SetState(const std::string& word) { testsupport::WriteFile(systemctl() + "/state", word + "\n"); }
    std::string Log() const {
        return testsupport::FileExists(systemctl() + "/systemctl.log") ? testsupport::ReadFile(systemctl() + "/systemctl.log")
                                                                        : "";
    }
    void ClearLog() { ::unlink((systemctl() + "/systemctl.log").c_str()); }
    // The unit velqors -install would write, and the event-log key the service makes.
    void Install() {
        ASSERT_EQ(platform::CreateService(
                      service::ServiceUnitFor(programFolder() + "/velqors", State().dataRootVariable)),
                  0);
        ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, kEventSourceKey), 0);
        ClearLog();
    }
    void Trigger(int id) {
        QAction* action = tray_->Command(id);
        ASSERT_NE(action, nullptr) << id;
        action->trigger();
    }
    int Balloons() const { return tray_->Record()->balloonCount(); }
    std::string BalloonText() const { return tray_->Record()->balloonText().toStdString(); }
    std::string BalloonTitle() const { return tray_->Record()->balloonTitle().toStdString(); }
    // The balloon's message without its time stamp.
    std::string BalloonMessage() const {
        std::string text = BalloonText();
        size_t start = text.find("\r\n");
        if (start == std::string::npos || text.size() < start + 4) return "<" + text + ">";
        return text.substr(start + 2, text.size() - start - 4);
    }
    // Pumps the event loop until `cond` holds, at most ten seconds.
    template <typename Cond>
    bool Pump(Cond cond) {
        return testsupport::WaitUntil([&] {
            QCoreApplication::processEvents();
            return cond();
        });
    }

    TrayOptions options_;
    std::unique_ptr<TolvaneDlg> tray_;
    int updateChecks_ = 0;
};

TEST_F(TrayTest, TheMenuEnablesWhatTheServiceStateAllows) {
    struct Case {
        const char* what;
        bool unit;
        const char* state;
        bool start, stop, remove, reg, test;
    } cases[] = {
        {"no unit", false, "active", false, false, false, true, false},
        {"inactive", true, "inactive", true, false, true, false, true},
        {"failed", true, "failed", true, false, true, false, true},
        {"active", true, "active", false, true, true, false, false},
        {"activating", true, "activating", false, false, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(unitFile().c_str());
        if (c.unit) Install();
        SetState(c.state);
        tray_->OnInitMenuPopup();
        EXPECT_EQ(tray_->Command(kStart)->isEnabled(), c.start);
        EXPECT_EQ(tray_->Command(kStop)->isEnabled(), c.stop);
        EXPECT_EQ(tray_->Command(kDelete)->isEnabled(), c.remove);
        EXPECT_EQ(tray_->Command(kRegister)->isEnabled(), c.reg);
        EXPECT_EQ(tray_->Command(kTest)->isEnabled(), c.test);
    }
    // The menu itself asks each time it opens.
    ClearLog();
    emit tray_->Menu()->aboutToShow();
    EXPECT_EQ(Log(), "is-active velqorsv2.service\n");
}

TEST_F(TrayTest, StartAndStopActOnlyOnTheStateTheyChange) {
    struct Case {
        const char* what;
        bool unit;
        const char* state;
        int command;
        const char* refuse;
        const char* balloon;  // null: none
        const char* logged;
    } cases[] = {
        {"start stopped", true, "inactive", kStart, "", "開始しました。", "start --no-block velqorsv2.service\n"},
        {"start refused", true, "inactive", kStart, "start", "開始できませんでした。", "start --no-block"},
        {"start running", true, "active", kStart, "", nullptr, ""},
        {"start without unit", false, "inactive", kStart, "", "未登録です。", ""},
        {"stop running", true, "active", kStop, "", "停止しました。", "stop --no-block velqorsv2.service\n"},
        {"stop refused", true, "active", kStop, "stop", "停止できませんでした。", "stop --no-block"},
        {"stop stopped", true, "inactive", kStop, "", nullptr, ""},
        {"stop without unit", false, "active", kStop, "", "未登録です。", ""},
    };
    int checks = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(unitFile().c_str());
        if (c.unit) Install();
        SetState(c.state);
        testsupport::WriteFile(systemctl() + "/refuse", std::string(c.refuse) + "\n");
        int before = Balloons();
        Trigger(c.command);
        if (c.balloon) {
            EXPECT_EQ(Balloons(), before + 1);
            EXPECT_EQ(BalloonMessage(), c.balloon);
            EXPECT_EQ(BalloonTitle(), "VELQOR Server");
        } else {
            EXPECT_EQ(Balloons(), before);
        }
        if (*c.logged)
            EXPECT_NE(Log().find(c.logged), std::string::npos) << Log();
        else
            EXPECT_EQ(Log().find("start"), std::string::npos) << Log();
        if (c.command == kStart) ++checks;
        // Every start click starts the update check again.
        EXPECT_EQ(updateChecks_, checks);
    }
}

TEST_F(TrayTest, RegisterWritesTheInstallUnitOnceAndEnablesIt) {
    Trigger(kRegister);
    EXPECT_EQ(BalloonMessage(), "登録しました。");
    std::string unit = testsupport::ReadFile(unitFile());
    EXPECT_NE(unit.find("ExecStart=\"" + programFolder() + "/velqors\"\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("Environment=\"VELQOR_TEST_DATA_ROOT=" + dataRoot() + "\"\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("Environment=\"VELQOR_REGISTRY_DIR=" + registryDir() + "\"\n"), std::string::npos) << unit;
    EXPECT_EQ(Log(), "daemon-reload\nenable velqorsv2.service\nis-active velqorsv2.service\n");
    std::string image;
    RegReadString(RegRoot::LocalMachine, kServiceKey, "ImagePath", "", image, 512);
    EXPECT_EQ(image, programFolder() + "/velqors");

    // Once there, it is left as it is.
    testsupport::WriteFile(unitFile(), unit + "# the administrator's line\n");
    ClearLog();
    Trigger(kRegister);
    EXPECT_EQ(BalloonMessage(), "既に登録済みです。");
    EXPECT_EQ(testsupport::ReadFile(unitFile()), unit + "# the administrator's line\n");
    EXPECT_EQ(Log().find("enable"), std::string::npos);
}

TEST_F(TrayTest, DeleteAsksARunningServiceToStopAndRemovesItsUnitAtOnce) {
    struct Case {
        const char* what;
        const char* state;
        const char* refuse;
        const char* balloon;
        bool gone;
    } cases[] = {
        {"running", "active", "", "削除しました。", true},
        {"stopped", "inactive", "", "削除しました。", true},
        {"stop refused", "active", "stop", "停止されていないため、削除できません。", false},
        {"starting", "activating", "", "停止されていないため、削除できません。", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(unitFile().c_str());
        Install();
        SetState(c.state);
        testsupport::WriteFile(systemctl() + "/refuse", std::string(c.refuse) + "\n");
        Trigger(kDelete);
        EXPECT_EQ(BalloonMessage(), c.balloon);
        EXPECT_EQ(testsupport::FileExists(unitFile()), !c.gone);
        // The event-log key goes only with the unit.
        EXPECT_EQ(paneltest::KeyExists(kEventSourceKey), !c.gone);
        std::string log = Log();
        if (std::string(c.state) == "active") {
            size_t stop = log.find("stop --no-block velqorsv2.service\n");
            EXPECT_NE(stop, std::string::npos) << log;
            if (c.gone) {
                EXPECT_NE(log.find("daemon-reload\n", stop), std::string::npos) << log;
            }
        }
    }
    ::unlink(unitFile().c_str());
    Trigger(kDelete);
    EXPECT_EQ(BalloonMessage(), "未登録です。");
}

TEST_F(TrayTest, TestRunsTheRegisteredProgramInATerminal) {
    std::string terminal = Recorder("terminal", dir_ / "");
    ::setenv("VELQOR_TERMINAL", (terminal + " -e").c_str(), 1);
    Trigger(kTest);
    EXPECT_FALSE(testsupport::WaitUntil([&] { return testsupport::FileExists(terminal + ".args"); },
                                        std::chrono::milliseconds(300)));
    Install();
    Trigger(kTest);
    EXPECT_EQ(RecordedArguments(terminal),
              (std::vector<std::string>{"-e", programFolder() + "/velqors", "-debug"}));
    ::unsetenv("VELQOR_TERMINAL");
}

TEST_F(TrayTest, TheLeftClickOpensTheHomePageInTheRegisteredBrowser) {
    std::string opener = Recorder("opener", dir_ / "");
    ::setenv("VELQOR_OPENER", opener.c_str(), 1);
    EXPECT_EQ(HomePageCommand(), opener);
    emit tray_->TrayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(RecordedArguments(opener), (std::vector<std::string>{HelpTopicPath()}));
    ::unsetenv("VELQOR_OPENER");
}

// velqors of the program folder as a script that runs until it is ended.
class RestartTest : public TrayTest {
protected:
    void StartStandIn() {
        std::string path = programFolder() + "/velqors";
        testsupport::WriteFile(path, "#!/bin/sh\nfor i in $(seq 600); do sleep 0.1; done\n");
        ::chmod(path.c_str(), 0755);
        standIn_ = std::make_unique<testsupport::Process>(std::vector<std::string>{path},
                                                          testsupport::Process::Options{});
        ASSERT_TRUE(testsupport::WaitUntil([] { return !IsProcessAbsent("velqors.exe"); }));
    }
    // OK in the settings window, then `answer` to the restart question.
    std::vector<std::string> Properties(QMessageBox::StandardButton answer) {
        WindowCloser closer(1);
        BoxAnswerer boxes(answer);
        Trigger(166);
        EXPECT_EQ(closer.opened, 1);
        return boxes.texts;
    }
    std::unique_ptr<testsupport::Process> standIn_;
};

TEST_F(RestartTest, YesStopsWaitsForTheServiceProgramAndStartsAgain) {
    Install();
    SetState("active");
    StartStandIn();
    std::vector<std::string> asked = Properties(QMessageBox::Yes);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], LoadString(179).toStdString());
    EXPECT_EQ(BalloonMessage(), "停止中です。...");
    EXPECT_TRUE(tray_->Restarting());
    // Meanwhile the service items are grey and the tray answers.
    tray_->OnInitMenuPopup();
    for (int id : {kStart, kStop, kRegister, kDelete, kTest, 166}) EXPECT_FALSE(tray_->Command(id)->isEnabled()) << id;
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(Log().find("start"), std::string::npos) << Log();

    standIn_->terminate();
    standIn_->wait();
    ASSERT_TRUE(Pump([&] { return !tray_->Restarting(); }));
    EXPECT_NE(Log().find("stop --no-block velqorsv2.service\n"), std::string::npos) << Log();
    EXPECT_NE(Log().find("start --no-block velqorsv2.service\n"), std::string::npos) << Log();
    EXPECT_EQ(BalloonMessage(), "再起動しました。");
}

TEST_F(RestartTest, AServiceProgramThatNeverEndsGivesUpWithoutAStart) {
    tray_.reset();
    options_.restartLimitMs = 300;
    tray_ = std::make_unique<TolvaneDlg>(options_);
    tray_->OnInitDialog();
    Install();
    SetState("active");
    StartStandIn();
    Properties(QMessageBox::Yes);
    ASSERT_TRUE(Pump([&] { return !tray_->Restarting(); }));
    EXPECT_EQ(BalloonMessage(), "停止できませんでした。");
    EXPECT_EQ(Log().find("start"), std::string::npos) << Log();
    EXPECT_TRUE(standIn_->running());
}

TEST_F(RestartTest, NoLeavesTheServiceAsItIs) {
    Install();
    SetState("active");
    int before = Balloons();
    Properties(QMessageBox::No);
    EXPECT_FALSE(tray_->Restarting());
    EXPECT_EQ(Balloons(), before);
    EXPECT_EQ(Log(), "");
}

TEST_F(TrayTest, TrayNoticeCutsTipBalloonAndTitle) {
    QString message(300, QChar(u'あ'));
    ASSERT_TRUE(TrayNotice(QString(80, QChar(u'T')), message));
    TrayIconRecord* record = tray_->Record();
    EXPECT_EQ(record->tip().size(), 127);
    EXPECT_TRUE(record->tip().startsWith(TimeStamp().left(1)));
    EXPECT_EQ(record->tip().mid(11), message.left(116));
    EXPECT_EQ(record->balloonText().size(), 255);
    EXPECT_EQ(record->balloonText().mid(12), message.left(243));
    EXPECT_EQ(record->balloonTitle(), QString(63, QChar(u'T')));

    // A character outside the basic plane is not split at the cut.
    QString wide = QString(115, QChar(u'x')) + QString::fromUtf8("😀😀");
    TrayNotice(QStringLiteral("t"), wide);
    EXPECT_EQ(record->tip(), record->tip().left(11) + QString(115, QChar(u'x')));

    // From another thread the notice reaches the record on this one.
    int before = record->balloonCount();
    std::thread other([] { TrayNotice(QStringLiteral("t"), QStringLiteral("from a thread")); });
    other.join();
    ASSERT_TRUE(Pump([&] { return record->balloonCount() == before + 1; }));
    EXPECT_EQ(BalloonMessage(), "from a thread");
}

}  // namespace
