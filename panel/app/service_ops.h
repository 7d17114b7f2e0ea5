// The service as the tray menu controls it: each operation reports by
// balloon and returns the state afterwards, as QueryServiceState gives it.
#pragma once

#include <QString>
#include <string>

namespace panel {

inline constexpr char kServiceName[] = "VELQORSV2";
inline constexpr char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\VELQORSV2";
inline constexpr char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\VELQORSV2";

// 1 running, 0 stopped (inactive or failed), -1 anything else: no unit,
// starting or stopping, or a state that cannot be read.
int QueryServiceState(const std::string& name);

// Start and stop ask systemd and do not wait; a service in another state
// than the one they act on gets no balloon.
int StartServiceByName(const std::string& name);
int StopServiceByName(const std::string& name);
// A running service is asked to stop and its unit is deleted at once; the
// event-log key goes only with the unit.
int DeleteServiceByName(const std::string& name);
// Writes the unit for velqors of the program folder, as velqors -install
// does, and enables it (the register command starts it with the system).
int RegisterServiceByName(const std::string& name);

// The balloon title of service control.
QString ServiceBalloonTitle();

}  // namespace panel
