// The service's event-log source and its events (they reach syslog with
// "VELQORSV2" as ident).
#pragma once

#include <cstdint>
#include <string>

namespace service {

enum class EventType { Error, Warning, Information };

// Registers the source under the registry's event-log key when it is
// missing: 0 or a registry error.
int InstallEventSource();

// Reports event `eventNumber`: its first text is `firstTextFormat` with
// "%s" filled by the service name and "%d" by the saved error, its second
// `text`. An error event first saves `lastError` as the saved error.
void ReportServiceEvent(const std::string& text, int eventNumber, const std::string& firstTextFormat,
                        EventType type, uint32_t lastError = 0);

// The error code of the last error event (0 when there was none); the
// service reports it as its exit code when it stops.
uint32_t SavedError();

// "<program folder>/<program file name, its extension replaced by .dll>".
std::string EventMessageFilePath(const std::string& programPath);

// The path of the running program, symbolic links resolved ("" when it
// cannot be read).
std::string OwnProgramPath();

}  // namespace service
