#include "service/service_control.h"

#include <cerrno>
#include <mutex>

#include "platform/service/service.h"
#include "service/event_source.h"
#include "service/run_service.h"
#include "service/service_context.h"
#include "service/service_log.h"
#include "service/service_names.h"

namespace service {

namespace {

std::mutex statusLock;
platform::ServiceStatus status;
uint32_t checkPoint = 1;

void StopFromConsole() {
    WriteConsole(std::string("Stopping ") + kDisplayName + ".\n");
    StopService();
}

}  // namespace

bool ReportServiceStatus(uint32_t state, uint32_t exitCode, uint32_t waitHint) {
    if (Settings().debug) return true;
    bool ok;
    {
        std::lock_guard<std::mutex> guard(statusLock);
        status.serviceType = platform::kServiceWin32OwnProcess;
        status.serviceSpecificExitCode = 0;
        status.currentState = state;
        status.win32ExitCode = exitCode;
        status.waitHint = waitHint;
        status.controlsAccepted = state == platform::kServiceStartPending ? 0 : platform::kServiceAcceptStop;
        if (state == platform::kServiceRunning || state == platform::kServiceStopped)
            status.checkPoint = 0;
        else
            status.checkPoint = checkPoint++;
        ok = platform::SetServiceStatus(status);
    }
    if (!ok) ReportServiceEvent("SetServiceStatus", 201, "%s error: %d", EventType::Error, errno);
    return ok;
}

void ServiceMain(int, char**) {
    if (!platform::RegisterServiceCtrlHandler(kServiceName, ServiceControlHandler)) return;
    if (ReportServiceStatus(platform::kServiceStartPending, 0, 3000)) RunService();
    ReportServiceStatus(platform::kServiceStopped, SavedError(), 0);
}

void ServiceControlHandler(uint32_t control) {
    if (control == platform::kServiceControlStop) {
        ReportServiceStatus(platform::kServiceStopPending, 0, 5000);
        StopService();
        return;
    }
    uint32_t current;
    {
        std::lock_guard<std::mutex> guard(statusLock);
        current = status.currentState;
    }
    ReportServiceStatus(current, 0, 0);
}

bool ConsoleCtrlHandler(uint32_t event) {
    switch (event) {
    case platform::kCtrlBreakEvent:
        WriteConsole("use Ctrl+C or Ctrl+Break to simulate.\n");
        [[fallthrough]];
    case platform::kCtrlCEvent:
    // A console run asked to end (SIGTERM) ends its children as well.
    case platform::kCtrlCloseEvent:
        WriteConsole("SERVICE_CONTROL_STOP in debug mode.\n");
        StopFromConsole();
        return true;
    default:
        return false;
    }
}

bool DebugService() {
    Settings().debug = true;
    WriteConsole(std::string("Debugging ") + kDisplayName + ".\n");
    platform::SetConsoleCtrlHandler(ConsoleCtrlHandler, true);
    bool ran = RunService();
    platform::SetConsoleCtrlHandler(ConsoleCtrlHandler, false);
    return ran;
}

}  // namespace service
