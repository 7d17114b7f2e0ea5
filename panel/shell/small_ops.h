// Small operations the start-up, the settings window and the pages share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace panel {

// The panel's own file version, most and least significant words.
void GetOwnFileVersion(uint32_t& mostSignificant, uint32_t& leastSignificant);

// Asks the anti-virus scan server about one file (a 512-byte request with
// the path in code page 932). 1 when it answered: `reply` is empty for a
// clean file (also for "Password-protected-EXE" in any case of letters),
// else the finding. 0 on a pipe failure, and for a path that does not fit
// the request: such a path is not sent at all, since a cut one would name
// another file.
int AvScanRequest(std::string_view path, std::string& reply);

// The server's drives for the watch pages: one drive, "/".
std::string ListServerDrives();

// True when no running program of the program folder has this file name
// (ASCII case ignored; a ".exe" ending is dropped).
bool IsProcessAbsent(std::string_view fileName);

// The program path of a command registered for a file type: the text after
// its first double quote, %VAR% references expanded, up to the next double
// quote or line end.
std::string ExpandShellCommand(std::string_view command);

// Opens the help's index page in the registered viewer; whether it started.
bool ShowHelpIndex();

// 1041 (Japanese) when the first non-empty of LC_ALL, LC_MESSAGES and LANG
// names the language "ja", else 1033.
int GetUserDefaultLangID();

}  // namespace panel
