// The autostart places the autostart watcher reads: the twelve Run-style
// registry keys and the two startup folders (XDG autostart).
#pragma once

#include <string>
#include <vector>

#include "platform/registry/registry.h"

namespace watch {

// The command of a Run value as it is scanned: cut at the first " -" (or,
// when there is none, the first " /"); a text that begins with a double
// quote is what lies between it and the next one.
std::string RunCommandPath(const std::string& data);

// Scans the command of every value of the key, whatever its size; a
// missing key is skipped.
void ScanRunKey(platform::HKEY root, const std::string& subKey);
// The twelve keys, in their order.
void ScanRunKeys();

// The programs a .desktop file starts: its first Exec= field, unquoted,
// looked up in PATH when it holds no "/"; when that is env, also the
// program env runs. Empty when it names no file.
std::vector<std::string> ResolveShortcutPrograms(const std::string& desktopFile);

// Scans every entry of the folder (ending in "/"): a .desktop file as the
// program it starts (itself when that cannot be found), others as they are.
void ScanStartupFolder(const std::string& folder);
// The user's and the common startup folder, when they can be named.
void ScanStartupFolders();

}  // namespace watch
