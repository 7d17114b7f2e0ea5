// The service's dealings with programs by file name: ending its children,
// asking whether one runs, probing the scan server, running the updater.
// Names are looked for among the programs of the install folder (the
// current folder), so a copy installed elsewhere is left alone.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace service {

// The names the kill pass ends, in order; the scan server, the updater and
// the watchers only when the scan server is installed.
std::vector<std::string> KillList(bool enginePresent);

// Ends every running program on the kill list and waits for each to go.
void TerminateChildren(bool enginePresent);

// True when no program of that name runs.
bool IsProcessAbsent(const std::string& name);

// True when the scan server's pipe answered a scan request for `path`
// (whatever its verdict); the verdict goes to `reply`. A server that takes
// the request and never answers fails the probe after a while.
bool ProbeScanEngine(const std::string& path, std::string* reply);

// Remembers a started server (path and argv as it was started with), so
// that its end is logged and it is started again.
void WatchChild(pid_t pid, const std::string& name, const std::string& path, const std::vector<std::string>& argv);
// Collects every child that has ended and logs each watched one with its
// exit status, unless the service is stopping (which ends them itself).
// A server that ended without being asked to is started again after a
// pause that doubles from 1 s to 60 s while it keeps ending, and is 1 s
// again once it has run for 10 minutes; each start is logged. Called
// often (at least every second or so): the restarts that are due happen
// here.
void ReportEndedChildren();

// The updater's arguments after its program name, from the settings.
std::vector<std::string> UpdaterArguments();

// Runs the updater when scanning is on and waits (bounded) for it to end.
void RunUpdater();

// True when the scan server is installed in the current folder.
bool EnginePresent();

}  // namespace service
