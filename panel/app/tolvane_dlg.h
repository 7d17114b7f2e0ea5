// The tray window: a window that is never shown and owns the tray icon,
// whose menu controls the service, opens the settings window, restarts the
// service so new settings act, and gives help, version and exit. It also
// serves the alert pipe.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>

#include "panel/framework/page_table.h"

class QAction;
class QMenu;

namespace panel {

class AlertPipeServer;
class TrayIconRecord;

struct TrayOptions {
    // Started again with each start of the service.
    std::function<void()> startUpdateCheck;
    // The settings window's pages.
    PageFactory settingsPages = DefaultPageFactory();
    // The restart looks for the service program this often and gives
    // up after the limit.
    int restartPollMs = 1000;
    int restartLimitMs = 60000;
    uint32_t alertReadLimitMs = 5000;
};

class TolvaneDlg : public QObject {
    Q_OBJECT
public:
    explicit TolvaneDlg(TrayOptions options = {});
    ~TolvaneDlg() override;

    // Fills the tray record, shows the icon and starts the alert pipe.
    void OnInitDialog();
    // OnInitDialog, then runs until "終了(&X)".
    int DoModal();

    // The tray menu's contents and its command of this id.
    QMenu* Menu() const { return menu_.get(); }
    QAction* Command(int id) const;
    QSystemTrayIcon* TrayIcon() const { return icon_; }
    TrayIconRecord* Record() const { return record_.get(); }
    // While a restart waits for the service program to end.
    bool Restarting() const { return restartTimer_.isActive(); }

public slots:
    void OnInitMenuPopup();
    void OnServiceStart();
    void OnServiceStop();
    void OnServiceRegister();
    void OnServiceDelete();
    void OnServiceTest();
    void OnProperties();
    void OnHelp();
    void OnAbout();
    void OnHomePage();
    void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);

private:
    void BuildMenu();
    void RestartStep();

    TrayOptions options_;
    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* icon_ = nullptr;
    std::unique_ptr<TrayIconRecord> record_;
    std::unique_ptr<AlertPipeServer> alerts_;
    QTimer restartTimer_;
    QDeadlineTimer restartDeadline_;
    bool initialised_ = false;
};

// Enables and greys the service commands for the state (1 running, 0
// stopped, -1 other) as the tray menu shows them.
void SetServiceMenuState(QMenu* menu, int state);

// The command prefix of the left click: the registered htmlfile command cut
// at its last blank, its quotes dropped.
std::string HomePageCommand();

}  // namespace panel
