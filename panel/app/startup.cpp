#include "panel/app/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "common/data_folder.h"
#include "panel/app/running_programs.h"
#include "panel/app/startup_steps.h"
#include "panel/framework/message_box.h"
#include "panel/framework/outside_program.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"
#include "panel/framework/settings_window.h"
#include "panel/framework/strings.h"
#include "platform/pipe/named_mutex.h"
#include "platform/win32_errors.h"

namespace panel {
namespace {

bool IsDirectory(const std::string& path) {
    struct stat entry;
    return ::stat(path.c_str(), &entry) == 0 && S_ISDIR(entry.st_mode);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void StoreDesktop() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->geometry();
    State().desktop = {area.left(), area.top(), area.right() + 1, area.bottom() + 1};
}

std::string SingleInstanceMutexName() {
    return LoadString(105).replace(QStringLiteral("%s"), LoadString(102)).toStdString();
}

int RunScanMode(const std::string& argument, const StartupSeams& seams) {
    State().scanWindowOpen = true;
    std::string target = argument;
    if (IsDirectory(target)) target += "/";
    if (IsProcessAbsent("orqavs.exe")) {
        ShowMessage(nullptr, LoadString(178), QMessageBox::Warning);
    } else if (seams.runScanWindow) {
        seams.runScanWindow(target);
    }
    return 0;
}

}  // namespace

bool MigrateOldVersion() {
    std::string older = common::LookUpDataRoot(State().dataRootVariable).path + "/PELLORA";
    if (!IsDirectory(older)) return false;
    if (ShowMessage(nullptr, LoadString(177), QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes)
        return false;
    if (StartProgram({State().programFolder + "/orqbackup", "-v=12", "-o"})) return true;
    // Ending now would leave nothing migrated and nothing set up.
    std::fprintf(stderr, "velqorctl: %s/orqbackup did not start; the settings were not taken over\n",
                 State().programFolder.c_str());
    return false;
}

int RunPanel(const std::string& programPath, const std::vector<std::string>& arguments, const StartupSeams& seams) {
    State().dataRootVariable = AdoptDataRootVariable();
    CreateDataFolder();
    StoreDesktop();
    const std::string mutexName = SingleInstanceMutexName();
    SetupMailServerRegistry();
    State().programFolder = FolderOf(programPath);
    if (!arguments.empty()) return RunScanMode(arguments.front(), seams);

    platform::NamedMutex guard(mutexName);
    if (guard.error() == platform::kErrorAlreadyExists) return 0;
    if (!guard.owned()) {
        std::fprintf(stderr, "velqorctl: the single-copy guard \"%s\" cannot be taken (error %d)\n",
                     mutexName.c_str(), guard.error());
        return 1;
    }
    if (::chdir(State().programFolder.c_str()) != 0)
        std::fprintf(stderr, "velqorctl: cannot change to %s\n", State().programFolder.c_str());
    RegEnsureKey(RegRoot::LocalMachine, kProductSettingsKey);

    // Programs the panel started are collected as they end.
    QTimer reaper;
    QObject::connect(&reaper, &QTimer::timeout, [] { ReapOutsidePrograms(); });
    reaper.start(1000);

    if (seams.startUpdateCheck) seams.startUpdateCheck();
    if (RegReadDword(kProductSettingsKey, "setup", 0) == 0) {
        if (MigrateOldVersion()) {
            ShowMessage(nullptr, LoadString(176), QMessageBox::Warning);
            return 0;
        }
        SettingsWindow window;
        if (window.DoModal() == QDialog::Accepted) RegWriteDword(kProductSettingsKey, "setup", 1);
    }
    if (seams.runTrayWindow) seams.runTrayWindow();
    return 0;
}

}  // namespace panel
