// The control panel's start: the process-wide state, the data folder, the
// single-copy guard, the first start (migration or the first settings
// window), then the tray window; or, given a path, the scan window alone.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace panel {

// The parts that later come from their own windows and threads; each does
// nothing when not given.
struct StartupSeams {
    std::function<void()> startUpdateCheck;
    std::function<void()> runTrayWindow;
    std::function<void(const std::string& target)> runScanWindow;
};

// Runs the panel (a QApplication must exist). `programPath` is the
// program's own file, `arguments` the command line after it. The exit code.
int RunPanel(const std::string& programPath, const std::vector<std::string>& arguments,
             const StartupSeams& seams = {});

// At the first start: when the data root holds the older installation's
// folder "PELLORA" and the administrator agrees, starts orqbackup to take
// its settings over. True when the backup tool started (the panel then
// ends); false when there was nothing to do, the answer was No, or the tool
// did not start.
bool MigrateOldVersion();

}  // namespace panel
