#include "engine/core/engine_stop.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "engine/core/live_connections.h"

namespace engine {
namespace {

int stopDescriptor = -1;

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    return signals;
}

}  // namespace

void ArmStopSignals() {
    if (stopDescriptor >= 0) return;
    const sigset_t signals = StopSignals();
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
    stopDescriptor = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (stopDescriptor < 0) pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

int StopSignalDescriptor() { return stopDescriptor; }

bool StopRequested() {
    if (stopDescriptor < 0) return false;
    pollfd pending{stopDescriptor, POLLIN, 0};
    return ::poll(&pending, 1, 0) > 0;
}

void DeleteSpoolFiles(const std::string& dataFolder, int protocol) {
    const std::string prefix = "req-" + std::to_string(protocol) + "-";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dataFolder + "cache", ec)) {
        if (entry.path().filename().string().rfind(prefix, 0) != 0) continue;
        std::error_code ignored;  // a file that can't go is left, as after a crash
        std::filesystem::remove(entry.path(), ignored);
    }
}

void FinishStop(const EngineSettings& settings) {
    const bool held = EndLiveConnections();
    WaitUntilNoLiveConnections(std::chrono::steady_clock::now() + (held ? kStopTransactionWait : kStopWorkerWait));
    DeleteSpoolFiles(settings.dataFolder, settings.protocol);
    // Workers still running may hold any lock or object: no destructor may
    // run under them.
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace engine
