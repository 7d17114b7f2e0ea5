#include "panel/framework/help_viewer.h"

#include <cstdlib>

#include "panel/framework/outside_program.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"

namespace panel {

std::string ExpandShellCommand(std::string_view command) {
    std::string program;
    std::string_view rest = command;
    if (size_t quote = rest.find('"'); quote != std::string_view::npos) rest.remove_prefix(quote + 1);
    for (;;) {
        size_t open = rest.find('%');
        if (open == std::string_view::npos) break;
        size_t close = rest.find('%', open + 1);
        if (close == std::string_view::npos) break;
        program.append(rest.substr(0, open));
        std::string variable(rest.substr(open + 1, close - open - 1));
        if (const char* value = std::getenv(variable.c_str())) program += value;
        rest.remove_prefix(close + 1);
    }
    constexpr std::string_view kDelimiters = "\"\r\n";
    size_t start = rest.find_first_not_of(kDelimiters);
    if (start != std::string_view::npos) {
        rest.remove_prefix(start);
        program.append(rest.substr(0, rest.find_first_of(kDelimiters)));
    }
    return program;
}

bool ShowHelpIndex() {
    std::string command;
    RegReadString(RegRoot::ClassesRoot, "chm.file\\shell\\open\\command", "", "", command, 512);
    return StartOutsideProgram(ExpandShellCommand(command), {HelpTopicPath()});
}

}  // namespace panel
