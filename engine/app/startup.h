// The engine's start-up and clean-up around the listener.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The whole of main: reads the options, makes the folders, prints the
// banner, writes the settings log, serves clients and cleans up. 1 when,
// its ports bound and root left, the engine cannot use its spool and
// cache folders, else 0; a stop signal ends the process with 0 from
// within.
int RunEngine(int argc, char** argv);

// The console banner for the lower-cased program path. Only text: the
// protocol is always the one -p chose.
const char* ProtocolBanner(std::string_view programPath);

// The folders the engine writes its spool and cache files in.
std::vector<std::string> WorkFolders();

// Listens and serves clients; returns only when listening is impossible
// or has failed, which ends the engine: false when it was the work folders
// that could not be used, which the log says. A stop signal ends the
// process here, once its connections are ended and its spool files gone.
bool ServeClients();

}  // namespace engine
