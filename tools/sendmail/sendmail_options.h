// The mail sender's command line and usage text.
#pragma once

#include <string>
#include <string_view>

#include "sendmail_settings.h"

namespace sendmail {

// Applies one argument. Anything that is not a known option is a recipient
// (or a comma-separated list of them), the option-looking words the usage
// text shows included.
void ParseOption(SendmailSettings& settings, std::string_view argument);

// ParseOption for argv[1] .. argv[argc - 1], in order.
void ParseCommandLine(SendmailSettings& settings, int argc, char** argv);

// The usage text, every line ending in a newline.
const std::string& UsageText();

// Prints the usage text and ends the process with exit code 0.
[[noreturn]] void PrintUsage();

}  // namespace sendmail
