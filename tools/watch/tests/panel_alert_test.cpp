// The watcher and the real control panel: orqfile's alert reaches the
// panel's alert pipe (headless), and the administrator's Yes deletes the
// file.
#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "engine/tests/avstub/avstub.h"
#include "panel/app/alert_dlg.h"
#include "panel/app/tolvane_dlg.h"
#include "panel/framework/look.h"
#include "panel/framework/panel_state.h"
#include "panel_test_support.h"

namespace {

class PanelAlertTest : public paneltest::PanelTest {};

TEST_F(PanelAlertTest, WatcherAlertAnsweredYesDeletesTheFile) {
    panel::State().desktop = {0, 0, 1280, 1024};
    panel::TolvaneDlg tray;
    tray.OnInitDialog();
    auto scanner = avstub::Start({pipeDir(), dir_ / "scan.log"});
    const std::string watched = dir_ / "watched";
    testsupport::MakeDirs(watched);

    testsupport::Process::Options options;
    options.env = {{"VELQOR_PIPE_DIR", pipeDir()}, {"VELQOR_TEST_DATA_ROOT", dataRoot()}};
    testsupport::Process orqfile({testsupport::BinPath("orqfile"), "-d=" + watched, "-e=VELQOR_TEST_DATA_ROOT"},
                                 options);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return orqfile.out().find("watching 1 folders") != std::string::npos; }));

    // Yes on every pop-up once it has slid in.
    std::vector<std::string> shown;
    QTimer answerer;
    answerer.setInterval(5);
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* alert = qobject_cast<panel::Alert*>(widget);
            if (!alert || !alert->isVisible() || alert->Sliding() || alert->property("answered").toBool()) continue;
            alert->setProperty("answered", true);
            shown.push_back(alert->message.toStdString());
            panel::Control<QPushButton>(alert, 1)->click();
        }
    });
    answerer.start();

    const std::string infected = watched + "/eicar.com";
    testsupport::WriteFile(infected, avstub::kEicarTestString);
    bool gone = testsupport::WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return !testsupport::FileExists(infected);
        },
        std::chrono::seconds(30));
    EXPECT_TRUE(gone) << orqfile.out();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find(std::string("[EICAR-Test-File] ") + infected), std::string::npos) << shown[0];
    // The watcher got the panel's answer and went on.
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        return orqfile.out().find(std::string("[EICAR-Test-File] ") + infected + " --- O\n") != std::string::npos;
    }));
}

}  // namespace
