// The engine's command line.
#pragma once

#include <string>
#include <vector>

#include "engine/core/engine_settings.h"

namespace engine {

// Fills Settings() from the option arguments (argv[1] on), in order: -e
// before -p and -a, -p before -f, -t and -n, -l after -f replaces the
// list. -v and -w take effect before any other option, wherever they
// stand, so the lines written while the options are read already reach
// the console and the file. Unknown or malformed options are ignored.
void GetOption(int argc, char** argv);
void GetOption(const std::vector<std::string>& args);  // args[0] is the program

// Sets the protocol's file set, time-outs and port range as -p=<n> does.
void SelectProtocol(EngineSettings& settings, int protocol);

// The protocol word of the file set ("http", "smtp", ...).
const char* ProtocolWord(int protocol);

}  // namespace engine
