// Processes by executable name, the way the service supervisor knows its
// children: it keeps no handles between calls, only names.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace platform {

// A running process as /proc shows it. `name` is /proc/PID/comm, the file
// name the program was started under (a symlinked name counts as its own),
// cut by the kernel at 15 characters.
struct ProcessEntry {
    pid_t pid = 0;
    std::string name;
};

// Every process that has not ended. Zombies count as ended: a program that
// was killed is gone even when nobody has collected its exit status yet.
std::vector<ProcessEntry> ListProcesses();

// True when `comm` is what the kernel shows for a program started under
// the file name `name` (ASCII case ignored, 15-character cut applied).
bool ProcessNameMatches(const std::string& comm, const std::string& name);

// The running processes started under the file name `name`. With a
// `folder`, only those whose program file lies in that folder (the
// executable, or for a script run by its interpreter the script), so that
// the same program of another installation is left alone.
std::vector<pid_t> FindProcesses(const std::string& name, const std::string& folder = "");

// Sends the end request (SIGTERM), or with `force` SIGKILL. False when the
// process could not be signalled (gone, or not ours to end).
bool TerminateProcess(pid_t pid, bool force);

// Starts `path` with `argv` (argv[0] included), each argument passed whole,
// in `workFolder` (empty: the current folder); a relative `path` is taken
// from that folder. The child starts with the
// default signal dispositions and an empty signal mask, and inherits no
// descriptor beyond standard input, output and error. Returns the pid, or
// -1 with errno set. The child is remembered for ReapChildren.
pid_t StartChild(const std::string& path, const std::vector<std::string>& argv,
                 const std::string& workFolder = "");

// Collects the exit status of every child StartChild started that has
// ended, so none of them lingers as a zombie.
void ReapChildren();

// A child of StartChild that has ended, with its status as waitpid gave it.
struct EndedChild {
    pid_t pid = 0;
    int status = 0;
};
// The children collected (by ReapChildren or a process listing) since the
// last call, oldest first. Only the latest few are kept for a program that
// never asks.
std::vector<EndedChild> TakeEndedChildren();

struct ProgramResult {
    int exitCode = -1;   // -1: could not start, ended by a signal, or timed out
    std::string output;  // standard output and error together
};
// Runs a program (looked up in PATH when `argv[0]` has no slash), each
// argument passed whole, and waits for it at most `timeout`; a program that
// overruns is killed.
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace platform
