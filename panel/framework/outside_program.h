// Programs the panel only starts and never waits for: the list editor, the
// help viewer, the backup tool. Each is started detached from the panel's
// descriptors, with every argument passed whole; ended ones are collected
// by ReapOutsidePrograms, so none lingers as a zombie.
#pragma once

#include <string>
#include <vector>

namespace panel {

// The command prefix an environment variable overrides, or the default;
// the prefix is split at blanks.
std::string CommandPrefix(const char* overrideVariable, const std::string& fallback);
// The editor of list files: $VELQOR_EDITOR or "l3afpad --codeset=CP932".
std::string EditorPrefix();

// Starts `prefix` (split at blanks; its program looked up in PATH when it
// holds no "/") with `arguments` added whole. False when it did not start.
bool StartOutsideProgram(const std::string& prefix, const std::vector<std::string>& arguments);
// Starts argv[0] (a path, or a name looked up in PATH) with the rest of
// `argv`, each passed whole.
bool StartProgram(std::vector<std::string> argv);

void ReapOutsidePrograms();

}  // namespace panel
