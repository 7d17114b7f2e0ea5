// Process-wide state of the control panel, set once at start-up on the
// user-interface thread before any other thread starts, and only read
// afterwards.
#pragma once

#include <string>

#include "common/start_values.h"

namespace panel {

struct DesktopRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct PanelState {
    // Name of the environment variable whose value is the data root.
    std::string dataRootVariable = common::kDataRootVariable.byDefault;
    // Folder of the program, without a trailing "/"; also the current
    // directory, so the panel finds the server programs by bare name.
    std::string programFolder;
    DesktopRect desktop;
    bool scanWindowOpen = false;
};

PanelState& State();

// "<data root>/VELQOR/" (the root falls back to /var/lib when the variable
// is unset), ending with "/".
std::string DataFolder();
// The help topic beside the program: velqorctl.help/html/index.html.
std::string HelpTopicPath();
// Whether the program folder holds the program `name`, a file the panel
// can open, as the service looks for it.
bool ProgramPresent(const char* name);

}  // namespace panel
