#include "panel/app/running_programs.h"

#include <string>

#include "common/ascii_case.h"
#include "panel/framework/panel_state.h"
#include "platform/process/process.h"

namespace panel {

bool IsProcessAbsent(std::string_view fileName) {
    std::string name(fileName);
    if (name.size() > 4 && common::EqualsIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".exe"))
        name.resize(name.size() - 4);
    return platform::FindProcesses(name, State().programFolder).empty();
}

}  // namespace panel
