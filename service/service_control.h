// The service as the service manager sees it: its main function, its
// control handler, its status reports, and the console mode of -debug.
#pragma once

#include <cstdint>

namespace service {

// Reports a state to the service manager (nothing to report in -debug
// mode). False when the report was refused, which is logged as event 201.
bool ReportServiceStatus(uint32_t state, uint32_t exitCode, uint32_t waitHint);

void ServiceMain(int argc, char** argv);
void ServiceControlHandler(uint32_t control);
bool ConsoleCtrlHandler(uint32_t event);

// -debug: runs the service in the console until Ctrl+C or Ctrl+Break;
// false when it could not start (the reason is on the console).
bool DebugService();

}  // namespace service
