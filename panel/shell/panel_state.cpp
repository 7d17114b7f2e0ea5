#include "panel/shell/panel_state.h"

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

}  // namespace panel
