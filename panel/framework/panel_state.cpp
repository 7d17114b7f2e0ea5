#include "panel/framework/panel_state.h"

#include <cstdio>

#include "common/data_folder.h"

namespace panel {

PanelState& State() {
    static PanelState state;
    return state;
}

std::string DataFolder() {
    return common::DataFolderPath(common::LookUpDataRoot(State().dataRootVariable).path);
}

std::string HelpTopicPath() {
    return State().programFolder + "/velqorctl.help/html/index.html";
}

bool ProgramPresent(const char* name) {
    std::string path = State().programFolder + "/" + name;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

}  // namespace panel
