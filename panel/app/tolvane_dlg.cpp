#include "panel/app/tolvane_dlg.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <cstdio>

#include "panel/app/about_dlg.h"
#include "panel/app/alert_pipe.h"
#include "panel/app/running_programs.h"
#include "panel/app/service_ops.h"
#include "panel/app/tray_icon_record.h"
#include "panel/framework/help_viewer.h"
#include "panel/framework/look.h"
#include "panel/framework/message_box.h"
#include "panel/framework/outside_program.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"
#include "panel/framework/settings_window.h"
#include "panel/framework/strings.h"

namespace panel {
namespace {

constexpr int kStart = 32774, kStop = 32775, kRegister = 32776, kDelete = 32777, kTest = 32773;
constexpr int kProperties = 166, kHelp = 9, kAbout = 16, kExit = 1;

QAction* AddCommand(QMenu* menu, int id, const char* text) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setObjectName(QString::number(id));
    return action;
}

QAction* FindCommand(QMenu* menu, int id) { return menu ? menu->findChild<QAction*>(QString::number(id)) : nullptr; }

void Enable(QMenu* menu, int id, bool enabled) {
    if (QAction* action = FindCommand(menu, id)) action->setEnabled(enabled);
}

void Notice(const char* text) { TrayNotice(ServiceBalloonTitle(), QString::fromUtf8(text)); }

}  // namespace

void SetServiceMenuState(QMenu* menu, int state) {
    Enable(menu, kStart, state == 0);
    Enable(menu, kStop, state == 1);
    Enable(menu, kDelete, state == 0 || state == 1);
    Enable(menu, kRegister, state == -1);
    Enable(menu, kTest, state == 0);
}

std::string HomePageCommand() {
    std::string command;
    RegReadString(RegRoot::ClassesRoot, "htmlfile\\shell\\open\\command", "", "", command, 522);
    if (size_t blank = command.find_last_of(' '); blank != std::string::npos) command.resize(blank);
    std::string prefix;
    for (char c : command)
        if (c != '"') prefix += c;
    return prefix;
}

TolvaneDlg::TolvaneDlg(TrayOptions options) : options_(std::move(options)) {
    BuildMenu();
    restartTimer_.setInterval(options_.restartPollMs);
    connect(&restartTimer_, &QTimer::timeout, this, &TolvaneDlg::RestartStep);
}

TolvaneDlg::~TolvaneDlg() {
    alerts_.reset();
    if (TrayRecord() == record_.get()) SetTrayRecord(nullptr);
}

void TolvaneDlg::BuildMenu() {
    menu_ = std::make_unique<QMenu>();
    menu_->setFont(DialogFont());
    QMenu* service = menu_->addMenu(QString::fromUtf8("ｻｰﾋﾞｽ(&S)"));
    AddCommand(service, kStart, "開始(&G)");
    AddCommand(service, kStop, "停止(&P)");
    service->addSeparator();
    AddCommand(service, kRegister, "登録(&I)");
    AddCommand(service, kDelete, "削除(&R)");
    service->addSeparator();
    AddCommand(service, kTest, "テスト(&T)");
    menu_->addSeparator();
    AddCommand(menu_.get(), kProperties, "プロパティ(&P)");
    menu_->addSeparator();
    AddCommand(menu_.get(), kHelp, "使い方(&H)");
    AddCommand(menu_.get(), kAbout, "バージョン情報(&A)");
    menu_->addSeparator();
    AddCommand(menu_.get(), kExit, "終了(&X)");

    connect(menu_.get(), &QMenu::aboutToShow, this, &TolvaneDlg::OnInitMenuPopup);
    connect(Command(kStart), &QAction::triggered, this, &TolvaneDlg::OnServiceStart);
    connect(Command(kStop), &QAction::triggered, this, &TolvaneDlg::OnServiceStop);
    connect(Command(kRegister), &QAction::triggered, this, &TolvaneDlg::OnServiceRegister);
    connect(Command(kDelete), &QAction::triggered, this, &TolvaneDlg::OnServiceDelete);
    connect(Command(kTest), &QAction::triggered, this, &TolvaneDlg::OnServiceTest);
    connect(Command(kProperties), &QAction::triggered, this, &TolvaneDlg::OnProperties);
    connect(Command(kHelp), &QAction::triggered, this, &TolvaneDlg::OnHelp);
    connect(Command(kAbout), &QAction::triggered, this, &TolvaneDlg::OnAbout);
    connect(Command(kExit), &QAction::triggered, [] { QCoreApplication::exit(0); });
}

QAction* TolvaneDlg::Command(int id) const { return FindCommand(menu_.get(), id); }

void TolvaneDlg::OnInitDialog() {
    if (initialised_) return;
    initialised_ = true;
    icon_ = new QSystemTrayIcon(QIcon(Picture(128, QSize(64, 64))), this);
    icon_->setContextMenu(menu_.get());
    connect(icon_, &QSystemTrayIcon::activated, this, &TolvaneDlg::OnTrayActivated);
    record_ = std::make_unique<TrayIconRecord>(icon_);
    record_->SetTip(LoadString(102));
    SetTrayRecord(record_.get());
    // Without a tray host the panel runs all the same; Qt shows the icon
    // once a host appears.
    icon_->show();
    alerts_ = std::make_unique<AlertPipeServer>(this, ShowAlert, options_.alertReadLimitMs);
    alerts_->Start();
}

int TolvaneDlg::DoModal() {
    // The tray window is never shown: closing a dialog must not end the panel.
    QApplication::setQuitOnLastWindowClosed(false);
    OnInitDialog();
    return QApplication::exec();
}

void TolvaneDlg::OnInitMenuPopup() {
    SetServiceMenuState(menu_.get(), QueryServiceState(kServiceName));
    if (Restarting())
        for (int id : {kStart, kStop, kRegister, kDelete, kTest, kProperties}) Enable(menu_.get(), id, false);
}

void TolvaneDlg::OnServiceStart() {
    StartServiceByName(kServiceName);
    if (options_.startUpdateCheck) options_.startUpdateCheck();
}

void TolvaneDlg::OnServiceStop() { StopServiceByName(kServiceName); }
void TolvaneDlg::OnServiceRegister() { RegisterServiceByName(kServiceName); }
void TolvaneDlg::OnServiceDelete() { DeleteServiceByName(kServiceName); }

void TolvaneDlg::OnServiceTest() {
    std::string image;
    RegReadString(RegRoot::LocalMachine, kServiceKey, "ImagePath", "", image, 512);
    size_t slash = image.find_last_of('/');
    if (slash == std::string::npos) return;
    StartOutsideProgram(CommandPrefix("VELQOR_TERMINAL", "x-terminal-emulator -e"),
                        {image.substr(0, slash + 1) + "velqors", "-debug"});
}

void TolvaneDlg::OnProperties() {
    if (Restarting()) return;
    SettingsWindow window(options_.settingsPages);
    window.fromTray = true;
    if (window.DoModal() != QDialog::Accepted) return;
    if (ShowMessage(nullptr, LoadString(179), QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes)
        return;
    StopServiceByName(kServiceName);
    Notice("停止中です。...");
    // The wait runs by timer, so the tray answers meanwhile; a service
    // program that ignores the stop (one run with -debug) ends it at the
    // limit, without a start.
    restartDeadline_ = QDeadlineTimer(options_.restartLimitMs);
    restartTimer_.start(options_.restartPollMs);
    RestartStep();
}

void TolvaneDlg::RestartStep() {
    if (IsProcessAbsent("velqors.exe")) {
        restartTimer_.stop();
        if (StartServiceByName(kServiceName) != 0) Notice("再起動しました。");
        return;
    }
    if (restartDeadline_.hasExpired()) {
        restartTimer_.stop();
        Notice("停止できませんでした。");
    }
}

void TolvaneDlg::OnHelp() { ShowHelpIndex(); }

void TolvaneDlg::OnAbout() {
    AboutDlg about;
    about.DoModal();
}

void TolvaneDlg::OnHomePage() {
    std::string prefix = HomePageCommand();
    if (!prefix.empty()) StartOutsideProgram(prefix, {HelpTopicPath()});
}

void TolvaneDlg::OnTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) OnHomePage();
}

}  // namespace panel
