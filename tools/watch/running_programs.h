// The running programs of the machine, each with its modules: the program
// file, then every other file it has mapped executable (its libraries).
#pragma once

namespace watch {

// Scans each module of each running program; a program with a finding is
// ended (never this program or pid 1) and the finding sent as an alert.
// Prints the process table on the console.
void ScanRunningPrograms();

}  // namespace watch
