// How the engine stops. The service (and systemd, and Ctrl+C on the
// console) ends it with SIGTERM or SIGINT; killed outright, it would leave
// its clients hanging and its spool files behind in the shared cache
// folder. Instead the listener stops accepting, the live connections are
// ended, their workers get a moment to finish, the files go, and the
// engine exits with 0.
#pragma once

#include <chrono>
#include <string>

#include "engine/core/engine_settings.h"

namespace engine {

// How long the workers of ended connections get to finish.
inline constexpr std::chrono::milliseconds kStopWorkerWait{3000};
// How long connections held for a transaction under way get to finish it.
inline constexpr std::chrono::milliseconds kStopTransactionWait{30000};

// Blocks SIGTERM and SIGINT in the calling thread, and so in every thread
// it starts later, and turns them into a descriptor that becomes readable
// while one is pending. Call before any other thread starts. When the
// descriptor can't be made, the signals keep ending the engine at once.
void ArmStopSignals();
// The descriptor (-1 when not armed), for the listener's wait.
int StopSignalDescriptor();
// True when a stop signal is pending.
bool StopRequested();

// Deletes the request and spool files of an engine of `protocol` in the
// cache folder ("req-<protocol>-..."); other protocols' files stay.
void DeleteSpoolFiles(const std::string& dataFolder, int protocol);

// The stop, once the listener has closed its sockets: ends the live
// connections, waits for their workers (at most kStopWorkerWait, or
// kStopTransactionWait while a held connection finishes), deletes
// the spool files and ends the process with 0. Workers that are still
// running end with the process.
[[noreturn]] void FinishStop(const EngineSettings& settings);

}  // namespace engine
