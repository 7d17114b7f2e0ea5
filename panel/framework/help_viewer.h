// The help: its index page opened in the viewer registered for help files.
#pragma once

#include <string>
#include <string_view>

namespace panel {

// The program path of a command registered for a file type: the text after
// its first double quote, %VAR% references expanded, up to the next double
// quote or line end.
std::string ExpandShellCommand(std::string_view command);

// Opens the help's index page in the registered viewer; whether it started.
bool ShowHelpIndex();

}  // namespace panel
