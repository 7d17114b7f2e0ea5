// The engine's start-up and clean-up around the listener.
#pragma once

#include <string_view>

namespace engine {

// The whole of main: reads the options, makes the folders, prints the
// banner, writes the settings log, serves clients and cleans up. Always 0;
// a stop signal ends the process with 0 from within.
int RunEngine(int argc, char** argv);

// The console banner for the lower-cased program path. Only text: the
// protocol is always the one -p chose.
const char* ProtocolBanner(std::string_view programPath);

// Listens and serves clients; returns only when listening is impossible
// or has failed, which ends the engine. A stop signal ends the process
// here, once its connections are ended and its spool files gone.
void ServeClients();

}  // namespace engine
