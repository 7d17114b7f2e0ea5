// The service manager and event log as a service program meets them, on
// Linux: systemd runs the service (the stop control arrives as SIGTERM and
// status reports go out over $NOTIFY_SOCKET), a console run gets Ctrl+C as
// SIGINT and Ctrl+Break as SIGQUIT, installing writes a systemd unit, and
// events go to syslog. Error results are Win32 numbers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Service states, controls and the status record.
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceStartPending = 2;
constexpr uint32_t kServiceStopPending = 3;
constexpr uint32_t kServiceRunning = 4;

constexpr uint32_t kServiceControlStop = 1;
constexpr uint32_t kServiceControlInterrogate = 4;
constexpr uint32_t kServiceAcceptStop = 1;
constexpr uint32_t kServiceWin32OwnProcess = 0x10;

struct ServiceStatus {
    uint32_t serviceType = kServiceWin32OwnProcess;
    uint32_t currentState = kServiceStopped;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};

using ServiceMainFunction = void (*)(int argc, char** argv);
using ServiceControlHandler = void (*)(uint32_t control);

// Runs `serviceMain` on this thread when the program was started by the
// service manager (systemd gives a Type=notify unit $NOTIFY_SOCKET), and
// returns 0 once it has returned; meanwhile SIGTERM is delivered to the
// registered control handler as the stop control, on a thread of its own.
// Returns kErrorFailedServiceControllerConnect when the program was started
// some other way.
int StartServiceCtrlDispatcher(const std::string& serviceName, ServiceMainFunction serviceMain, int argc,
                               char** argv);

// Registers the control handler of the running service. A stop that
// arrived before it was registered is delivered at once.
bool RegisterServiceCtrlHandler(const std::string& serviceName, ServiceControlHandler handler);

// Tells the service manager the service's state (READY=1 when running,
// STOPPING=1 when stopping, STATUS= always). Without $NOTIFY_SOCKET there
// is nobody to tell and the report succeeds; false when the report could
// not be sent.
bool SetServiceStatus(const ServiceStatus& status);

// Console control events of a console run.
constexpr uint32_t kCtrlCEvent = 0;      // SIGINT
constexpr uint32_t kCtrlBreakEvent = 1;  // SIGQUIT
constexpr uint32_t kCtrlCloseEvent = 2;  // SIGTERM, SIGHUP
using ConsoleCtrlHandler = bool (*)(uint32_t event);

// add: the handler receives the console control events on a thread of its
// own from now on; an event it does not handle (result false) ends the
// program with the signal's usual exit status. !add: the handler is removed
// and the signals get their usual effect again. Call it before starting
// other threads, so that no other thread receives these signals.
bool SetConsoleCtrlHandler(ConsoleCtrlHandler handler, bool add);

// Installation as a systemd unit "<name in lower case>.service" in
// $VELQOR_SYSTEMD_DIR (default /etc/systemd/system), with the
// systemctl of $VELQOR_SYSTEMCTL (default "systemctl").
struct ServiceDefinition {
    std::string name;         // "VELQORSV2"
    std::string displayName;  // the unit's Description
    std::string binaryPath;   // ExecStart, an absolute path
    std::vector<std::pair<std::string, std::string>> environment;
    // The unit's UMask= when not empty (the service's files then stay its
    // group's from the first one it makes).
    std::string umask;
};

std::string ServiceUnitFolder();
std::string ServiceUnitPath(const std::string& serviceName);

// 0 when services can be installed here (the unit folder exists and is
// writable), else a Win32 error.
int OpenServiceManager();
// Writes the unit (demand start: it is not enabled; ordered after the
// network is online), lets systemd reload, and records ImagePath under
// SYSTEM\CurrentControlSet\Services\<name> in the registry, as a wide
// (UTF-16) string so that a path in any letters reads back as it was.
// kErrorServiceExists when the unit is already there.
int CreateService(const ServiceDefinition& definition);
// 0 when the service is installed, else kErrorServiceDoesNotExist.
int OpenService(const std::string& serviceName);
// Sends the stop control: 0 when the service ran and was asked to stop,
// kErrorServiceNotActive when it was not running.
int ControlServiceStop(const std::string& serviceName);
// The service's state as systemd reports it (kServiceStopped when systemd
// cannot tell). 0, or kErrorServiceDoesNotExist.
int QueryServiceState(const std::string& serviceName, uint32_t* state);
// Asks systemd to start the service without waiting for it: 0, or
// kErrorServiceDoesNotExist, or kErrorServiceNotActive when systemctl
// refused.
int StartService(const std::string& serviceName);
// Makes the service start with the system: 0, or as StartService.
int EnableService(const std::string& serviceName);
// Deletes the unit, lets systemd reload, and removes the service's
// registry key. kErrorServiceDoesNotExist when it is not installed.
int DeleteService(const std::string& serviceName);

// The system's text for a Win32 error number, without a line end.
std::string Win32ErrorMessage(int error);

// Event log: one syslog message with `source` as ident (sent to the
// datagram socket $VELQOR_SYSLOG_SOCKET instead, when that is set).
constexpr uint16_t kEventLogErrorType = 1;
constexpr uint16_t kEventLogWarningType = 2;
constexpr uint16_t kEventLogInformationType = 4;
void ReportEvent(const std::string& source, uint16_t type, const std::string& message);

}  // namespace platform
