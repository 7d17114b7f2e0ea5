// orqbackup: saves and restores the product's registry key and data folder,
// and carries an older installation's settings over.
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "tools/backup/backup_console.h"
#include "tools/backup/backup_flow.h"

namespace {

// Waits for one key on a terminal. Started by the control panel or a
// script there is nobody to press it, so the wait is left out.
void WaitForKey() {
    if (!isatty(STDIN_FILENO)) return;
    termios saved;
    bool raw = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (raw) {
        termios once = saved;
        once.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        once.c_cc[VMIN] = 1;
        once.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &once);
    }
    char c;
    while (read(STDIN_FILENO, &c, 1) < 0 && errno == EINTR) {
    }
    if (raw) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

}  // namespace

int main(int argc, char** argv) {
    setlocale(LC_ALL, "");
    backup::Console& out = backup::Out();
    out.Say("Start Tavrisk VELQOR Server BACKUP/RESTORE 2.01.\n");

    backup::RunSettings settings;
    backup::FindDataFolders(settings);
    if (!backup::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), settings)) return 0;
    if (settings.bDisp) {
        out.Say("nZRev = " + std::to_string(settings.nZRev) + "\n");
        out.Say("bMode = " + std::to_string(settings.bMode) + "\n");
        out.Say("bDisp = " + std::to_string(settings.bDisp) + "\n");
        out.Say("mTarget = ");
        out.SayBytes(settings.mTarget + "\n");
    }
    if (settings.bMode == 1) {
        backup::RunRestore(settings);
    } else if (backup::RunBackup(settings) && settings.nZRev > 10) {
        backup::RunRestore(settings);
    }
    out.Say("何かキーを押してください。\n");
    WaitForKey();
    return out.failures() == 0 ? 0 : 1;
}
