// velqorctl: the control panel.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <climits>
#include <string>
#include <vector>

#include "panel/antivirus/antivirus_pages.h"
#include "panel/app/on_demand_dlg.h"
#include "panel/app/startup.h"
#include "panel/app/tolvane_dlg.h"
#include "panel/app/update_check.h"
#include "panel/mailpages/mail_filter_pages.h"
#include "panel/mailpages/mail_pages.h"
#include "panel/webpages/auth_pages.h"
#include "panel/webpages/web_pages.h"

int main(int argc, char** argv) {
    // Files and sockets for the administrators' group, whatever the caller's
    // umask.
    ::umask(0007);
    QApplication application(argc, argv);
    char self[PATH_MAX] = {};
    ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string program = length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string(argv[0]);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    panel::RegisterAntiVirusPages();
    panel::RegisterMailPages();
    panel::RegisterMailFilterPages();
    panel::RegisterWebPages();
    panel::RegisterAuthPages();
    panel::StartupSeams seams;
    seams.startUpdateCheck = panel::StartUpdateCheck;
    seams.runScanWindow = [](const std::string& target) {
        panel::COnDemandDlg window;
        window.target = target;
        window.DoModal();
    };
    seams.runTrayWindow = [&seams] {
        panel::TrayOptions options;
        options.startUpdateCheck = seams.startUpdateCheck;
        panel::TolvaneDlg tray(options);
        tray.DoModal();
    };
    int code = panel::RunPanel(program, arguments, seams);
    panel::StopUpdateChecks();
    panel::StopScanThreads();
    return code;
}
